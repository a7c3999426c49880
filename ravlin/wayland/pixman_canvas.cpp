#include "ravlin/wayland/pixman_canvas.h"

#include <fcft/fcft.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>

#include "ravlin/base/utf8.h"

namespace {

// The same request at scale times the size: a pixel size is multiplied,
// a point size is turned into pixels by a scaled resolution.
std::string scaled_name(const std::string& name, double scale)
{
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(name.c_str()));
    if (!pattern)
        return name;
    double pixels, dpi;
    if (FcPatternGetDouble(pattern, FC_PIXEL_SIZE, 0, &pixels) == FcResultMatch) {
        FcPatternDel(pattern, FC_PIXEL_SIZE);
        FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixels * scale);
    } else {
        if (FcPatternGetDouble(pattern, FC_DPI, 0, &dpi) != FcResultMatch)
            dpi = 96;  // what fcft assumes
        FcPatternDel(pattern, FC_DPI);
        FcPatternAddDouble(pattern, FC_DPI, dpi * scale);
    }
    FcChar8* unparsed = FcNameUnparse(pattern);
    std::string result = unparsed ? reinterpret_cast<char*>(unparsed) : name;
    std::free(unparsed);
    FcPatternDestroy(pattern);
    return result;
}

fcft_font* open_font(const std::string& name)
{
    const char* names[] = {name.c_str()};
    return fcft_from_name(1, names, nullptr);
}

pixman_color_t to_pixman(Color c)
{
    auto wide = [](uint32_t byte) { return static_cast<uint16_t>(byte * 0x101); };
    return {wide((c >> 16) & 0xff), wide((c >> 8) & 0xff), wide(c & 0xff), wide(c >> 24)};
}

bool plain_ascii(const uint32_t* codes, size_t n)
{
    return std::all_of(codes, codes + n, [](uint32_t c) { return c >= 0x20 && c < 0x7f; });
}

}  // namespace

std::unique_ptr<PixmanCanvas> PixmanCanvas::open(const std::string& font_name)
{
    static bool initialized = fcft_init(FCFT_LOG_COLORIZE_NEVER, false, FCFT_LOG_CLASS_ERROR);
    (void)initialized;
    fcft_font* font = open_font(font_name);
    if (!font)
        return nullptr;
    return std::unique_ptr<PixmanCanvas>(new PixmanCanvas(font_name, font));
}

PixmanCanvas::PixmanCanvas(std::string name, fcft_font* font)
    : name_(std::move(name)), font_(font), raster_(font), ascent_(font->ascent),
      descent_(font->descent),
      shaping_((fcft_capabilities() & FCFT_CAPABILITY_TEXT_RUN_SHAPING) != 0)
{
}

PixmanCanvas::~PixmanCanvas()
{
    for (auto& [text, run] : runs_)
        fcft_text_run_destroy(run);
    if (image_)
        pixman_image_unref(image_);
    if (raster_ != font_)
        fcft_destroy(raster_);
    fcft_destroy(font_);
}

void PixmanCanvas::resize(int32_t width, int32_t height, double scale)
{
    if (scale != scale_) {
        fcft_font* raster = scale == 1 ? font_ : open_font(scaled_name(name_, scale));
        if (raster) {
            for (auto& [text, run] : runs_)
                fcft_text_run_destroy(run);
            runs_.clear();
            if (raster_ != font_)
                fcft_destroy(raster_);
            raster_ = raster;
            scale_ = scale;
        }
    }
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
    int32_t w = to_buffer(width_), h = to_buffer(height_);
    if (image_)
        pixman_image_unref(image_);
    pixels_.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    image_ = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, pixels_.data(), w * 4);
}

int32_t PixmanCanvas::to_buffer(int32_t v) const
{
    return static_cast<int32_t>(std::lround(v * scale_));
}

