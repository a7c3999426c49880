// Characters the loaded Xft font lacks are drawn from the fonts that have
// them: each picture is compared pixel for pixel with Xft itself drawing
// the text, in the font that has it, at the same place.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ravlin/base/utf8.h"
#include "ravlin/drawing/text_fitting.h"
#include "ravlin/x11/font_fallback.h"
#include "surface_fixture.h"

namespace {

using surface_fixture::Pixels;

// Has neither Chinese nor emoji; the other two are the fonts installed for
// them, which fontconfig offers for this request.
const char* const mono = "DejaVu Sans Mono:pixelsize=15";
const char* const cjk = "WenQuanYi Micro Hei Mono:pixelsize=15";
const char* const emoji = "Noto Color Emoji:pixelsize=15";
constexpr int32_t left = 20, top = 10;

const std::string chinese = "\xe4\xb8\xad\xe6\x96\x87\xe5\xad\x97\xe5\xb9\x95";  // 中文字幕
const std::string faces = "\xf0\x9f\x98\x80\xf0\x9f\x8e\x89";                    // 😀🎉

// Texts drawn at (left, top) on the shared surface of one font, on a canvas
// cleared to an untouched colour, and read back with a margin around them.
struct Canvas {
    explicit Canvas(const char* font_name)
        : drawing(surface_fixture::Drawing::with_font(font_name)),
          surface(*drawing.surface),
          pair(drawing.pair("#f0f0f0", "#202020")),
          untouched(drawing.pixel("#00ff00")),
          h(surface.font.height + 2)
    {
    }
    ~Canvas()
    {
        for (auto& [name, font] : fonts)
            XftFontClose(surface.display, font);
    }

    // What paint_text_fitted shows in a rectangle of this size.
    Pixels fitted(const std::string& text, int32_t width = 500, int32_t height = 0)
    {
        clear();
        drawing.at(left, top, width, height ? height : h);
        drawing.fitted(text.c_str(), pair);
        return read();
    }
    // Xft drawing each piece in its font on the loaded font's baseline,
    // each where the pen stopped after the one before.
    Pixels direct(const std::vector<std::pair<std::string, const char*>>& pieces)
    {
        clear();
        drawing.fill(left, top, 500, static_cast<uint32_t>(h), pair.bg);
        const LoadedFont& loaded = surface.font;
        int x = left + loaded.height / 2, baseline = top + loaded.ascent + (h - loaded.height) / 2;
        for (const auto& [text, font_name] : pieces) {
            XftDrawStringUtf8(surface.xft_draw, &pair.fg_xft, font(font_name), x, baseline,
                              reinterpret_cast<const FcChar8*>(text.data()),
                              static_cast<int>(text.size()));
            x += xft_extents(text, font_name).xOff;
        }
        return read();
    }
    XGlyphInfo xft_extents(const std::string& text, const char* font_name)
    {
        XGlyphInfo extents;
        XftTextExtentsUtf8(surface.display, font(font_name),
                           reinterpret_cast<const FcChar8*>(text.data()),
                           static_cast<int>(text.size()), &extents);
        return extents;
    }
    int32_t extent(const std::string& text) const
    {
        return text_extent(surface, text.c_str(), static_cast<int32_t>(text.size()));
    }

    void clear()
    {
        drawing.at(0, 0, 1600, 400);
        drawing.fill(0, 0, 1600, 400, untouched);
    }
    Pixels read() { return drawing.read(0, 0, 560, top + h + 10); }
    XftFont* font(const char* name)
    {
        XftFont*& font = fonts[name];
        if (!font)
            font = XftFontOpenName(surface.display, DefaultScreen(surface.display), name);
        return font;
    }

    surface_fixture::Drawing& drawing;
    Surface& surface;
    XColorPair& pair;
    const unsigned long untouched;
    const int32_t h;
    std::map<std::string, XftFont*> fonts;
};

TEST(FontFallback, CjkAndEmojiShowTheGlyphsOfTheFontsThatHaveThem)
{
    Canvas canvas(mono);
    Pixels chinese_shown = canvas.fitted(chinese);
    EXPECT_TRUE(chinese_shown == canvas.direct({{chinese, cjk}}));
    // Boxes would make both the same picture.
    EXPECT_FALSE(canvas.fitted("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e") == chinese_shown);  // 日本語

    Pixels faces_shown = canvas.fitted(faces);
    EXPECT_TRUE(faces_shown == canvas.direct({{faces, emoji}}));
    // In colour, where grey text on grey would only give greys.
    EXPECT_GT(std::count_if(faces_shown.values.begin(), faces_shown.values.end(),
                            [](unsigned long p) { return (p >> 16 & 0xFF) != (p & 0xFF); }),
              50);
    // Scaled to the line, not drawn at the font's one size of 109 pixels.
    EXPECT_LE(canvas.extent(faces), 4 * canvas.surface.font.height);

    // Runs of three fonts side by side, and the measured box holds all of
    // their ink.
    const std::string mixed = "ab" + chinese + faces + "cd";
    Pixels mixed_shown = canvas.fitted(mixed);
    EXPECT_TRUE(mixed_shown ==
                canvas.direct({{"ab", mono}, {chinese, cjk}, {faces, emoji}, {"cd", mono}}));
    int ink_left = mixed_shown.width, ink_right = -1;
    for (int y = 0; y < mixed_shown.height; ++y) {
        for (int x = 0; x < mixed_shown.width; ++x) {
            unsigned long pixel = mixed_shown.at(x, y);
            if (pixel != canvas.pair.bg && pixel != canvas.untouched)
                ink_left = std::min(ink_left, x), ink_right = std::max(ink_right, x);
        }
    }
    EXPECT_LE(ink_right - ink_left + 1, canvas.extent(mixed));
    EXPECT_GE(ink_right - ink_left + 1, canvas.extent(mixed) - 2);
}

TEST(FontFallback, TextTheLoadedFontHasIsDrawnAndMeasuredAsXftAlwaysDid)
{
    // A surface of its own, so nothing drawn before has asked fontconfig.
    const char* const small = "DejaVu Sans Mono:pixelsize=13";
    Canvas canvas(small);
    for (const std::string text : {"Hello, world ~", "caf\xc3\xa9 \xd0\x9c\xd0\xb8\xd1\x80",
                                   "tab\there", ""}) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(canvas.fitted(text) == canvas.direct({{text, small}}));
        EXPECT_EQ(canvas.extent(text), canvas.xft_extents(text, small).width);
    }
    EXPECT_EQ(canvas.surface.fallback->searches(), 0);
}

