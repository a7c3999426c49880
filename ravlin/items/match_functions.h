#pragma once

#include <cstddef>

#include "ravlin/base/match_functions.h"

// Switches the three primitives to their case-insensitive forms (-i).
void use_nocase_primitives(MatchFunctions& match);

// The case-sensitive primitives: strncmp, strstr and strchr behind the
// slot types.
int prefix_cmp_exact(const char* a, const char* b, size_t n);
const char* substr_find_exact(const char* text, const char* needle);
const char* char_find_exact(const char* text, int c);

// Which built-in set fills the three primitive slots. The filters search
// whole blocks of labels by the same rules only for a set they know.
enum class PrimitiveSet { exact, nocase, other };
PrimitiveSet primitive_set(const MatchFunctions& match);
