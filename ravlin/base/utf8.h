#pragma once

#include <cstdint>

// Labels, input and pasted text are byte strings: UTF-8 in practice, but
// nothing checks them on the way in, so any byte may turn up. This is the
// one place that knows how UTF-8 is put together.

// One character read from the front of a byte string.
struct Utf8Char {
    char32_t code;   // the character, or utf8_replacement for a bad byte
    int32_t length;  // bytes taken: 1 to 4; a bad byte takes 1
};

inline constexpr char32_t utf8_replacement = 0xFFFD;

// True for the bytes 10xxxxxx, which continue a character and never start
// one: every other byte is where a character may begin (or a bad byte).
constexpr bool is_utf8_continuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Reads the character at the front of the n >= 1 bytes at text, never
// looking beyond them. Valid is what RFC 3629 allows: the shortest form of
// U+0000..U+10FFFF without the surrogates. Anything else takes a single
// byte as U+FFFD, so reading goes on at the next byte and a character is
// never swallowed by a broken one before it (a bad sequence ends at the
// first byte that is not a continuation byte).
constexpr Utf8Char decode_utf8(const char* text, int32_t n)
{
    constexpr Utf8Char bad = {utf8_replacement, 1};
    auto byte = [text](int32_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80)
        return {lead, 1};
    int32_t length;
    char32_t code, lowest;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, lowest = 0x10000;
    } else {
        return bad;
    }
    if (length > n)
        return bad;
    for (int32_t i = 1; i < length; ++i) {
        if (!is_utf8_continuation(text[i]))
            return bad;
        code = code << 6 | (byte(i) & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return bad;
    return {code, length};
}
