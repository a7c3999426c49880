// The case-insensitive primitives and the vectorised searches behind them,
// in three layers against plain loops: table-driven cases, every length up
// to 256 with every match position, and random bytes (0x80 to 0xFF
// included) in the C and a UTF-8 locale.

#include <gtest/gtest.h>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "items_reference.h"
#include "ravlin/items/byte_scan.h"
#include "ravlin/items/case_fold.h"

using namespace items_reference;

namespace {

// Offset of a result within text, -1 for null, so failures print plainly.
long at(const char* result, const char* text)
{
    return result ? result - text : -1;
}

// First i in [0, size - m] where needle matches, by the given byte rule.
long reference_find_range(const std::string& range, const std::string& needle, bool fold)
{
    for (size_t i = 0; i + needle.size() <= range.size(); ++i) {
        bool same = true;
        for (size_t j = 0; j < needle.size() && same; ++j) {
            unsigned char a = static_cast<unsigned char>(range[i + j]);
            unsigned char b = static_cast<unsigned char>(needle[j]);
            same = fold ? std::tolower(a) == std::tolower(b) : a == b;
        }
        if (same)
            return static_cast<long>(i);
    }
    return -1;
}

long scanner_find(const std::string& range, const std::string& needle, bool fold)
{
    NeedleScanner scanner(needle.data(), needle.size(), fold ? &current_case_fold() : nullptr);
    return at(scanner.find(range.data(), range.data() + range.size()), range.data());
}

std::string random_bytes(std::mt19937& rng, size_t n, bool with_nul)
{
    static const char letters[] = "aAbBzZ";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        int kind = std::uniform_int_distribution<int>(0, 3)(rng);
        char c = kind == 0 ? static_cast<char>(std::uniform_int_distribution<int>(1, 255)(rng))
                           : letters[std::uniform_int_distribution<int>(0, 5)(rng)];
        if (with_nul && std::uniform_int_distribution<int>(0, 40)(rng) == 0)
            c = '\0';
        s += c;
    }
    return s;
}

// needle with each letter's case flipped at random.
std::string recase(std::mt19937& rng, std::string needle)
{
    for (char& c : needle)
        if (std::uniform_int_distribution<int>(0, 1)(rng))
            c = static_cast<char>(std::isupper(static_cast<unsigned char>(c))
                                      ? std::tolower(static_cast<unsigned char>(c))
                                      : std::toupper(static_cast<unsigned char>(c)));
    return needle;
}

}  // namespace

TEST(CaseFold, PrimitivesFollowTheirContracts)
{
    const char* text = "xFoO bar";
    EXPECT_EQ(at(substr_find_nocase(text, "foo"), text), 1);
    EXPECT_EQ(at(substr_find_nocase(text, "BAR"), text), 5);
    EXPECT_EQ(at(substr_find_nocase(text, "bars"), text), -1);
    EXPECT_EQ(at(substr_find_nocase(text, ""), text), 0);
    EXPECT_EQ(substr_find_nocase("", ""), nullptr);
    EXPECT_EQ(substr_find_nocase("", "a"), nullptr);
    EXPECT_EQ(at(substr_find_nocase("aab", "AB"), "aab"), 1);

    const char* word = "aBc\xc3\xa9";
    EXPECT_EQ(at(char_find_nocase(word, 'b'), word), 1);
    EXPECT_EQ(at(char_find_nocase(word, 'C'), word), 2);
    EXPECT_EQ(at(char_find_nocase(word, 0), word), 5);
    EXPECT_EQ(at(char_find_nocase(word, 'z'), word), -1);
    EXPECT_EQ(at(char_find_nocase(word, static_cast<signed char>('\xa9')), word), 4);
    EXPECT_EQ(at(char_find_nocase("a1A", '1'), "a1A"), 1);

    EXPECT_EQ(prefix_cmp_nocase("Foo", "fOO", 4), 0);
    EXPECT_LT(prefix_cmp_nocase("Foo", "foobar", 4), 0);
    EXPECT_EQ(prefix_cmp_nocase("Foo", "foobar", 3), 0);
}