const std::vector<PixmanCanvas::Placed>& PixmanCanvas::lay_out(const char* text, int32_t n) const
{
    placed_.clear();
    codes_.clear();
    for (int32_t i = 0; i < n;) {
        Utf8Char c = decode_utf8(text + i, n - i);
        codes_.push_back(c.code);
        i += c.length;
    }
    int32_t pen = 0;
    if (!shaping_ || plain_ascii(codes_.data(), codes_.size())) {
        for (uint32_t code : codes_) {
            const fcft_glyph* g = fcft_rasterize_char_utf32(raster_, code, FCFT_SUBPIXEL_NONE);
            if (!g)
                continue;
            placed_.push_back({g, pen});
            pen += g->advance.x;
        }
        return placed_;
    }
    std::u32string key(codes_.begin(), codes_.end());
    auto found = runs_.find(key);
    if (found == runs_.end()) {
        if (runs_.size() >= 512) {
            for (auto& [k, run] : runs_)
                fcft_text_run_destroy(run);
            runs_.clear();
        }
        fcft_text_run* run = fcft_rasterize_text_run_utf32(raster_, codes_.size(), codes_.data(),
                                                           FCFT_SUBPIXEL_NONE);
        found = runs_.emplace(std::move(key), run).first;
    }
    if (fcft_text_run* run = found->second)
        for (size_t i = 0; i < run->count; ++i) {
            placed_.push_back({run->glyphs[i], pen});
            pen += run->glyphs[i]->advance.x;
        }
    return placed_;
}

int32_t PixmanCanvas::text_extent(const char* text, int32_t n) const
{
    const std::vector<Placed>& placed = lay_out(text, n);
    int32_t left = 0, right = 0;
    for (size_t i = 0; i < placed.size(); ++i) {
        int32_t glyph_left = placed[i].pen + placed[i].glyph->x;
        int32_t glyph_right = glyph_left + placed[i].glyph->width;
        if (i == 0 || glyph_left < left)
            left = glyph_left;
        if (i == 0 || glyph_right > right)
            right = glyph_right;
    }
    return static_cast<int32_t>(std::ceil((right - left) / scale_));
}

int32_t PixmanCanvas::text_advance(const char* text, int32_t n) const
{
    const std::vector<Placed>& placed = lay_out(text, n);
    if (placed.empty())
        return 0;
    int32_t pen = placed.back().pen + placed.back().glyph->advance.x;
    return static_cast<int32_t>(std::lround(pen / scale_));
}

void PixmanCanvas::fill_rect(int32_t x, int32_t y, uint32_t w, uint32_t h, Color color)
{
    if (!image_ || w == 0 || h == 0)
        return;
    int32_t x0 = to_buffer(x), y0 = to_buffer(y);
    int32_t x1 = to_buffer(x + static_cast<int32_t>(w)), y1 = to_buffer(y + static_cast<int32_t>(h));
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, pixman_image_get_width(image_));
    y1 = std::min(y1, pixman_image_get_height(image_));
    if (x1 <= x0 || y1 <= y0)
        return;
    pixman_color_t c = to_pixman(color);
    pixman_box32_t box = {x0, y0, x1, y1};
    pixman_image_fill_boxes(PIXMAN_OP_SRC, image_, &c, 1, &box);
}

void PixmanCanvas::draw_text(const char* text, int32_t n, int32_t x, int32_t baseline,
                             const Rect& clip, Color fg)
{
    if (!image_ || clip.w <= 0 || clip.h <= 0)
        return;
    pixman_region32_t region;
    pixman_region32_init_rect(&region, to_buffer(clip.x), to_buffer(clip.y),
                              static_cast<unsigned>(to_buffer(clip.w)),
                              static_cast<unsigned>(to_buffer(clip.h)));
    pixman_image_set_clip_region32(image_, &region);
    pixman_color_t c = to_pixman(fg);
    pixman_image_t* pen_colour = pixman_image_create_solid_fill(&c);
    int32_t origin_x = to_buffer(x), origin_y = to_buffer(baseline);
    for (const Placed& p : lay_out(text, n)) {
        const fcft_glyph* g = p.glyph;
        int32_t gx = origin_x + p.pen + g->x, gy = origin_y - g->y;
        // Colour glyphs (emoji) are pictures of their own; the others are
        // coverage masks for the pen's colour.
        if (pixman_image_get_format(g->pix) == PIXMAN_a8r8g8b8)
            pixman_image_composite32(PIXMAN_OP_OVER, g->pix, nullptr, image_, 0, 0, 0, 0, gx, gy,
                                     g->width, g->height);
        else
            pixman_image_composite32(PIXMAN_OP_OVER, pen_colour, g->pix, image_, 0, 0, 0, 0, gx,
                                     gy, g->width, g->height);
    }
    pixman_image_unref(pen_colour);
    pixman_image_set_clip_region32(image_, nullptr);
    pixman_region32_fini(&region);
}
