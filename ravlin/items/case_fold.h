#pragma once

// Case-insensitive primitives for -i. They give exactly what strncasecmp
// and isalpha decide in the current locale.
int prefix_cmp_nocase(const char* a, const char* b, unsigned long n);
const char* substr_find_nocase(const char* text, const char* needle);
const char* char_find_nocase(const char* text, int c);

// Rebuilds the fold table from the current LC_CTYPE; call after setlocale.
void refresh_case_fold();
