#pragma once

#include <cstdint>
#include <cstring>

// The one question the layout asks of a font: how wide is this text. The
// surface answers it for the loaded font; tests answer it with fakes.
class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;
    // Width in pixels of the first n bytes of text.
    virtual int32_t text_extent(const char* text, int32_t n) const = 0;
    // Where the pen stands after the first n bytes, the place for a cursor:
    // unlike a glyph box, it counts a blank at the end. The same as the
    // width for fonts that measure by advance.
    virtual int32_t text_advance(const char* text, int32_t n) const
    {
        return text_extent(text, n);
    }
    // ascent + descent of the font; the layout's unit of padding.
    virtual int32_t font_height() const = 0;
};

// Width of the whole text plus one font height: every width of the bar
// layout is a padded width.
inline int32_t padded_width(const TextMeasurer& measurer, const char* text)
{
    return measurer.text_extent(text, static_cast<int32_t>(std::strlen(text))) +
           measurer.font_height();
}