TEST(FontFallback, LongMixedLabelIsCutAtACharacterWithItsStopsInside)
{
    Canvas canvas(mono);
    const SurfaceCanvas& font = *canvas.drawing.canvas;
    std::string label;
    for (int i = 0; i < 30; ++i)
        label += chinese + " " + faces + " name ";
    for (int32_t width = 301; width <= 306; ++width) {
        SCOPED_TRACE(width);
        int32_t n = fit_text_length(font, label.c_str(), width);
        int32_t stops = ellipsis_start(label.c_str(), n);
        ASSERT_LT(stops, n);
        EXPECT_FALSE(is_utf8_continuation(label[static_cast<size_t>(stops)]));
        EXPECT_LE(font.font_height() / 2 + canvas.extent(label.substr(0, stops) + "..."), width);
        // Nothing outside the rectangle, even one lower than the glyphs.
        for (int32_t height : {canvas.h, canvas.h / 2}) {
            Pixels picture = canvas.fitted(label, width, height);
            for (int y = 0; y < picture.height; ++y) {
                for (int x = 0; x < picture.width; ++x) {
                    if (x < left || x >= left + width || y < top || y >= top + height) {
                        ASSERT_EQ(picture.at(x, y), canvas.untouched) << x << ", " << y;
                    }
                }
            }
        }
    }
}

TEST(FontFallback, InvalidUtf8DrawsEveryValidPartWithReplacements)
{
    Canvas canvas(mono);
    const std::string bad = "\xef\xbf\xbd";  // U+FFFD
    for (const auto& [text, replaced] : std::vector<std::pair<std::string, std::string>>{
             {"abc\xff" "def", "abc" + bad + "def"},
             {"x\xe4\xb8" "y", "x" + bad + bad + "y"},         // cut short
             {"\xc0\xaf" "etc", bad + bad + "etc"},            // overlong "/"
             {"\xed\xa0\x80!", bad + bad + bad + "!"},        // a surrogate
             {"\xf4\x90\x80\x80", bad + bad + bad + bad}}) {  // past U+10FFFF
        SCOPED_TRACE(replaced);
        EXPECT_TRUE(canvas.fitted(text) == canvas.fitted(replaced));
        EXPECT_EQ(canvas.extent(text), canvas.extent(replaced));
    }
}

// A page drawn, then drawn again with the input field growing as when
// typing: fontconfig is asked about each new character once, and never
// again, also about characters no font has.
TEST(FontFallback, EachCharacterIsLookedUpOnceAndRedrawsAskNothing)
{
    Canvas canvas("DejaVu Sans Mono:pixelsize=16");
    const std::vector<std::string> page = {
        "\xe5\x86\x99\xe7\x9c\x9f/\xe5\x8c\x97\xe6\xb5\xb7\xe9\x81\x93.jpg",  // 写真/北海道.jpg
        "\xf0\x9f\x8e\x89 party \xf0\x9f\x8e\x82",                            // 🎉 party 🎂
        "\xec\x84\x9c\xec\x9a\xb8 \xed\x8c\x8c\xec\x9d\xbc",                  // 서울 파일
        "in no font: \xcd\xb8 \xf4\x8f\xbf\xbd",                              // U+0378 U+10FFFD
    };
    for (const std::string& label : page)
        canvas.fitted(label);
    int32_t searches = canvas.surface.fallback->searches();
    EXPECT_GT(searches, 0);
    for (const std::string& label : page)
        for (size_t typed = 0; typed <= label.size(); ++typed)
            if (typed == label.size() || !is_utf8_continuation(label[typed]))
                canvas.fitted(label.substr(0, typed));
    EXPECT_EQ(canvas.surface.fallback->searches(), searches);
}

// A first page of symbols and emoji asks fontconfig to rank the fonts
// twice (once for colour), not once per character, and still takes each
// character from a font that has it, a colour one for an emoji.
TEST(FontFallback, OneRankingServesEveryCharacterOfAFirstPage)
{
    Canvas canvas("DejaVu Sans Mono:pixelsize=14");
    FontFallback& fallback = *canvas.surface.fallback;
    for (char32_t first : {0x26A0, 0x1F600}) {
        for (char32_t c = first; c < first + 20; ++c) {
            XftFont* font = fallback.font_for(c);
            FcBool colour = FcFalse;
            FcPatternGetBool(font->pattern, FC_COLOR, 0, &colour);
            SCOPED_TRACE(static_cast<uint32_t>(c));
            EXPECT_TRUE(XftCharExists(canvas.surface.display, font, c));
            if (c >= 0x1F600) {
                EXPECT_TRUE(colour);
            }
        }
    }
    EXPECT_GT(fallback.searches(), 20);
    EXPECT_EQ(fallback.rankings(), 2);
}

}  // namespace
