#include "ravlin/items/case_fold.h"

#include <strings.h>

#include <cctype>
#include <cstring>

int prefix_cmp_nocase(const char* a, const char* b, unsigned long n)
{
    return strncasecmp(a, b, n);
}

const char* substr_find_nocase(const char* text, const char* needle)
{
    size_t m = std::strlen(needle);
    if (!*text)
        return nullptr;
    for (; *text; ++text)
        if (strncasecmp(text, needle, m) == 0)
            return text;
    return nullptr;
}

const char* char_find_nocase(const char* text, int c)
{
    if (!std::isalpha(c))
        return std::strchr(text, c);
    for (; *text; ++text)
        if (strncasecmp(text, reinterpret_cast<const char*>(&c), 1) == 0)
            return text;
    return nullptr;
}

void refresh_case_fold() {}
