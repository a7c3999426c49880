#include "ravlin/drawing/text_fitting.h"

#include <cstring>

#include "ravlin/base/utf8.h"

// Why a search may stand in for the walk. The walk returns the longest
// fitting prefix, whatever the widths do. When no prefix is narrower than a
// shorter one, the fitting prefixes are exactly those up to some length, so
// a binary search over the cut points finds that same longest one. The
// fonts give that order:
// - Xft measures the box around all drawn glyphs at their pen positions;
//   one more glyph can only widen that box. Its width is 16 bits, so this
//   holds while the text is narrower than 65536 pixels, which 1024 bytes
//   reach only with glyphs some 64 pixels wide.
// - Text with characters from fallback fonts is measured by the same box,
//   taken over the glyphs of every font. A character's font, glyph and
//   advance are settled when it is first met and never depend on what
//   follows it, and a prefix cut where a character may start reads as the
//   first characters of the whole text (bad bytes included), so a longer
//   prefix again only adds glyph boxes.
// - Core fonts and font sets add up the advance widths of the characters,
//   which are never negative in practice.
// A font that breaks the order anyway is caught when two of the measured
// widths come out of order, and the text is then fitted by the walk.

namespace {

// The places where the text may be cut, in increasing order: 0, every start
// of a character within the limit, and the end when it is within the limit.
struct CutPoints {
    int32_t at[fit_text_limit + 1];
    int32_t count = 0;

    explicit CutPoints(const char* text)
    {
        int32_t length = static_cast<int32_t>(strnlen(text, fit_text_limit));
        at[count++] = 0;
        // text[length] is the terminator or lies beyond the limit; either
        // way it decides whether length itself is a cut point.
        for (int32_t i = 1; i <= length; ++i)
            if (!is_utf8_continuation(text[i]))
                at[count++] = i;
    }
};

struct Fitting {
    const TextMeasurer& measurer;
    const char* text;
    int64_t room;  // width left for the text after the inset

    int32_t extent(int32_t n) const { return measurer.text_extent(text, n); }
    bool fits(int32_t extent) const { return extent <= room; }
};

// The walk, from the cut point at index down.
int32_t walk_down(const Fitting& fitting, const CutPoints& cuts, int32_t index)
{
    for (; index >= 0; --index)
        if (fitting.fits(fitting.extent(cuts.at[index])))
            return cuts.at[index];
    return -1;
}

Fitting make_fitting(const TextMeasurer& measurer, const char* text, int32_t width)
{
    return {measurer, text, static_cast<int64_t>(width) - measurer.font_height() / 2};
}

}  // namespace

int32_t fit_text_length_walk(const TextMeasurer& measurer, const char* text, int32_t width)
{
    CutPoints cuts(text);
    return walk_down(make_fitting(measurer, text, width), cuts, cuts.count - 1);
}

int32_t fit_text_length(const TextMeasurer& measurer, const char* text, int32_t width)
{
    CutPoints cuts(text);
    Fitting fitting = make_fitting(measurer, text, width);
    int32_t last = cuts.count - 1;
    int32_t last_extent = fitting.extent(cuts.at[last]);
    if (fitting.fits(last_extent))
        return cuts.at[last];

    // Invariant: the cut point at index low fits (index -1 standing for
    // "none known"), the one at index high does not.
    int32_t low = -1, high = last;
    int32_t low_extent = 0, high_extent = last_extent;
    while (high - low > 1) {
        int32_t middle = low + (high - low) / 2;
        int32_t middle_extent = fitting.extent(cuts.at[middle]);
        bool out_of_order = (low >= 0 && middle_extent < low_extent) || middle_extent > high_extent;
        if (out_of_order)
            return walk_down(fitting, cuts, last - 1);
        if (fitting.fits(middle_extent)) {
            low = middle;
            low_extent = middle_extent;
        } else {
            high = middle;
            high_extent = middle_extent;
        }
    }
    return low < 0 ? -1 : cuts.at[low];
}

int32_t ellipsis_start(const char* text, int32_t length)
{
    if (text[length] == '\0')
        return length;
    int32_t start = length;
    for (int characters = 0; characters < 3; ++characters) {
        if (start == 0)
            return length;
        do
            --start;
        while (start > 0 && is_utf8_continuation(text[start]));
    }
    return start;
}

void paint_text_fitted(Canvas& canvas, const Rect& cell, const char* text, const ColorPair& pair,
                       FitRule fit, int32_t known_extent)
{
    int32_t length = static_cast<int32_t>(strnlen(text, fit_text_limit));
    bool known_to_fit = known_extent >= 0 && length < fit_text_limit &&
                        known_extent <= cell.w - canvas.font_height() / 2;
    int32_t n = known_to_fit ? length : fit(canvas, text, cell.w);
    if (n < 0)
        return;
    char copy[fit_text_limit];
    std::memcpy(copy, text, static_cast<size_t>(n));
    int32_t shown = n;
    int32_t stops = ellipsis_start(text, n);
    if (stops < n) {
        std::memcpy(copy + stops, "...", 3);
        shown = stops + 3;
    }
    canvas.fill_rect(cell.x, cell.y, static_cast<uint32_t>(cell.w), static_cast<uint32_t>(cell.h),
                     pair.bg);
    paint_text_run(canvas, cell, copy, shown, pair);
}

void paint_text_run(Canvas& canvas, const Rect& cell, const char* bytes, int32_t n,
                    const ColorPair& pair)
{
    int32_t height = canvas.font_height();
    canvas.draw_text(bytes, n, cell.x + height / 2,
                     cell.y + canvas.font_ascent() + (cell.h - height) / 2, cell, pair.fg);
}
