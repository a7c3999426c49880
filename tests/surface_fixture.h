#pragma once

// The real drawing surface in the test process: a private Xvfb shared by the
// whole test program, a Surface opened on it with a real font, and pixels
// read back from the server.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "ravlin/drawing/text_fitting.h"
#include "ravlin/x11/surface.h"

namespace surface_fixture {

// A core font, an Xft font without antialiasing (so every pixel is either
// the foreground or the background) and an Xft font with it.
inline const char* const core_font = "fixed";
inline const char* const xft_font = "DejaVu Sans:pixelsize=15:antialias=false:hinting=false";
inline const char* const xft_smooth_font = "DejaVu Serif:italic:pixelsize=17";
// Fails as a core font (no such name), so it loads as a font set.
inline const char* const font_set =
    "-misc-fixed-medium-r-normal--13-*-*-*-*-*-iso10646-1,-misc-fixed-*";

inline harness::XServer& server()
{
    static harness::XServer instance;
    return instance;
}

// A rectangle of pixel values read from the server.
struct Pixels {
    int width = 0, height = 0;
    std::vector<unsigned long> values;
    unsigned long at(int x, int y) const { return values[static_cast<size_t>(y * width + x)]; }
    bool operator==(const Pixels&) const = default;
};

// One surface per font for the whole test program, closed at its exit.
// Surfaces are not closed earlier: Xft keeps state per connection address,
// and a connection opened after another was closed can be handed that stale
// state and fail.
class Drawing {
public:
    static Drawing& with_font(const char* font_name)
    {
        server();  // started first, so it outlives the surfaces at exit
        static std::map<std::string, std::unique_ptr<Drawing>> open;
        std::unique_ptr<Drawing>& drawing = open[font_name];
        if (!drawing)
            drawing.reset(new Drawing(font_name));
        return *drawing;
    }
    ~Drawing()
    {
        for (auto& [colors, pair] : pairs_)
            free_color_pair(*surface, pair);
        delete canvas;
        close_surface(surface);
    }
    Drawing(const Drawing&) = delete;
    Drawing& operator=(const Drawing&) = delete;

    // A pair as X allocated it: its pixels are what the pictures hold.
    XColorPair& pair(const char* fg, const char* bg)
    {
        XColorPair*& pair = pairs_[std::string(fg) + "/" + bg];
        if (!pair) {
            pair = make_color_pair(*surface, fg, bg);
            colors_[pair] = canvas->add_colors(*pair);
        }
        return *pair;
    }
    // The same pair as the canvas knows it.
    ColorPair colors(const XColorPair& pair) { return colors_.at(&pair); }
    unsigned long pixel(const char* name) { return alloc_pixel(*surface, name); }

    // Points the current cell somewhere.
    void at(int32_t x, int32_t y, int32_t w, int32_t h) { cell = {x, y, w, h}; }
    // Fills a rectangle given from the current cell's corner.
    void fill(int32_t x, int32_t y, uint32_t w, uint32_t h, unsigned long pixel)
    {
        XSetForeground(surface->display, surface->gc, pixel);
        XFillRectangle(surface->display, surface->canvas, surface->gc, cell.x + x, cell.y + y, w,
                       h);
    }
    // paint_text_fitted and paint_text_run in the current cell.
    void fitted(const char* text, const XColorPair& pair, FitRule fit = fit_text_length)
    {
        paint_text_fitted(*canvas, cell, text, colors(pair), fit);
    }
    void run(const char* bytes, int32_t n, const XColorPair& pair)
    {
        paint_text_run(*canvas, cell, bytes, n, colors(pair));
    }

    // Pixels of a drawable (the canvas unless given), after the server has
    // done everything asked so far.
    Pixels read(int x, int y, int width, int height, Drawable from = None)
    {
        XSync(surface->display, False);
        Pixels pixels;
        XImage* image = XGetImage(surface->display, from ? from : surface->canvas, x, y,
                                  static_cast<unsigned>(width), static_cast<unsigned>(height),
                                  AllPlanes, ZPixmap);
        if (!image)
            return pixels;
        pixels.width = width;
        pixels.height = height;
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column)
                pixels.values.push_back(XGetPixel(image, column, row));
        XDestroyImage(image);
        return pixels;
    }

    Surface* surface = nullptr;
    SurfaceCanvas* canvas = nullptr;
    Rect cell = {0, 0, 1600, 400};

private:
    explicit Drawing(const char* font_name)
    {
        setenv("DISPLAY", server().display_name().c_str(), 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        surface = open_surface();
        load_font(*surface, font_name);
        size_canvas(*surface, 1600, 400);
        canvas = new SurfaceCanvas(*surface);
    }
    std::map<std::string, XColorPair*> pairs_;
    std::map<const XColorPair*, ColorPair> colors_;
};

}  // namespace surface_fixture
