#pragma once

// Straightforward versions of the reading and matching rules, written
// line by line from their description, for the tests to hold the fast
// routines against; and small helpers to build entry arrays.

#include <stdlib.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ravlin/base/menu_state.h"
#include "ravlin/base/text_measurer.h"
#include "ravlin/control/settings.h"
#include "ravlin/items/entry_reader.h"
#include "ravlin/items/filters.h"

namespace items_reference {

// Every byte 10 pixels wide, the font 10 high.
class FakeMeasurer final : public TextMeasurer {
public:
    int32_t text_extent(const char*, int32_t n) const override { return 10 * n; }
    int32_t font_height() const override { return 10; }
};

inline const FakeMeasurer fake_measurer;

// The ranked filter's token table and the loaded entries live as long as
// the process in ravlin; a test's state releases them with the state.
struct StateDeleter {
    void operator()(MenuState* m) const
    {
        std::free(m->tokens);
        if (m->loaded)
            release_entries(*m);
        delete m;
    }
};
using StatePtr = std::unique_ptr<MenuState, StateDeleter>;

// A menu state the filters and the page layout can work on without a
// display.
inline StatePtr make_state()
{
    StatePtr m(new MenuState());
    m->measurer = &fake_measurer;
    m->line_height = 10;
    m->bar_width = 2000;
    m->bar_height = 10;
    m->input_width = 100;
    return m;
}

// A stream holding bytes, as standard input redirected from a file would.
inline FILE* stream_of(const std::string& bytes)
{
    FILE* f = std::tmpfile();
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

// The labels of the entry array, up to the terminator.
inline std::vector<std::string> labels_of(const MenuState& m)
{
    std::vector<std::string> labels;
    if (m.entries)
        for (const Entry* e = m.entries; e->label; ++e)
            labels.emplace_back(e->label);
    return labels;
}

struct ReadResult {
    std::vector<std::string> labels;
    std::vector<std::string> history;  // remembered lines, at most 20
    size_t longest_index = 0;          // first label of the greatest length
    size_t longest_length = 0;
};

// One 1024-byte fgets per piece; the label is the buffer up to its first
// NUL once the first newline is replaced.
inline void reference_take_lines(FILE* f, ReadResult& r, bool remember)
{
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, f)) {
        if (char* newline = static_cast<char*>(std::memchr(buffer, '\n', 1023)))
            *newline = '\0';
        std::string label(buffer, std::strlen(buffer));
        if (label.size() > r.longest_length) {
            r.longest_length = label.size();
            r.longest_index = r.labels.size();
        }
        if (remember && r.history.size() < 20)
            r.history.push_back(label);
        r.labels.push_back(label);
    }
}

inline ReadResult reference_read(const std::string* history, const std::string& input)
{
    ReadResult r;
    if (history) {
        FILE* f = stream_of(*history);
        reference_take_lines(f, r, true);
        std::fclose(f);
    }
    FILE* f = stream_of(input);
    reference_take_lines(f, r, false);
    std::fclose(f);
    return r;
}

// strncasecmp as the C library defines it. A sanitizer build replaces it
// with a stand-in that folds ASCII only, so there the tests use the
// library's definition (tolower of each byte) written out.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline int reference_strncasecmp(const char* a, const char* b, size_t n)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
    for (; n > 0; --n, ++p, ++q) {
        int d = std::tolower(*p) - std::tolower(*q);
        if (d != 0 || *p == '\0')
            return d;
    }
    return 0;
}
#else
inline int reference_strncasecmp(const char* a, const char* b, size_t n)
{
    return strncasecmp(a, b, n);
}
#endif

inline const char* reference_substr_find_nocase(const char* text, const char* needle)
{
    size_t m = std::strlen(needle);
    if (!*text)
        return nullptr;
    for (; *text; ++text)
        if (reference_strncasecmp(text, needle, m) == 0)
            return text;
    return nullptr;
}

inline const char* reference_char_find_nocase(const char* text, int c)
{
    if (c < -128 || c > 255 || !std::isalpha(c))
        return std::strchr(text, c);
    char one[2] = {static_cast<char>(c), '\0'};
    for (; *text; ++text)
        if (reference_strncasecmp(text, one, 1) == 0)
            return text;
    return nullptr;
}

enum class Filter { ranked, tokens, fuzzy };

