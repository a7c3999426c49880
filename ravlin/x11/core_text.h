#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

// Text in a core font when the locale's characters are not single bytes: a
// core font draws bytes, and in UTF-8 "é" is two of them. Each character is
// decoded and drawn as one glyph, from the ISO 10646 variant of the loaded
// font when the server has it (the same design, with every script it
// covers), else from the loaded font by its own encoding. A character the
// font lacks is drawn as its default character.
struct CoreText {
    XFontStruct* font;       // draws; the loaded font or its ISO 10646 variant
    bool owned;              // font was opened here, for the variant
    // The highest character found at its own number: 0xFFFF in an ISO
    // 10646 font, 0xFF in Latin-1, 0x7F (ASCII) in any other encoding.
    unsigned last;
    unsigned replacement;    // drawn for characters the font lacks
    mutable std::vector<XChar2b> glyphs;  // the last text, converted
};

// Null in a single-byte locale, where bytes are characters and the loaded
// font draws them as it always did.
CoreText* open_core_text(Display* display, XFontStruct* loaded);
void close_core_text(Display* display, CoreText* text);

// Width of the first n bytes of text, by character.
int32_t core_text_width(const CoreText& core, const char* text, int32_t n);
// Draws the first n bytes of text with the pen at x on baseline y.
void draw_core_text(Display* display, Drawable drawable, GC gc, const CoreText& core, int x,
                    int y, const char* text, int32_t n);