TEST(CaseFold, EveryLengthAndMatchPositionAgreesWithPlainLoops)
{
    std::mt19937 rng(99);
    std::string buffer;
    for (const char* locale : {"C", "C.UTF-8"}) {
        LocaleScope scope(locale);
        ASSERT_TRUE(scope.ok());
        for (size_t length = 0; length <= 256; ++length) {
            for (size_t m : {1, 2, 3, 5, 17}) {
                std::string needle = random_bytes(rng, m, false);
                for (char& c : needle)
                    if (!c)
                        c = 'q';
                size_t last = length >= m ? length - m : 0;
                for (size_t p = 0; p <= last; ++p) {
                    std::string text = random_bytes(rng, length, false);
                    for (char& c : text)
                        if (!c)
                            c = 'y';
                    if (length >= m)
                        text.replace(p, m, recase(rng, needle));
                    SCOPED_TRACE(std::string(locale) + " length " + std::to_string(length) + " m " +
                                 std::to_string(m) + " at " + std::to_string(p));
                    // Start at every alignment of a 16-byte block.
                    buffer.assign(p % 16, '#');
                    buffer += text;
                    const char* t = buffer.c_str() + p % 16;
                    ASSERT_EQ(at(substr_find_nocase(t, needle.c_str()), t),
                              at(reference_substr_find_nocase(t, needle.c_str()), t));
                    ASSERT_EQ(scanner_find(text, needle, true), reference_find_range(text, needle, true));
                    ASSERT_EQ(scanner_find(text, needle, false), reference_find_range(text, needle, false));
                    int c = static_cast<signed char>(needle[0]);
                    ASSERT_EQ(at(char_find_nocase(t, c), t), at(reference_char_find_nocase(t, c), t));
                }
            }
        }
    }
}

TEST(CaseFold, RandomBytesAgreeWithPlainLoopsInEveryLocale)
{
    std::mt19937 rng(4242);
    for (const std::string& name : test_locales()) {
        const char* locale = name.c_str();
        LocaleScope scope(locale);
        ASSERT_TRUE(scope.ok());
        for (int round = 0; round < 20000; ++round) {
            std::string text = random_bytes(rng, std::uniform_int_distribution<size_t>(0, 90)(rng), false);
            std::string needle = random_bytes(rng, std::uniform_int_distribution<size_t>(0, 4)(rng), false);
            if (!text.empty() && std::uniform_int_distribution<int>(0, 1)(rng)) {
                size_t from = std::uniform_int_distribution<size_t>(0, text.size() - 1)(rng);
                needle = recase(rng, text.substr(from, std::uniform_int_distribution<size_t>(1, 6)(rng)));
            }
            SCOPED_TRACE(std::string(locale) + " round " + std::to_string(round));
            ASSERT_EQ(at(substr_find_nocase(text.c_str(), needle.c_str()), text.c_str()),
                      at(reference_substr_find_nocase(text.c_str(), needle.c_str()), text.c_str()));
            int c = std::uniform_int_distribution<int>(-128, 127)(rng);
            ASSERT_EQ(at(char_find_nocase(text.c_str(), c), text.c_str()),
                      at(reference_char_find_nocase(text.c_str(), c), text.c_str()));
            std::string other = random_bytes(rng, 6, false);
            size_t n = std::uniform_int_distribution<size_t>(0, 7)(rng);
            int expected = reference_strncasecmp(text.c_str(), other.c_str(), n);
            int got = prefix_cmp_nocase(text.c_str(), other.c_str(), n);
            ASSERT_EQ(got < 0, expected < 0);
            ASSERT_EQ(got > 0, expected > 0);

            // Ranges of packed labels hold NULs, which a needle never does.
            std::string range = random_bytes(rng, std::uniform_int_distribution<size_t>(0, 200)(rng), true);
            if (needle.empty() || needle.find('\0') != std::string::npos)
                continue;
            if (!range.empty() && std::uniform_int_distribution<int>(0, 1)(rng))
                range.replace(std::uniform_int_distribution<size_t>(0, range.size() - 1)(rng), 0,
                              recase(rng, needle));
            ASSERT_EQ(scanner_find(range, needle, true), reference_find_range(range, needle, true));
            ASSERT_EQ(scanner_find(range, needle, false), reference_find_range(range, needle, false));
        }
        // Every byte value as the char to find, against every byte in text.
        std::string all;
        for (int b = 255; b >= 1; --b)
            all += static_cast<char>(b);
        for (int c = -128; c <= 255; ++c)
            ASSERT_EQ(at(char_find_nocase(all.c_str(), c), all.c_str()),
                      at(reference_char_find_nocase(all.c_str(), c), all.c_str()))
                << locale << " c " << c;
    }
}

