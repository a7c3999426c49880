#pragma once

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

#include "ravlin/drawing/canvas.h"

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
struct Surface {
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

// A foreground/background pair as X allocated it; fg_xft is allocated only
// with an Xft font.
struct XColorPair {
    unsigned long fg;
    XftColor fg_xft;
    unsigned long bg;
};

Surface* open_surface();
void close_surface(Surface* surface);
void load_font(Surface& surface, const char* name);
unsigned long alloc_pixel(Surface& surface, const char* name);
XColorPair* make_color_pair(Surface& surface, const char* fg_name, const char* bg_name);
void free_color_pair(Surface& surface, XColorPair* pair);
void size_canvas(Surface& surface, uint32_t width, uint32_t height);
int32_t text_extent(const Surface& surface, const char* text, int32_t n);
int32_t text_advance(const Surface& surface, const char* text, int32_t n);

// The layout's canvas on a surface. Its colours are the pairs it was given,
// each as two numbers (2i for the foreground of pair i, 2i + 1 for its
// background); present copies the canvas to the window it was shown on.
class SurfaceCanvas final : public Canvas {
public:
    explicit SurfaceCanvas(Surface& surface) : surface_(surface) {}
    ColorPair add_colors(const XColorPair& pair);
    void show_on(Window window, uint32_t width, uint32_t height);
    unsigned long pixel(Color color) const
    {
        return color % 2 ? pair_of(color).bg : pair_of(color).fg;
    }

    int32_t text_extent(const char* text, int32_t n) const override
    {
        return ::text_extent(surface_, text, n);
    }
    int32_t text_advance(const char* text, int32_t n) const override
    {
        return ::text_advance(surface_, text, n);
    }
    int32_t font_height() const override { return surface_.font.height; }
    int32_t font_ascent() const override { return surface_.font.ascent; }
    void fill_rect(int32_t x, int32_t y, uint32_t w, uint32_t h, Color color) override;
    void draw_text(const char* text, int32_t n, int32_t x, int32_t baseline, const Rect& clip,
                   Color fg) override;
    void present() override;

private:
    const XColorPair& pair_of(Color color) const { return *pairs_[color / 2]; }

    Surface& surface_;
    std::vector<const XColorPair*> pairs_;
    Window window_ = None;
    uint32_t width_ = 0, height_ = 0;
};