// The match list as label indexes, worked out per entry with the plain
// library calls.
inline std::vector<size_t> reference_filter(Filter filter, const std::vector<std::string>& labels,
                                            const std::string& input, bool nocase)
{
    auto find = [&](const char* text, const char* needle) {
        return nocase ? reference_substr_find_nocase(text, needle) : std::strstr(text, needle);
    };
    auto prefix = [&](const char* a, const char* b, size_t n) {
        return nocase ? reference_strncasecmp(a, b, n) : std::strncmp(a, b, n);
    };
    std::vector<size_t> out;
    if (filter == Filter::fuzzy) {
        for (size_t i = 0; i < labels.size(); ++i) {
            const char* label = labels[i].c_str();
            size_t k = 0;
            const char* p = label;
            bool ok = true;
            for (; k < input.size(); ++k) {
                int c = static_cast<signed char>(input[k]);
                p = nocase ? reference_char_find_nocase(p, c) : std::strchr(p, c);
                if (!p) {
                    ok = false;
                    break;
                }
                ++p;
            }
            if (ok)
                out.push_back(i);
        }
        return out;
    }
    std::vector<std::string> tokens;
    std::string token;
    for (char c : input + " ") {
        if (c == ' ') {
            if (!token.empty())
                tokens.push_back(token);
            token.clear();
        } else {
            token += c;
        }
    }
    std::vector<size_t> exact, starts, contains;
    for (size_t i = 0; i < labels.size(); ++i) {
        const char* label = labels[i].c_str();
        bool all = true;
        for (const std::string& t : tokens)
            all = all && find(label, t.c_str());
        if (!all)
            continue;
        if (filter == Filter::tokens || tokens.empty() ||
            prefix(tokens[0].c_str(), label, tokens[0].size() + 1) == 0)
            exact.push_back(i);
        else if (prefix(tokens[0].c_str(), label, tokens[0].size()) == 0)
            starts.push_back(i);
        else
            contains.push_back(i);
    }
    out = exact;
    out.insert(out.end(), starts.begin(), starts.end());
    out.insert(out.end(), contains.begin(), contains.end());
    return out;
}

// The match list as label indexes, after checking that its links run both
// ways and end in match_tail.
inline std::vector<size_t> match_list(const MenuState& m)
{
    std::vector<size_t> out;
    const Entry* before = nullptr;
    for (const Entry* e = m.match_head; e; e = e->after) {
        if (e->before != before)
            return {static_cast<size_t>(-1)};  // broken link: never equals a real list
        out.push_back(static_cast<size_t>(e - m.entries));
        before = e;
    }
    if (before != m.match_tail)
        return {static_cast<size_t>(-2)};
    return out;
}

// Single-byte locales whose case folding reaches past ASCII (and where
// isalpha holds for negative chars), made once per process with localedef
// into a temporary directory that LOCPATH then names. Gives the names that
// could be made; none when localedef or the locale sources are missing.
inline const std::vector<std::string>& single_byte_locales()
{
    // The locale files are read when a locale is chosen, so the directory
    // can go when the process ends.
    struct Directory {
        char path[32] = "/tmp/ravlin-locales-XXXXXX";
        bool made = mkdtemp(path) != nullptr;
        pid_t owner = getpid();  // not a forked child that exits
        ~Directory()
        {
            if (made && getpid() == owner)
                std::system((std::string("rm -rf '") + path + "'").c_str());
        }
    };
    static Directory directory;
    static const std::vector<std::string> made = [] {
        std::vector<std::string> names;
        if (!directory.made)
            return names;
        const char* dir = directory.path;
        setenv("LOCPATH", dir, 1);
        for (const char* locale : {"de_DE ISO-8859-1", "tr_TR ISO-8859-9"}) {
            std::string source(locale, std::strchr(locale, ' '));
            std::string charmap(std::strchr(locale, ' ') + 1);
            std::string name = source + "." + charmap;
            std::string command = "localedef -i " + source + " -f " + charmap + " " + dir + "/" + name +
                                  " >/dev/null 2>&1";
            if (std::system(command.c_str()) == -1)
                continue;
            const char* old = std::setlocale(LC_CTYPE, nullptr);
            std::string saved = old ? old : "C";
            if (std::setlocale(LC_CTYPE, name.c_str()))
                names.push_back(name);
            std::setlocale(LC_CTYPE, saved.c_str());
        }
        return names;
    }();
    return made;
}

// The locales the property tests run in: C, a UTF-8 one, and the
// single-byte ones that could be made.
inline std::vector<std::string> test_locales()
{
    std::vector<std::string> names{"C", "C.UTF-8"};
    for (const std::string& name : single_byte_locales())
        names.push_back(name);
    return names;
}

// Switches LC_CTYPE for the life of the object.
class LocaleScope {
public:
    explicit LocaleScope(const char* name)
    {
        const char* old = std::setlocale(LC_CTYPE, nullptr);
        saved_ = old ? old : "C";
        ok_ = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~LocaleScope() { std::setlocale(LC_CTYPE, saved_.c_str()); }
    bool ok() const { return ok_; }

private:
    std::string saved_;
    bool ok_;
};

}  // namespace items_reference
