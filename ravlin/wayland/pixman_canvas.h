#pragma once

#include <pixman.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ravlin/drawing/canvas.h"

struct fcft_font;
struct fcft_glyph;
struct fcft_text_run;

// The bar's picture on Wayland: a pixman image drawn with fcft fonts.
// The layout works in surface pixels, as on X11; the picture has scale
// times as many, and the font is rasterized at that scale, so text stays
// sharp on HiDPI outputs. Widths follow the rule of the Xft surface: the
// box around the drawn glyphs at their pen positions, not the advance.
class PixmanCanvas final : public Canvas {
public:
    // Opens the fontconfig name through fcft; null when no font matches.
    static std::unique_ptr<PixmanCanvas> open(const std::string& font_name);
    ~PixmanCanvas() override;
    PixmanCanvas(const PixmanCanvas&) = delete;
    PixmanCanvas& operator=(const PixmanCanvas&) = delete;

    int32_t text_extent(const char* text, int32_t n) const override;
    int32_t text_advance(const char* text, int32_t n) const override;
    int32_t font_height() const override { return ascent_ + descent_; }
    int32_t font_ascent() const override { return ascent_; }
    void fill_rect(int32_t x, int32_t y, uint32_t w, uint32_t h, Color color) override;
    void draw_text(const char* text, int32_t n, int32_t x, int32_t baseline, const Rect& clip,
                   Color fg) override;
    void present() override
    {
        if (on_present)
            on_present();
    }

    // A new picture of width by height surface pixels at scale; the old
    // contents are gone. A new scale rasterizes the font again.
    void resize(int32_t width, int32_t height, double scale);
    double scale() const { return scale_; }
    int32_t width() const { return width_; }   // in surface pixels
    int32_t height() const { return height_; }
    pixman_image_t* image() const { return image_; }  // premultiplied ARGB, buffer pixels

    std::function<void()> on_present;

private:
    PixmanCanvas(std::string name, fcft_font* font);

    // One glyph of a laid out text and where its origin is, in buffer pixels.
    struct Placed {
        const fcft_glyph* glyph;
        int32_t pen;
    };
    // The glyphs of text in the raster font: one by one for text the font
    // draws glyph for glyph, shaped by HarfBuzz (through fcft) otherwise.
    const std::vector<Placed>& lay_out(const char* text, int32_t n) const;
    int32_t to_buffer(int32_t v) const;

    std::string name_;
    fcft_font* font_;            // at scale 1: the metrics the layout uses
    fcft_font* raster_;          // at scale_; font_ itself at 1
    int32_t ascent_, descent_;
    bool shaping_;               // fcft can shape text runs
    double scale_ = 1;
    int32_t width_ = 0, height_ = 0;
    pixman_image_t* image_ = nullptr;
    std::vector<uint32_t> pixels_;

    mutable std::vector<Placed> placed_;
    mutable std::vector<uint32_t> codes_;
    // Shaped runs by text, for the fitting's repeated measurements and the
    // redraws of the same page; dropped wholesale when it grows large.
    mutable std::unordered_map<std::u32string, fcft_text_run*> runs_;
};

// The colour the canvas draws for 8-bit red, green and blue, opaque.
inline Color opaque_color(uint8_t r, uint8_t g, uint8_t b)
{
    return 0xff000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}
