#include "ravlin/items/case_fold.h"

#include <cctype>
#include <cstring>

#include "ravlin/items/byte_scan.h"

namespace {

CaseFold table;
bool built = false;
#ifdef __GLIBC__
// The locale's own tolower table: when it moves, the locale has changed.
const int32_t* built_from = nullptr;
#endif

void build()
{
    for (int c = 0; c < 256; ++c)
        table.lower[c] = static_cast<unsigned char>(std::tolower(c));
    table.nul_only_folds_to_nul = true;
    for (int c = 0; c < 256; ++c) {
        int size = 0;
        table.partner[c] = static_cast<unsigned char>(c);
        for (int x = 0; x < 256; ++x)
            if (table.lower[x] == table.lower[c]) {
                ++size;
                if (x != c)
                    table.partner[c] = static_cast<unsigned char>(x);
            }
        table.class_size[c] = static_cast<unsigned char>(size > 255 ? 255 : size);
        if (c != 0 && table.lower[c] == table.lower[0])
            table.nul_only_folds_to_nul = false;
    }
    built = true;
#ifdef __GLIBC__
    built_from = *__ctype_tolower_loc();
#endif
}

}  // namespace

void refresh_case_fold()
{
    build();
}

const CaseFold& current_case_fold()
{
#ifdef __GLIBC__
    if (!built || *__ctype_tolower_loc() != built_from)
        build();
#else
    if (!built)
        build();
#endif
    return table;
}

// The C library's own definition, on the same table as the searches: a
// sanitizer's stand-in for strncasecmp folds ASCII only, and the slots
// must agree with each other in every build.
int prefix_cmp_nocase(const char* a, const char* b, size_t n)
{
    if (n == 0)
        return 0;
    const unsigned char* lower = current_case_fold().lower;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
    int result;
    while ((result = lower[*p] - lower[*q++]) == 0)
        if (*p++ == '\0' || --n == 0)
            break;
    return result;
}

const char* substr_find_nocase(const char* text, const char* needle)
{
    if (!*text)
        return nullptr;
    size_t m = std::strlen(needle);
    if (m == 0)
        return text;
    const CaseFold& f = current_case_fold();
    unsigned char first = static_cast<unsigned char>(needle[0]);
    if (!f.nul_only_folds_to_nul) {
        for (; *text; ++text)
            if (prefix_cmp_nocase(text, needle, m) == 0)
                return text;
        return nullptr;
    }
    const unsigned char* n = reinterpret_cast<const unsigned char*>(needle);
    for (const char* p = text;; ++p) {
        if (f.class_size[first] <= 2) {
            p = find_either_or_nul(p, first, f.partner[first]);
            if (!*p)
                return nullptr;
        } else {
            while (*p && f.lower[static_cast<unsigned char>(*p)] != f.lower[first])
                ++p;
            if (!*p)
                return nullptr;
        }
        // A terminator folds to itself alone, so the compare stops there.
        const unsigned char* at = reinterpret_cast<const unsigned char*>(p);
        size_t j = 1;
        while (j < m && f.lower[at[j]] == f.lower[n[j]])
            ++j;
        if (j == m)
            return p;
    }
}

const char* char_find_nocase(const char* text, int c)
{
    if (c < -128 || c > 255 || !std::isalpha(c))
        return std::strchr(text, c);
    const CaseFold& f = current_case_fold();
    unsigned char b = static_cast<unsigned char>(c);
    if (f.nul_only_folds_to_nul && f.class_size[b] <= 2) {
        const char* p = find_either_or_nul(text, b, f.partner[b]);
        return *p ? p : nullptr;
    }
    for (; *text; ++text)
        if (f.lower[static_cast<unsigned char>(*text)] == f.lower[b])
            return text;
    return nullptr;
}
