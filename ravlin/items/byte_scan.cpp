#include "ravlin/items/byte_scan.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "ravlin/items/case_fold.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define RAVLIN_X86 1
#else
#define RAVLIN_X86 0
#endif

// The aligned block reads may touch bytes after a terminator that belong to
// no object; they stay inside one page, so only the sanitizers would mind.
#if defined(__clang__) || defined(__GNUC__)
#define RAVLIN_READS_PAST_END __attribute__((no_sanitize_address, no_sanitize_thread))
#else
#define RAVLIN_READS_PAST_END
#endif

#if RAVLIN_X86

RAVLIN_READS_PAST_END
const char* find_either_or_nul(const char* s, unsigned char a, unsigned char b)
{
    uintptr_t offset = reinterpret_cast<uintptr_t>(s) & 15;
    const char* block = s - offset;
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    const __m128i zero = _mm_setzero_si128();
    __m128i x = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)),
                               _mm_cmpeq_epi8(x, zero));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit)) >> offset;
    if (mask)
        return s + __builtin_ctz(mask);
    for (;;) {
        block += 16;
        x = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
        hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)),
                           _mm_cmpeq_epi8(x, zero));
        mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask)
            return block + __builtin_ctz(mask);
    }
}

#else

const char* find_either_or_nul(const char* s, unsigned char a, unsigned char b)
{
    for (;; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c == a || c == b || c == 0)
            return s;
    }
}

#endif

namespace {

// Roughly how often a byte turns up in file paths and prose, per mille:
// the anchors of a search go on the rarest bytes of its needle.
int commonness(unsigned char c)
{
    static const unsigned char letters[26] = {82, 15, 28, 43, 127, 22, 20, 61, 70, 2, 8, 40, 24,
                                              67, 75, 19, 1, 60, 63, 91, 28, 10, 24, 2, 20, 1};
    if (c >= 'a' && c <= 'z')
        return letters[c - 'a'];
    if (c >= 'A' && c <= 'Z')
        return letters[c - 'A'] / 6 + 1;
    if (c >= '0' && c <= '9')
        return c <= '2' ? 20 : 12;
    switch (c) {
    case ' ':
    case '/':
        return 130;
    case '.':
        return 50;
    case '-':
    case '_':
        return 30;
    default:
        return c >= 0x80 ? 10 : c > ' ' && c < 0x7f ? 3 : 1;
    }
}

}  // namespace

#if RAVLIN_X86

__attribute__((target("avx2,popcnt")))
size_t count_nuls_avx2(const char* p, const char* end)
{
    size_t n = 0;
    const __m256i zero = _mm256_setzero_si256();
    for (; end - p >= 32; p += 32) {
        __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        n += static_cast<size_t>(__builtin_popcount(static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x, zero)))));
    }
    for (; p < end; ++p)
        n += *p == '\0';
    return n;
}

#endif

size_t count_nuls(const char* begin, const char* end)
{
#if RAVLIN_X86
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    if (avx2)
        return count_nuls_avx2(begin, end);
#endif
    size_t n = 0;
    for (const char* p = begin; p < end; ++p)
        n += *p == '\0';
    return n;
}

