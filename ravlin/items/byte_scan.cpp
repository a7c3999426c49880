#include "ravlin/items/byte_scan.h"

#include <cstdint>
#include <cstring>

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
    unsigned char first = static_cast<unsigned char>(needle[0]);
    unsigned char last = static_cast<unsigned char>(needle[m - 1]);
    bool first_ok = spellings(first, first_);
    bool last_ok = spellings(last, last_);
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
    size_t tail = needle_.size() - 1;
    const __m128i f0 = _mm_set1_epi8(static_cast<char>(first_[0]));
    const __m128i f1 = _mm_set1_epi8(static_cast<char>(first_[1]));
    const __m128i l0 = _mm_set1_epi8(static_cast<char>(last_[0]));
    const __m128i l1 = _mm_set1_epi8(static_cast<char>(last_[1]));
    for (; last - p >= 15; p += 16) {
        __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + tail));
        __m128i hit = _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(f, f0), _mm_cmpeq_epi8(f, f1)),
                                    _mm_or_si128(_mm_cmpeq_epi8(l, l0), _mm_cmpeq_epi8(l, l1)));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        while (mask) {
            const unsigned char* at = p + __builtin_ctz(mask);
            if (middle_matches(at))
                return reinterpret_cast<const char*>(at);
            mask &= mask - 1;
        }
    }
    return find_plain(p, last);
}

__attribute__((target("avx2")))
const char* NeedleScanner::find_avx2(const unsigned char* p, const unsigned char* last) const
{
    size_t tail = needle_.size() - 1;
    const AnchorLanes lanes = anchor_lanes(first_, last_);
    for (; last - p >= 31; p += 32) {
        unsigned mask = candidates(lanes, p, tail);
        while (mask) {
            const unsigned char* at = p + __builtin_ctz(mask);
            if (middle_matches(at))
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