TEST(CaseFold, SingleByteLocalesFoldPastAsciiAndTheTableFollowsTheLocale)
{
    const std::vector<std::string>& made = single_byte_locales();
    if (std::find(made.begin(), made.end(), "de_DE.ISO-8859-1") == made.end())
        GTEST_SKIP() << "cannot make de_DE.ISO-8859-1 with localedef";
    const char* text = "caf\xc9";
    {
        LocaleScope latin1("de_DE.ISO-8859-1");
        EXPECT_EQ(at(substr_find_nocase(text, "\xe9"), text), 3);
        // isalpha holds for the negative char of a Latin-1 letter here.
        EXPECT_EQ(at(char_find_nocase(text, static_cast<signed char>('\xe9')), text), 3);
    }
    // No refresh_case_fold between the switches: the table follows anyway.
    EXPECT_EQ(substr_find_nocase(text, "\xe9"), nullptr);
    EXPECT_EQ(char_find_nocase(text, static_cast<signed char>('\xe9')), nullptr);

    if (std::find(made.begin(), made.end(), "tr_TR.ISO-8859-9") == made.end())
        return;
    LocaleScope turkish("tr_TR.ISO-8859-9");
    const char* city = "\xddSTANBUL";  // dotted capital I
    EXPECT_EQ(at(substr_find_nocase(city, "istanbul"), city), 0);
    EXPECT_EQ(substr_find_nocase("ISTANBUL", "istanbul"), nullptr);
}

TEST(CaseFold, ScannerFallsBackWhenMoreThanTwoBytesFoldTogether)
{
    // No installed locale folds three bytes together, so make such a table.
    CaseFold fold{};
    for (int c = 0; c < 256; ++c) {
        fold.lower[c] = static_cast<unsigned char>(std::tolower(c));
        fold.partner[c] = static_cast<unsigned char>(c);
        fold.class_size[c] = 1;
    }
    for (unsigned char c : {'k', 'K', '\x80'}) {
        fold.lower[c] = 'k';
        fold.class_size[c] = 3;
    }
    fold.nul_only_folds_to_nul = true;
    std::string range = std::string(40, 'x') + "\x80" "ey" + std::string(40, 'x') + "Key";
    NeedleScanner scanner("key", 3, &fold);
    EXPECT_EQ(at(scanner.find(range.data(), range.data() + range.size()), range.data()), 40);
    EXPECT_EQ(at(scanner.find(range.data() + 41, range.data() + range.size()), range.data()), 83);
}

TEST(CaseFold, SearchesStopAtAStringEndingOnThePageEdge)
{
    long page = sysconf(_SC_PAGESIZE);
    char* map = static_cast<char*>(mmap(nullptr, static_cast<size_t>(2 * page), PROT_READ | PROT_WRITE,
                                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(map, MAP_FAILED);
    ASSERT_EQ(mprotect(map + page, static_cast<size_t>(page), PROT_NONE), 0);
    for (int length = 0; length < 40; ++length) {
        char* text = map + page - length - 1;
        std::memset(text, 'x', static_cast<size_t>(length));
        text[length] = '\0';
        EXPECT_EQ(substr_find_nocase(text, "Y"), nullptr);
        EXPECT_EQ(char_find_nocase(text, 'y'), nullptr);
        EXPECT_EQ(find_either_or_nul(text, 'y', 'Y'), text + length);
        NeedleScanner scanner("xY", 2, &current_case_fold());
        EXPECT_EQ(scanner.find(text, text + length + 1), nullptr);
    }
    munmap(map, static_cast<size_t>(2 * page));
}