NeedleScanner::NeedleScanner(const char* needle, size_t m, const CaseFold* fold)
    : needle_(needle, m), lower_(fold ? fold->lower : nullptr)
{
    auto spellings = [&](unsigned char c, unsigned char* out) {
        if (!fold) {
            out[0] = out[1] = c;
            return true;
        }
        out[0] = c;
        out[1] = fold->partner[c];
        return fold->class_size[c] <= 2;
    };
    // The rarest byte with at most two spellings, then the rarest other
    // one; a needle of one usable byte value anchors on it alone, one with
    // none on its ends (and then searches plainly).
    auto weight = [&](size_t j) {
        unsigned char c = static_cast<unsigned char>(needle[j]);
        int w = commonness(c);
        if (fold && fold->partner[c] != c)
            w += commonness(fold->partner[c]);
        return w;
    };
    auto usable = [&](size_t j) {
        unsigned char out[2];
        return spellings(static_cast<unsigned char>(needle[j]), out);
    };
    size_t a = m, b = m;
    for (size_t j = 0; j < m; ++j)
        if (usable(j) && (a == m || weight(j) < weight(a)))
            a = j;
    for (size_t j = 0; a < m && j < m; ++j)
        if (needle[j] != needle[a] && usable(j) && (b == m || weight(j) < weight(b)))
            b = j;
    if (a == m) {
        a = 0;
        b = m - 1;
    } else if (b == m) {
        b = a;
    }
    if (a > b)
        std::swap(a, b);
    first_at_ = a;
    last_at_ = b;
    ends_anchored_ = a == 0 && b == m - 1;
    bool first_ok = spellings(static_cast<unsigned char>(needle[a]), first_);
    bool last_ok = spellings(static_cast<unsigned char>(needle[b]), last_);
    vector_ = RAVLIN_X86 && first_ok && last_ok;
#if RAVLIN_X86
    avx2_ = __builtin_cpu_supports("avx2");
#endif
    if (lower_)
        for (char& c : needle_)
            c = static_cast<char>(lower_[static_cast<unsigned char>(c)]);
}

// Candidates from `from` up to and including `last`.
const char* NeedleScanner::find_plain(const unsigned char* from, const unsigned char* last) const
{
    for (const unsigned char* p = from; p <= last; ++p)
        if (whole_matches(p))
            return reinterpret_cast<const char*>(p);
    return nullptr;
}

#if RAVLIN_X86

const char* NeedleScanner::find_sse2(const unsigned char* p, const unsigned char* last) const
{
    const size_t fa = first_at_, la = last_at_;
    const __m128i f0 = _mm_set1_epi8(static_cast<char>(first_[0]));
    const __m128i f1 = _mm_set1_epi8(static_cast<char>(first_[1]));
    const __m128i l0 = _mm_set1_epi8(static_cast<char>(last_[0]));
    const __m128i l1 = _mm_set1_epi8(static_cast<char>(last_[1]));
    for (; last - p >= 15; p += 16) {
        __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + fa));
        __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + la));
        __m128i hit = _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(f, f0), _mm_cmpeq_epi8(f, f1)),
                                    _mm_or_si128(_mm_cmpeq_epi8(l, l0), _mm_cmpeq_epi8(l, l1)));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        while (mask) {
            const unsigned char* at = p + __builtin_ctz(mask);
            if (candidate_matches(at))
                return reinterpret_cast<const char*>(at);
            mask &= mask - 1;
        }
    }
    return find_plain(p, last);
}

__attribute__((target("avx2")))
const char* NeedleScanner::find_avx2(const unsigned char* p, const unsigned char* last) const
{
    const AnchorLanes lanes = anchor_lanes(first_, last_);
    for (; last - p >= 31; p += 32) {
        unsigned mask = candidates(lanes, p, first_at_, last_at_);
        while (mask) {
            const unsigned char* at = p + __builtin_ctz(mask);
            if (candidate_matches(at))
                return reinterpret_cast<const char*>(at);
            mask &= mask - 1;
        }
    }
    return find_plain(p, last);
}

#else

const char* NeedleScanner::find_sse2(const unsigned char* p, const unsigned char* last) const
{
    return find_plain(p, last);
}

const char* NeedleScanner::find_avx2(const unsigned char* p, const unsigned char* last) const
{
    return find_plain(p, last);
}

#endif

const char* NeedleScanner::find(const char* begin, const char* end) const
{
    size_t m = needle_.size();
    if (end - begin < static_cast<ptrdiff_t>(m))
        return nullptr;
    const unsigned char* from = reinterpret_cast<const unsigned char*>(begin);
    const unsigned char* last = reinterpret_cast<const unsigned char*>(end) - m;
    if (!vector_)
        return find_plain(from, last);
    return avx2_ ? find_avx2(from, last) : find_sse2(from, last);
}
