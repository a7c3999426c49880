// Holds the case-insensitive primitives and the vectorised scans against
// plain loops. Byte 0 picks the locale and the needle length; the needle
// follows, then the text, which may hold NULs for the range search.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ravlin/items/byte_scan.h"
#include "ravlin/items/case_fold.h"
#include "tests/items_reference.h"

using namespace items_reference;

namespace {

long offset(const char* result, const char* base)
{
    return result ? result - base : -1;
}

long plain_find_range(const std::string& range, const std::string& needle, bool fold)
{
    for (size_t i = 0; i + needle.size() <= range.size(); ++i) {
        size_t j = 0;
        for (; j < needle.size(); ++j) {
            unsigned char a = static_cast<unsigned char>(range[i + j]);
            unsigned char b = static_cast<unsigned char>(needle[j]);
            if (fold ? std::tolower(a) != std::tolower(b) : a != b)
                break;
        }
        if (j == needle.size())
            return static_cast<long>(i);
    }
    return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    std::setlocale(LC_CTYPE, data[0] & 1 ? "C.UTF-8" : "C");
    size_t m = (data[0] >> 1) % 12;
    if (size - 1 < m)
        return 0;
    std::string needle(reinterpret_cast<const char*>(data) + 1, m);
    std::string range(reinterpret_cast<const char*>(data) + 1 + m, size - 1 - m);
    std::string text = range.substr(0, range.find('\0'));
    std::string c_needle = needle.substr(0, needle.find('\0'));

    if (offset(substr_find_nocase(text.c_str(), c_needle.c_str()), text.c_str()) !=
        offset(reference_substr_find_nocase(text.c_str(), c_needle.c_str()), text.c_str()))
        std::abort();
    for (char c : needle) {
        int ch = static_cast<signed char>(c);
        if (offset(char_find_nocase(text.c_str(), ch), text.c_str()) !=
            offset(reference_char_find_nocase(text.c_str(), ch), text.c_str()))
            std::abort();
    }
    if (!c_needle.empty()) {
        for (bool fold : {false, true}) {
            NeedleScanner scanner(c_needle.data(), c_needle.size(), fold ? &current_case_fold() : nullptr);
            if (offset(scanner.find(range.data(), range.data() + range.size()), range.data()) !=
                plain_find_range(range, c_needle, fold))
                std::abort();
        }
        unsigned char a = static_cast<unsigned char>(c_needle[0]);
        unsigned char b = static_cast<unsigned char>(c_needle.back());
        size_t expected = text.find_first_of(std::string{static_cast<char>(a), static_cast<char>(b)});
        if (offset(find_either_or_nul(text.c_str(), a, b), text.c_str()) !=
            static_cast<long>(expected == std::string::npos ? text.size() : expected))
            std::abort();
    }
    return 0;
}
