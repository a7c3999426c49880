#include "ravlin/items/match_functions.h"

#include <cstring>

#include "ravlin/items/case_fold.h"
#include "ravlin/items/filters.h"

int prefix_cmp_exact(const char* a, const char* b, size_t n)
{
    return std::strncmp(a, b, n);
}

const char* substr_find_exact(const char* text, const char* needle)
{
    return std::strstr(text, needle);
}

const char* char_find_exact(const char* text, int c)
{
    return std::strchr(text, c);
}

MatchFunctions default_match_functions()
{
    return {filter_ranked, prefix_cmp_exact, substr_find_exact, char_find_exact};
}

void use_nocase_primitives(MatchFunctions& match)
{
    match.prefix_cmp = prefix_cmp_nocase;
    match.substr_find = substr_find_nocase;
    match.char_find = char_find_nocase;
}

PrimitiveSet primitive_set(const MatchFunctions& match)
{
    if (match.prefix_cmp == prefix_cmp_exact && match.substr_find == substr_find_exact &&
        match.char_find == char_find_exact)
        return PrimitiveSet::exact;
    if (match.prefix_cmp == prefix_cmp_nocase && match.substr_find == substr_find_nocase &&
        match.char_find == char_find_nocase)
        return PrimitiveSet::nocase;
    return PrimitiveSet::other;
}
