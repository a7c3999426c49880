#pragma once

#include <cstdint>

#include "ravlin/base/color_pair.h"
#include "ravlin/base/text_measurer.h"

struct Rect {
    int32_t x, y, w, h;
};

// What the layout draws on: the bar's off-screen picture, with the loaded
// font. Coordinates are pixels from the bar's top left corner. Nothing is
// seen until present copies the whole picture to the bar.
class Canvas : public TextMeasurer {
public:
    // The font's ascent; font_height() is ascent plus descent.
    virtual int32_t font_ascent() const = 0;
    virtual void fill_rect(int32_t x, int32_t y, uint32_t w, uint32_t h, Color color) = 0;
    // Draws the first n bytes of UTF-8 text with the pen starting at x on
    // the baseline. Glyphs reaching out of clip (the cell the text belongs
    // to) may be cut at its edges; those of fallback fonts taller than the
    // line must be.
    virtual void draw_text(const char* text, int32_t n, int32_t x, int32_t baseline,
                           const Rect& clip, Color fg) = 0;
    // Shows the picture: the bar's whole contents in one step.
    virtual void present() = 0;
};
