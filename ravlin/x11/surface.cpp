#include "ravlin/x11/surface.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ravlin/base/fail.h"
#include "ravlin/x11/core_text.h"
#include "ravlin/x11/font_fallback.h"

Surface* open_surface()
{
    if (!std::setlocale(LC_CTYPE, "") || !XSupportsLocale())
        std::fputs("no locale support\n", stderr);
    auto* surface = static_cast<Surface*>(std::calloc(1, sizeof(Surface)));
    if (!surface)
        fail("cannot malloc %u bytes:", static_cast<unsigned>(sizeof(Surface)));
    surface->display = XOpenDisplay(nullptr);
    if (!surface->display)
        fail("cannot open display\n");
    Display* display = surface->display;
    surface->gc = XCreateGC(display, DefaultRootWindow(display), 0, nullptr);
    XSetLineAttributes(display, surface->gc, 1, LineSolid, CapButt, JoinMiter);
    return surface;
}

void close_surface(Surface* surface)
{
    Display* display = surface->display;
    LoadedFont& font = surface->font;
    if (font.xft_font) {
        delete surface->fallback;
        XftFontClose(display, font.xft_font);
        if (surface->xft_draw)
            XftDrawDestroy(surface->xft_draw);
    }
    if (font.font_set)
        XFreeFontSet(display, font.font_set);
    close_core_text(display, surface->core_text);
    if (font.core_font)
        XFreeFont(display, font.core_font);
    if (surface->canvas)
        XFreePixmap(display, surface->canvas);
    XFreeGC(display, surface->gc);
    XCloseDisplay(display);
    std::free(surface);
}

namespace {

// Xft keeps glyphs within a budget per display and per font, 4 MiB and
// 1 MiB unless the Xft.maxglyphmemory resource says otherwise, and counts
// a colour glyph at 256 times its size: a dozen emoji fill it, and past
// that every redraw decodes and uploads them again. Unless the user set
// it, the budget is raised for this connection before Xft first reads it;
// what it holds is still only the glyphs that were drawn.
void raise_glyph_budget(Display* display)
{
    if (XGetDefault(display, "Xft", XFT_MAX_GLYPH_MEMORY))
        return;
    XrmDatabase database = XrmGetDatabase(display);
    bool had_database = database != nullptr;
    XrmPutStringResource(&database, "Xft." XFT_MAX_GLYPH_MEMORY, "33554432");
    if (!had_database)
        XrmSetDatabase(display, database);
}

}  // namespace

void load_font(Surface& surface, const char* name)
{
    Display* display = surface.display;
    LoadedFont& font = surface.font;
    char** missing = nullptr;
    if ((font.core_font = XLoadQueryFont(display, name))) {
        font.ascent = font.core_font->ascent;
        font.descent = font.core_font->descent;
        surface.core_text = open_core_text(display, font.core_font);
    } else {
        int missing_count = 0;
        char* default_string = nullptr;
        font.font_set = XCreateFontSet(display, name, &missing, &missing_count, &default_string);
        if (font.font_set) {
            XFontStruct** fonts;
            char** names;
            int n = XFontsOfFontSet(font.font_set, &fonts, &names);
            for (int i = 0; i < n; ++i) {
                if (fonts[i]->ascent > font.ascent)
                    font.ascent = fonts[i]->ascent;
                if (fonts[i]->descent > font.descent)
                    font.descent = fonts[i]->descent;
            }
        } else {
            raise_glyph_budget(display);
            font.xft_font = XftFontOpenName(display, DefaultScreen(display), name);
            if (!font.xft_font)
                fail("cannot load font '%s'\n", name);
            font.ascent = font.xft_font->ascent;
            font.descent = font.xft_font->descent;
            surface.fallback = new FontFallback(display, font.xft_font, name);
        }
    }
    if (missing)
        XFreeStringList(missing);
    font.height = font.ascent + font.descent;
}

unsigned long alloc_pixel(Surface& surface, const char* name)
{
    Display* display = surface.display;
    XColor screen_color, exact_color;
    if (!XAllocNamedColor(display, DefaultColormap(display, DefaultScreen(display)), name,
                          &screen_color, &exact_color))
        fail("cannot allocate color '%s'\n", name);
    return screen_color.pixel;
}

XColorPair* make_color_pair(Surface& surface, const char* fg_name, const char* bg_name)
{
    auto* pair = static_cast<XColorPair*>(std::calloc(1, sizeof(XColorPair)));
    if (!pair)
        fail("error, cannot allocate memory for color set");
    pair->bg = alloc_pixel(surface, bg_name);
    pair->fg = alloc_pixel(surface, fg_name);
    if (surface.font.xft_font) {
        Display* display = surface.display;
        int screen = DefaultScreen(display);
        if (!XftColorAllocName(display, DefaultVisual(display, screen),
                               DefaultColormap(display, screen), fg_name, &pair->fg_xft))
            fail("error, cannot allocate xft font color '%s'\n", fg_name);
    }
    return pair;
}

void free_color_pair(Surface& surface, XColorPair* pair)
{
    if (!pair)
        return;
    if (surface.font.xft_font) {
        Display* display = surface.display;
        int screen = DefaultScreen(display);
        XftColorFree(display, DefaultVisual(display, screen), DefaultColormap(display, screen),
                     &pair->fg_xft);
    }
    std::free(pair);
}

