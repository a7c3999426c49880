#pragma once

#include <cstddef>
#include <cstring>
#include <string>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

struct CaseFold;

// Vectorised byte searches behind the matching primitives. Each one is
// checked against a plain loop by the property tests and the fuzz targets.

// First byte of the NUL-terminated s that is a, b or NUL. Reads whole
// aligned 16-byte blocks, which never cross a page, so it may look past the
// terminator within the block holding it.
const char* find_either_or_nul(const char* s, unsigned char a, unsigned char b);

// The NUL bytes in [begin, end): among labels that lie back to back, how
// many labels a position lies past the first one's start.
size_t count_nuls(const char* begin, const char* end);

// Finds a needle in a range of bytes, exactly or ignoring case. Candidates
// are positions where two anchor bytes of the needle fit (both cases of
// each), found 16 or 32 at a time; the whole needle is then compared. The
// anchors are the needle's two rarest bytes in paths and text, so that a
// list where most lines hold the needle's common start ("lib" of "libx11")
// gives few candidates that fail.
class NeedleScanner {
public:
    // needle: m >= 1 bytes, none of them NUL. fold: null compares bytes
    // exactly, else bytes are equal when fold->lower agrees.
    NeedleScanner(const char* needle, size_t m, const CaseFold* fold);

    size_t length() const { return needle_.size(); }

    // First occurrence that lies wholly inside [begin, end), or null.
    const char* find(const char* begin, const char* end) const;

    // Calls go_on(at) for occurrences inside [begin, end) in order: the
    // first, then the first at or after the position go_on returns (past
    // at), until it returns null. The same as calling find again from that
    // position, without starting the search afresh each time: a key that
    // nearly every label holds has a hit in every label.
    template <class GoOn>
    void scan(const char* begin, const char* end, GoOn go_on) const;

private:
    bool middle_matches(const unsigned char* at) const;
    bool whole_matches(const unsigned char* at) const;
    bool candidate_matches(const unsigned char* at) const
    {
        return ends_anchored_ ? middle_matches(at) : whole_matches(at);
    }
    template <class GoOn>
    void scan_avx2(const unsigned char* p, const unsigned char* last, GoOn& go_on) const;
    const char* find_plain(const unsigned char* from, const unsigned char* last) const;
    const char* find_sse2(const unsigned char* from, const unsigned char* last) const;
    const char* find_avx2(const unsigned char* from, const unsigned char* last) const;

    std::string needle_;            // folded when ignoring case
    const unsigned char* lower_;    // null: exact
    unsigned char first_[2];        // the bytes a match may have at first_at_
    unsigned char last_[2];         // the bytes a match may have at last_at_
    size_t first_at_ = 0;           // the anchors' offsets, first_at_ <= last_at_
    size_t last_at_ = 0;
    bool ends_anchored_ = true;     // the anchors are the first and last bytes
    bool vector_ = false;           // both anchors have at most two spellings
    bool avx2_ = false;
};

inline bool NeedleScanner::middle_matches(const unsigned char* at) const
{
    size_t m = needle_.size();
    if (m <= 2)
        return true;
    const unsigned char* n = reinterpret_cast<const unsigned char*>(needle_.data());
    if (!lower_)
        return std::memcmp(at + 1, n + 1, m - 2) == 0;
    for (size_t j = 1; j + 1 < m; ++j)
        if (lower_[at[j]] != n[j])
            return false;
    return true;
}

inline bool NeedleScanner::whole_matches(const unsigned char* at) const
{
    size_t m = needle_.size();
    const unsigned char* n = reinterpret_cast<const unsigned char*>(needle_.data());
    if (!lower_)
        return std::memcmp(at, n, m) == 0;
    for (size_t j = 0; j < m; ++j)
        if (lower_[at[j]] != n[j])
            return false;
    return true;
}

#if defined(__x86_64__)

// The anchors of a needle, spread over 32 lanes, for the AVX2 searches.
struct AnchorLanes {
    __m256i f0, f1, l0, l1;
};

__attribute__((target("avx2"))) inline AnchorLanes anchor_lanes(const unsigned char first[2],
                                                                 const unsigned char last[2])
{
    return {_mm256_set1_epi8(static_cast<char>(first[0])),
            _mm256_set1_epi8(static_cast<char>(first[1])),
            _mm256_set1_epi8(static_cast<char>(last[0])),
            _mm256_set1_epi8(static_cast<char>(last[1]))};
}

// Bit i set when p + i may start a match: the byte first_at further on
// fits the first anchor and the byte last_at further on the last one.
__attribute__((target("avx2"))) inline unsigned candidates(const AnchorLanes& a, const unsigned char* p,
                                                           size_t first_at, size_t last_at)
{
    __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + first_at));
    __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + last_at));
    __m256i hit = _mm256_and_si256(
        _mm256_or_si256(_mm256_cmpeq_epi8(f, a.f0), _mm256_cmpeq_epi8(f, a.f1)),
        _mm256_or_si256(_mm256_cmpeq_epi8(l, a.l0), _mm256_cmpeq_epi8(l, a.l1)));
    return static_cast<unsigned>(_mm256_movemask_epi8(hit));
}

#endif

template <class GoOn>
void NeedleScanner::scan(const char* begin, const char* end, GoOn go_on) const
{
#if defined(__x86_64__)
    size_t m = needle_.size();
    if (vector_ && avx2_ && end - begin >= static_cast<ptrdiff_t>(m)) {
        scan_avx2(reinterpret_cast<const unsigned char*>(begin),
                  reinterpret_cast<const unsigned char*>(end) - m, go_on);
        return;
    }
#endif
    while (const char* hit = find(begin, end))
        if (!(begin = go_on(hit)))
            return;
}

#if defined(__x86_64__)

// find_avx2 that keeps the candidates of the current 32 positions when the
// next position lies among them.
template <class GoOn>
__attribute__((target("avx2")))
void NeedleScanner::scan_avx2(const unsigned char* p, const unsigned char* last, GoOn& go_on) const
{
    const size_t fa = first_at_, la = last_at_;
    const AnchorLanes lanes = anchor_lanes(first_, last_);
    for (;;) {
        // Blocks without a candidate, as fast as find passes them: two at
        // a time, which keeps more loads in flight.
        unsigned mask = 0;
        for (; last - p >= 63; p += 64) {
            unsigned low = candidates(lanes, p, fa, la);
            unsigned high = candidates(lanes, p + 32, fa, la);
            if (low | high) {
                if (!(mask = low)) {
                    p += 32;
                    mask = high;
                }
                break;
            }
        }
        if (!mask)
            for (; last - p >= 31; p += 32)
                if ((mask = candidates(lanes, p, fa, la)))
                    break;
        if (!mask)
            break;
        const unsigned char* next = p + 32;
        while (mask) {
            const unsigned char* at = p + __builtin_ctz(mask);
            mask &= mask - 1;
            if (!candidate_matches(at))
                continue;
            const char* from = go_on(reinterpret_cast<const char*>(at));
            if (!from)
                return;
            const unsigned char* resume = reinterpret_cast<const unsigned char*>(from);
            if (resume - p >= 32) {
                next = resume;
                break;
            }
            mask &= ~0u << (resume - p);
        }
        p = next;
    }
    for (; p <= last; ++p) {
        if (!whole_matches(p))
            continue;
        const char* from = go_on(reinterpret_cast<const char*>(p));
        if (!from)
            return;
        p = reinterpret_cast<const unsigned char*>(from) - 1;
    }
}

#endif
