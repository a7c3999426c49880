#pragma once

#include <cstddef>
#include <string>

struct CaseFold;

// Vectorised byte searches behind the matching primitives. Each one is
// checked against a plain loop by the property tests and the fuzz targets.

// First byte of the NUL-terminated s that is a, b or NUL. Reads whole
// aligned 16-byte blocks, which never cross a page, so it may look past the
// terminator within the block holding it.
const char* find_either_or_nul(const char* s, unsigned char a, unsigned char b);

// Finds a needle in a range of bytes, exactly or ignoring case. Candidates
// are positions whose first and last bytes fit (both cases of each), found
// 16 or 32 at a time; the bytes between are then compared.
class NeedleScanner {
public:
    // needle: m >= 1 bytes, none of them NUL. fold: null compares bytes
    // exactly, else bytes are equal when fold->lower agrees.
    NeedleScanner(const char* needle, size_t m, const CaseFold* fold);

    // First occurrence that lies wholly inside [begin, end), or null.
    const char* find(const char* begin, const char* end) const;

private:
    bool middle_matches(const unsigned char* at) const;
    bool whole_matches(const unsigned char* at) const;
    const char* find_plain(const unsigned char* from, const unsigned char* last) const;
    const char* find_sse2(const unsigned char* from, const unsigned char* last) const;
    const char* find_avx2(const unsigned char* from, const unsigned char* last) const;

    std::string needle_;            // folded when ignoring case
    const unsigned char* lower_;    // null: exact
    unsigned char first_[2];        // the bytes a match may start with
    unsigned char last_[2];         // the bytes a match may end with
    bool vector_ = false;           // both anchors have at most two spellings
    bool avx2_ = false;
};
