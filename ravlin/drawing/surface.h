#pragma once

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include <cstdint>

#include "ravlin/drawing/text_fitting.h"
#include "ravlin/drawing/text_measurer.h"

class FontFallback;
struct CoreText;

// The one font of the program. Exactly one of the three handles is set
// after load_font.
struct LoadedFont {
    int32_t ascent;
    int32_t descent;
    int32_t height;  // ascent + descent
    XFontSet font_set;
    XFontStruct* core_font;
    XftFont* xft_font;
};

// The drawing target: display connection, GC, off-screen canvas and font.
// Painting is relative to the current rectangle (x, y, w, h).
struct Surface {
    int32_t x, y;
    int32_t w, h;
    Display* display;
    GC gc;
    Pixmap canvas;     // None until size_canvas
    XftDraw* xft_draw; // only with an Xft font, from size_canvas on
    LoadedFont font;
    // Only with an Xft font: where the characters it lacks are drawn from.
    FontFallback* fallback;
    // Only with a core font in a multibyte locale: text drawn by character.
    CoreText* core_text;
};

// A foreground/background pair; fg_xft is allocated only with an Xft font.
struct ColorPair {
    unsigned long fg;
    XftColor fg_xft;
    unsigned long bg;
};

Surface* open_surface();
void close_surface(Surface* surface);
void load_font(Surface& surface, const char* name);
unsigned long alloc_pixel(Surface& surface, const char* name);
ColorPair* make_color_pair(Surface& surface, const char* fg_name, const char* bg_name);
void free_color_pair(Surface& surface, ColorPair* pair);
void size_canvas(Surface& surface, uint32_t width, uint32_t height);
void flush_canvas(Surface& surface, Window window, uint32_t width, uint32_t height);

void paint_rect(Surface& surface, int32_t x, int32_t y, uint32_t width, uint32_t height,
                bool filled, unsigned long pixel);
// fit chooses how much of the text is shown; the benchmark passes the walk.
// known_extent is the text's width when the caller has measured it already
// (-1 when not): a text known to fit is drawn whole without measuring again.
using FitRule = int32_t (*)(const TextMeasurer&, const char*, int32_t);
void paint_text_fitted(Surface& surface, const char* text, const ColorPair& pair,
                       FitRule fit = fit_text_length, int32_t known_extent = -1);
void paint_text_run(Surface& surface, const char* bytes, int32_t n, const ColorPair& pair);
int32_t text_extent(const Surface& surface, const char* text, int32_t n);
int32_t text_advance(const Surface& surface, const char* text, int32_t n);

// Answers the layout's width questions with the loaded font.
class SurfaceMeasurer final : public TextMeasurer {
public:
    explicit SurfaceMeasurer(const Surface& surface) : surface_(surface) {}
    int32_t text_extent(const char* text, int32_t n) const override
    {
        return ::text_extent(surface_, text, n);
    }
    int32_t text_advance(const char* text, int32_t n) const override
    {
        return ::text_advance(surface_, text, n);
    }
    int32_t font_height() const override { return surface_.font.height; }

private:
    const Surface& surface_;
};
