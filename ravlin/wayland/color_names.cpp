#include "ravlin/wayland/color_names.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads digits hex digits as one value, -1 when one is not a digit.
long read_hex(const char* text, size_t digits)
{
    long value = 0;
    for (size_t i = 0; i < digits; ++i) {
        int d = hex_digit(text[i]);
        if (d < 0)
            return -1;
        value = value * 16 + d;
    }
    return value;
}

// "#" forms put the digits in the top bits of 16 (so "#f00" is 0xf000,
// not 0xffff, as X has it); the screen shows the top 8 of them.
std::optional<Rgb> parse_hash(const char* text)
{
    size_t length = std::strlen(text);
    if (length == 0 || length % 3 != 0 || length > 12)
        return std::nullopt;
    size_t digits = length / 3;
    uint8_t parts[3];
    for (size_t i = 0; i < 3; ++i) {
        long value = read_hex(text + i * digits, digits);
        if (value < 0)
            return std::nullopt;
        parts[i] = static_cast<uint8_t>((value << (16 - 4 * digits)) >> 8);
    }
    return Rgb{parts[0], parts[1], parts[2]};
}

// "rgb:" forms scale each part of 1 to 4 digits to the whole range.
std::optional<Rgb> parse_rgb(const char* text)
{
    uint8_t parts[3];
    for (size_t i = 0; i < 3; ++i) {
        const char* end = text;
        while (*end && *end != '/')
            ++end;
        size_t digits = static_cast<size_t>(end - text);
        if (digits < 1 || digits > 4 || (i < 2 ? *end != '/' : *end != '\0'))
            return std::nullopt;
        long value = read_hex(text, digits);
        if (value < 0)
            return std::nullopt;
        long top = (1L << (4 * digits)) - 1;
        parts[i] = static_cast<uint8_t>((value * 65535 / top) >> 8);
        text = end + 1;
    }
    return Rgb{parts[0], parts[1], parts[2]};
}

std::string folded(const char* name)
{
    std::string key;
    for (; *name; ++name)
        if (*name != ' ')
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(*name)));
    return key;
}

}  // namespace

std::optional<Rgb> parse_numeric_color(const char* text)
{
    if (text[0] == '#')
        return parse_hash(text + 1);
    if (strncasecmp(text, "rgb:", 4) == 0)
        return parse_rgb(text + 4);
    return std::nullopt;
}

std::optional<Rgb> lookup_color_name(const char* name, const char* database)
{
    FILE* file = std::fopen(database, "re");
    if (!file)
        return std::nullopt;
    std::string wanted = folded(name);
    std::optional<Rgb> found;
    char line[256];
    while (!found && std::fgets(line, sizeof line, file)) {
        int r, g, b, consumed = 0;
        if (line[0] == '!' || std::sscanf(line, "%d %d %d %n", &r, &g, &b, &consumed) != 3)
            continue;
        char* entry = line + consumed;
        entry[std::strcspn(entry, "\r\n")] = '\0';
        if (folded(entry) == wanted)
            found = Rgb{static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
    }
    std::fclose(file);
    return found;
}

std::optional<Rgb> parse_color(const char* name)
{
    if (name[0] == '#' || strncasecmp(name, "rgb:", 4) == 0)
        return parse_numeric_color(name);
    for (const char* database : color_database_paths)
        if (auto rgb = lookup_color_name(name, database))
            return rgb;
    return std::nullopt;
}
