#include "name_order.h"

#include <clocale>
#include <cstring>
#include <string>

namespace {

// The small base letters of U+00C0..U+017F, two characters each (a blank
// when one will do); "??" keeps the character as it is.
constexpr char kLatinBase[] =
    "a a a a a a aec e e e e i i i i d n o o o o o ??o u u u u y ??ss"  // U+00C0
    "a a a a a a aec e e e e i i i i d n o o o o o ??o u u u u y ??y "  // U+00E0
    "a a a a a a c c c c c c c c d d d d e e e e e e e e e e g g g g "  // U+0100
    "g g g g h h h h i i i i i i i i i i ijijj j k k k l l l l l l l "  // U+0120
    "l l l n n n n n n n n n o o o o o o oeoer r r r r r s s s s s s "  // U+0140
    "s s t t t t t t u u u u u u u u u u u u w w y y y z z z z z z s ";  // U+0160

// The next character of text at i, decoded (a stray byte stands for itself).
char32_t next_character(std::string_view text, size_t& i)
{
    unsigned char c = static_cast<unsigned char>(text[i++]);
    int extra = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : 0;
    char32_t code = extra ? c & (0x3f >> extra) : c;
    for (int k = 0; k < extra; ++k) {
        if (i == text.size() || (text[i] & 0xc0) != 0x80)
            return c;
        code = (code << 6) | (static_cast<unsigned char>(text[i++]) & 0x3f);
    }
    return code;
}

// The text as small base letters, each as three bytes (big-endian), so
// that the bytes compare as the letters do.
std::string base_letters(std::string_view text)
{
    std::string letters;
    auto add = [&](char32_t c) {
        letters += static_cast<char>(c >> 16);
        letters += static_cast<char>((c >> 8) & 0xff);
        letters += static_cast<char>(c & 0xff);
    };
    for (size_t i = 0; i < text.size();) {
        char32_t c = next_character(text, i);
        if (c >= 'A' && c <= 'Z') {
            c += 0x20;
        } else if (c >= 0xc0 && c <= 0x17f && kLatinBase[2 * (c - 0xc0)] != '?') {
            const char* base = &kLatinBase[2 * (c - 0xc0)];
            add(static_cast<unsigned char>(base[0]));
            if (base[1] != ' ')
                add(static_cast<unsigned char>(base[1]));
            continue;
        } else if ((c >= 0x391 && c <= 0x3a9) || (c >= 0x410 && c <= 0x42f)) {
            c += 0x20;  // Greek and Cyrillic capitals
        } else if (c >= 0x400 && c <= 0x40f) {
            c += 0x50;
        }
        add(c);
    }
    return letters;
}

bool locale_collates()
{
    const char* name = setlocale(LC_COLLATE, nullptr);
    return name && std::strcmp(name, "C") != 0 && std::strcmp(name, "POSIX") != 0 &&
           std::strncmp(name, "C.", 2) != 0;
}

}  // namespace

std::string name_sort_key(std::string_view name)
{
    if (!locale_collates())
        return base_letters(name);
    std::string text(name), key(text.size() * 4 + 16, '\0');
    size_t needed = strxfrm(key.data(), text.c_str(), key.size());
    if (needed >= key.size()) {
        key.resize(needed + 1);
        strxfrm(key.data(), text.c_str(), key.size());
    }
    key.resize(needed);
    return key;
}
