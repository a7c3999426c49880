#pragma once

#include <cstddef>

// How bytes compare ignoring case in the current LC_CTYPE: two bytes are
// equal when tolower() maps them to the same value, which is the rule
// strncasecmp applies byte by byte.
struct CaseFold {
    unsigned char lower[256];     // tolower of each byte
    unsigned char partner[256];   // the other byte of a two-byte class, else the byte itself
    unsigned char class_size[256];  // bytes that fold like this one (1, 2 or more)
    // No byte but NUL folds to NUL, so a folded compare stops at a
    // terminator exactly where strncasecmp would.
    bool nul_only_folds_to_nul;
};

// The table of the current locale; rebuilt when the locale has changed.
const CaseFold& current_case_fold();
// Rebuilds the fold table from the current LC_CTYPE; call after setlocale.
void refresh_case_fold();

// Case-insensitive primitives for -i. They give exactly what strncasecmp
// and isalpha decide in the current locale.
int prefix_cmp_nocase(const char* a, const char* b, size_t n);
const char* substr_find_nocase(const char* text, const char* needle);
const char* char_find_nocase(const char* text, int c);