void size_canvas(Surface& surface, uint32_t width, uint32_t height)
{
    Display* display = surface.display;
    int screen = DefaultScreen(display);
    if (surface.canvas)
        XFreePixmap(display, surface.canvas);
    surface.canvas = XCreatePixmap(display, DefaultRootWindow(display), width, height,
                                   DefaultDepth(display, screen));
    if (!surface.font.xft_font)
        return;
    // The draw is bound to one pixmap: a new canvas needs it rebound.
    if (surface.xft_draw) {
        XftDrawChange(surface.xft_draw, surface.canvas);
        return;
    }
    surface.xft_draw = XftDrawCreate(display, surface.canvas, DefaultVisual(display, screen),
                                     DefaultColormap(display, screen));
    if (!surface.xft_draw)
        fail("error, cannot create xft drawable\n");
}

int32_t text_extent(const Surface& surface, const char* text, int32_t n)
{
    const LoadedFont& font = surface.font;
    if (font.xft_font) {
        if (!surface.fallback->plain_ascii(text, n))
            return surface.fallback->lay_out(text, n).width;
        XGlyphInfo extents;
        XftTextExtentsUtf8(surface.display, font.xft_font,
                           reinterpret_cast<const FcChar8*>(text), n, &extents);
        return extents.width;
    }
    if (font.font_set) {
        XRectangle logical;
        XmbTextExtents(font.font_set, text, n, nullptr, &logical);
        return logical.width;
    }
    if (surface.core_text)
        return core_text_width(*surface.core_text, text, n);
    return XTextWidth(font.core_font, text, n);
}

// Xft measures a string by its glyph box; the pen goes on by the advances.
// Core fonts and font sets measure by advance already.
int32_t text_advance(const Surface& surface, const char* text, int32_t n)
{
    const LoadedFont& font = surface.font;
    if (!font.xft_font)
        return text_extent(surface, text, n);
    if (!surface.fallback->plain_ascii(text, n))
        return surface.fallback->lay_out(text, n).advance;
    XGlyphInfo extents;
    XftTextExtentsUtf8(surface.display, font.xft_font, reinterpret_cast<const FcChar8*>(text), n,
                       &extents);
    return extents.xOff;
}

namespace {

// Glyphs from other fonts may stand taller than the loaded font's lines, so
// they are kept inside the cell they belong to.
void draw_runs(Surface& surface, const TextLayout& layout, const XftColor& color, int x, int y,
               const Rect& cell)
{
    if (layout.fallback_used) {
        XRectangle row = {static_cast<short>(cell.x), static_cast<short>(cell.y),
                          static_cast<unsigned short>(cell.w > 0 ? cell.w : 0),
                          static_cast<unsigned short>(cell.h > 0 ? cell.h : 0)};
        XftDrawSetClipRectangles(surface.xft_draw, 0, 0, &row, 1);
    }
    for (const GlyphRun& run : layout.runs)
        XftDrawGlyphs(surface.xft_draw, &color, run.font, x + run.pen, y,
                      &layout.glyphs[static_cast<size_t>(run.first)], run.count);
    if (layout.fallback_used)
        XftDrawSetClip(surface.xft_draw, nullptr);
}

}  // namespace

ColorPair SurfaceCanvas::add_colors(const XColorPair& pair)
{
    auto index = static_cast<Color>(pairs_.size());
    pairs_.push_back(&pair);
    return {2 * index, 2 * index + 1};
}

void SurfaceCanvas::show_on(Window window, uint32_t width, uint32_t height)
{
    window_ = window;
    width_ = width;
    height_ = height;
}

void SurfaceCanvas::fill_rect(int32_t x, int32_t y, uint32_t w, uint32_t h, Color color)
{
    XSetForeground(surface_.display, surface_.gc, pixel(color));
    XFillRectangle(surface_.display, surface_.canvas, surface_.gc, x, y, w, h);
}

void SurfaceCanvas::draw_text(const char* bytes, int32_t n, int32_t x, int32_t y,
                              const Rect& clip, Color fg)
{
    Surface& surface = surface_;
    const LoadedFont& font = surface.font;
    const XColorPair& pair = pair_of(fg);
    XSetForeground(surface.display, surface.gc, pair.fg);
    if (font.xft_font) {
        if (!surface.xft_draw)
            fail("error, xft drawable does not exist");
        if (surface.fallback->plain_ascii(bytes, n))
            XftDrawStringUtf8(surface.xft_draw, &pair.fg_xft, font.xft_font, x, y,
                              reinterpret_cast<const FcChar8*>(bytes), n);
        else
            draw_runs(surface, surface.fallback->lay_out(bytes, n), pair.fg_xft, x, y, clip);
    } else if (font.font_set) {
        XmbDrawString(surface.display, surface.canvas, font.font_set, surface.gc, x, y, bytes, n);
    } else if (surface.core_text) {
        draw_core_text(surface.display, surface.canvas, surface.gc, *surface.core_text, x, y,
                       bytes, n);
    } else {
        XSetFont(surface.display, surface.gc, font.core_font->fid);
        XDrawString(surface.display, surface.canvas, surface.gc, x, y, bytes, n);
    }
}

void SurfaceCanvas::present()
{
    XCopyArea(surface_.display, surface_.canvas, window_, surface_.gc, 0, 0, width_, height_, 0,
              0);
}
