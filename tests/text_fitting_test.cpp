// The fitting rule of paint_text_fitted: the pure rule on fake fonts, the
// fast search against the plain walk on fake and real fonts, and what the
// canvas receives.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ravlin/drawing/text_fitting.h"
#include "surface_fixture.h"

namespace {

bool starts_character(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

// Every character has a width of its own (by default 10 per byte) and the
// font is 10 high, so text is inset by 5. Counts its measurements.
class FakeFont final : public TextMeasurer {
public:
    explicit FakeFont(std::vector<int32_t> widths = {}) : widths_(std::move(widths)) {}
    int32_t text_extent(const char* text, int32_t n) const override
    {
        ++measurements;
        int32_t width = 0, character = 0;
        for (int32_t i = 0; i < n; ++i) {
            if (!starts_character(text[i]) && i > 0)
                continue;
            width += widths_.empty() ? 10 * byte_length(text + i) : widths_.at(character);
            ++character;
        }
        return width;
    }
    int32_t font_height() const override { return 10; }
    mutable int measurements = 0;

private:
    static int32_t byte_length(const char* character)
    {
        int32_t n = 1;
        while (character[n] && !starts_character(character[n]))
            ++n;
        return n;
    }
    std::vector<int32_t> widths_;
};

// What paint_text_fitted would draw: the bytes of the copy, or "<nothing>"
// when not even the background is painted.
std::string drawn(const TextMeasurer& font, const std::string& text, int32_t width)
{
    int32_t n = fit_text_length(font, text.c_str(), width);
    if (n < 0)
        return "<nothing>";
    int32_t stops = ellipsis_start(text.c_str(), n);
    return stops < n ? text.substr(0, static_cast<size_t>(stops)) + "..."
                     : text.substr(0, static_cast<size_t>(n));
}

TEST(TextFitting, CutsAsciiTextWhereTheRectangleEnds)
{
    FakeFont font;  // a rectangle of 5 + 10 * k pixels holds k bytes
    EXPECT_EQ(drawn(font, "abcdef", 65), "abcdef");  // exact fit: whole, no stops
    EXPECT_EQ(drawn(font, "abcdef", 64), "ab...");
    EXPECT_EQ(drawn(font, "abcdef", 45), "a...");  // six bytes into four
    EXPECT_EQ(drawn(font, "abcdef", 35), "...");
    EXPECT_EQ(drawn(font, "abcdef", 25), "ab");  // one or two bytes: no stops
    EXPECT_EQ(drawn(font, "abcdef", 15), "a");
    EXPECT_EQ(drawn(font, "abcdef", 5), "");  // background only
    EXPECT_EQ(drawn(font, "abcdef", 4), "<nothing>");
    EXPECT_EQ(drawn(font, "abcdef", -100), "<nothing>");
    EXPECT_EQ(drawn(font, "", 5), "");
    EXPECT_EQ(drawn(font, "", 4), "<nothing>");
}

TEST(TextFitting, NeverDrawsMoreThan1024Bytes)
{
    FakeFont font;
    std::string long_text(2000, 'x');
    EXPECT_EQ(drawn(font, long_text, 1000000), std::string(1021, 'x') + "...");
    std::string exact(1024, 'x');
    EXPECT_EQ(drawn(font, exact, 1000000), exact);
    // The limit falls inside a two-byte character: the cut goes before it.
    std::string accents = "a";
    for (int i = 0; i < 600; ++i)
        accents += "\xc3\xa9";
    EXPECT_EQ(fit_text_length(font, accents.c_str(), 1000000), 1023);
    EXPECT_EQ(drawn(font, accents, 1000000), accents.substr(0, 1017) + "...");
}

TEST(TextFitting, NeverCutsInsideAUtf8Character)
{
    FakeFont font;  // 10 pixels per byte, so a character is as wide as its bytes
    const std::string text = "a\xc3\xa9\xe6\xbc\xa2\xf0\x9f\x98\x80z";  // a é 漢 😀 z
    EXPECT_EQ(fit_text_length(font, text.c_str(), 5 + 10 * 11), 11);
    EXPECT_EQ(fit_text_length(font, text.c_str(), 5 + 10 * 10), 10);
    EXPECT_EQ(fit_text_length(font, text.c_str(), 5 + 10 * 9), 6);
    EXPECT_EQ(fit_text_length(font, text.c_str(), 5 + 10 * 5), 3);
    EXPECT_EQ(fit_text_length(font, text.c_str(), 5 + 10 * 2), 1);
    EXPECT_EQ(fit_text_length(font, text.c_str(), 5 + 10 * 1), 1);
    EXPECT_EQ(fit_text_length(font, text.c_str(), 5), 0);
    EXPECT_EQ(fit_text_length_walk(font, text.c_str(), 5 + 10 * 9), 6);
}

TEST(TextFitting, StopsReplaceTheLastThreeWholeCharacters)
{
    const std::string e = "\xc3\xa9";
    FakeFont font(std::vector<int32_t>(20, 10));  // every character 10 wide
    std::string text = e + e + e + e + e + e;
    EXPECT_EQ(drawn(font, text, 5 + 60), text);
    EXPECT_EQ(drawn(font, text, 5 + 50), e + e + "...");
    EXPECT_EQ(drawn(font, text, 5 + 30), "...");
    EXPECT_EQ(drawn(font, text, 5 + 20), e + e);  // two characters: no stops
    EXPECT_EQ(drawn(font, "x" + e + "y" + e + "z", 5 + 40), "x...");
    // Stray continuation bytes belong to the character before them.
    EXPECT_EQ(ellipsis_start("\x80\x80" "abcd", 5), 2);
    EXPECT_EQ(ellipsis_start("a\x80\x80" "bcd", 5), 0);
}

// A text of random characters of one to four bytes.
std::string random_text(std::mt19937& random, int characters)
{
    static const char* const pieces[] = {"a", "W", " ", "i", "\xc3\xa9", "\xc3\x9f",
                                         "\xcc\x81", "\xe6\xbc\xa2", "\xe2\x80\xa6",
                                         "\xf0\x9f\x98\x80", "f", ".", "\t"};
    std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
    std::string text;
    for (int i = 0; i < characters; ++i)
        text += pieces[pick(random)];
    return text;
}

// Where the character with the given index starts.
int32_t byte_offset(const std::string& text, int characters)
{
    int32_t i = 0;
    for (; i < static_cast<int32_t>(text.size()); ++i)
        if (starts_character(text[static_cast<size_t>(i)]) && characters-- == 0)
            break;
    return i;
}

int count_characters(const std::string& text)
{
    int n = 0;
    for (char byte : text)
        n += starts_character(byte);
    return n;
}

TEST(TextFitting, SearchEqualsWalkOnEveryLengthAndWidth)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> glyph(0, 12);
    for (int characters = 0; characters <= 48; ++characters) {
        for (int round = 0; round < 4; ++round) {
            std::string text = random_text(random, characters);
            std::vector<int32_t> widths;
            int32_t total = 0;
            for (int i = 0; i < characters; ++i)
                total += widths.emplace_back(glyph(random));
            FakeFont font(widths);
            for (int32_t width = -2; width <= total + 8; ++width) {
                font.measurements = 0;
                int32_t fast = fit_text_length(font, text.c_str(), width);
                int32_t measured = font.measurements;
                ASSERT_EQ(fast, fit_text_length_walk(font, text.c_str(), width))
                    << "text '" << text << "' width " << width;
                EXPECT_LE(measured, 2 + std::ceil(std::log2(characters + 1)));
            }
        }
    }
}

TEST(TextFitting, AsciiTextIsCutWhereTheByteWalkCutsIt)
{
    // Measuring every byte prefix from the longest down, as without the
    // character rule, gives the same prefix on ASCII text.
    std::mt19937 random(11);
    std::uniform_int_distribution<int32_t> glyph(1, 12);
    std::uniform_int_distribution<int> letter('!', '~');
    for (int length = 0; length <= 40; ++length) {
        std::string text;
        std::vector<int32_t> widths;
        for (int i = 0; i < length; ++i) {
            text += static_cast<char>(letter(random));
            widths.push_back(glyph(random));
        }
        FakeFont font(widths);
        for (int32_t width = 0; width <= 12 * length + 8; ++width) {
            int32_t n = length;
            while (n >= 0 && 5 + font.text_extent(text.c_str(), n) > width)
                --n;
            ASSERT_EQ(fit_text_length(font, text.c_str(), width), n);
        }
    }
}

// Widths that shrink as the text grows: the search must notice and walk.
class ShrinkingFont final : public TextMeasurer {
public:
    int32_t text_extent(const char*, int32_t n) const override
    {
        return n <= 10 ? 10 * n : 200 - 10 * (n - 10);
    }
    int32_t font_height() const override { return 0; }
};

TEST(TextFitting, WidthsOutOfOrderFallBackToTheWalk)
{
    ShrinkingFont font;
    std::string text(20, 'x');  // widths 0, 10 ... 100, 190, 180 ... 100
    for (int32_t width = 0; width <= 210; ++width)
        ASSERT_EQ(fit_text_length(font, text.c_str(), width),
                  fit_text_length_walk(font, text.c_str(), width))
            << "width " << width;
}

// Real fonts through the surface: random texts and widths, many of them at
// the exact width of some prefix, where the strict comparison matters.
void expect_search_equals_walk_on(const char* font_name, unsigned seed)
{
    SCOPED_TRACE(font_name);
    surface_fixture::Drawing& drawing = surface_fixture::Drawing::with_font(font_name);
    const LoadedFont& loaded = drawing.surface->font;
    ASSERT_EQ(loaded.core_font != nullptr, font_name == surface_fixture::core_font);
    ASSERT_EQ(loaded.font_set != nullptr, font_name == surface_fixture::font_set);
    const SurfaceCanvas& font = *drawing.canvas;
    int32_t inset = font.font_height() / 2;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> short_length(0, 120), long_length(300, 700);
    for (int round = 0; round < 240; ++round) {
        std::string text = random_text(random, round % 12 ? short_length(random)
                                                          : long_length(random));
        int32_t full = font.text_extent(text.c_str(), static_cast<int32_t>(text.size()));
        std::uniform_int_distribution<int32_t> any_width(-3, full + inset + 10);
        std::uniform_int_distribution<size_t> any_cut(0, text.size());
        for (int trial = 0; trial < 6; ++trial) {
            int32_t width = any_width(random);
            if (trial % 2) {
                size_t cut = any_cut(random);
                while (cut > 0 && !starts_character(text[cut]))
                    --cut;
                width = inset + font.text_extent(text.c_str(), static_cast<int32_t>(cut)) +
                        trial % 3 - 1;
            }
            ASSERT_EQ(fit_text_length(font, text.c_str(), width),
                      fit_text_length_walk(font, text.c_str(), width))
                << "text '" << text << "' (" << count_characters(text) << " characters) width "
                << width;
        }
    }
}

TEST(TextFitting, SearchEqualsWalkOnRealFonts)
{
    expect_search_equals_walk_on(surface_fixture::core_font, 1);
    expect_search_equals_walk_on(surface_fixture::font_set, 2);
    expect_search_equals_walk_on(surface_fixture::xft_font, 3);
    expect_search_equals_walk_on(surface_fixture::xft_smooth_font, 4);
}

// paint_text_fitted paints the fitted copy on the pair's background, the
// same pixels as a fill and paint_text_run of what the rule says.
TEST(TextFitting, CanvasShowsTheFittedCopyOnItsBackground)
{
    for (const char* font_name : {surface_fixture::core_font, surface_fixture::xft_font,
                                  surface_fixture::xft_smooth_font}) {
        SCOPED_TRACE(font_name);
        surface_fixture::Drawing& drawing = surface_fixture::Drawing::with_font(font_name);
        const SurfaceCanvas& font = *drawing.canvas;
        XColorPair& pair = drawing.pair("#ffff00", "#0000c0");
        unsigned long untouched = drawing.pixel("#102030");
        const int32_t h = font.font_height() + 4;
        const std::string accents = "d\xc3\xa9j\xc3\xa0 vu \xc3\xa9t\xc3\xa9";
        for (const std::string& text : {std::string("abcdefghijkl"), accents}) {
            for (int32_t keep : {0, 1, 2, 3, 5}) {
                int32_t width = font.font_height() / 2 +
                                font.text_extent(text.c_str(), byte_offset(text, keep));
                std::string expected = drawn(font, text, width);
                SCOPED_TRACE("'" + text + "' in " + std::to_string(width) + " shows '" +
                             expected + "'");
                drawing.fill(-drawing.cell.x, -drawing.cell.y, 600, 200, untouched);
                drawing.at(20, 10, width, h);
                drawing.fitted(text.c_str(), pair);
                surface_fixture::Pixels actual = drawing.read(0, 0, 300, 60);

                drawing.fill(-drawing.cell.x, -drawing.cell.y, 600, 200, untouched);
                drawing.at(20, 10, width, h);
                drawing.fill(0, 0, static_cast<uint32_t>(width), static_cast<uint32_t>(h), pair.bg);
                drawing.run(expected.data(), static_cast<int32_t>(expected.size()), pair);
                EXPECT_TRUE(actual == drawing.read(0, 0, 300, 60));
                EXPECT_EQ(actual.at(20, 10), pair.bg);
            }
        }
        // Narrower than half the font height: not even the background.
        drawing.fill(-drawing.cell.x, -drawing.cell.y, 600, 200, untouched);
        drawing.at(20, 10, font.font_height() / 2 - 1, h);
        drawing.fitted("", pair);
        surface_fixture::Pixels after = drawing.read(0, 0, 60, 40);
        for (unsigned long value : after.values)
            ASSERT_EQ(value, untouched);
    }
}

// Text starts half a font height into its rectangle, on the baseline at
// ascent + (h - height) / 2 with the half truncated toward zero. The
// expected picture is drawn here with Xlib and Xft directly.
TEST(TextFitting, TextSitsHalfAFontHeightInOnItsBaseline)
{
    for (const char* font_name : {surface_fixture::core_font, surface_fixture::xft_font}) {
        SCOPED_TRACE(font_name);
        surface_fixture::Drawing& drawing = surface_fixture::Drawing::with_font(font_name);
        Surface& surface = *drawing.surface;
        const LoadedFont& font = surface.font;
        XColorPair& pair = drawing.pair("#ffff00", "#0000c0");
        unsigned long untouched = drawing.pixel("#102030");
        for (int32_t h : {font.height + 2, font.height, font.height - 1}) {
            SCOPED_TRACE("h " + std::to_string(h));
            int32_t baseline = 10 + font.ascent + (h - font.height) / 2;
            if (h == font.height + 2) {
                ASSERT_EQ(baseline, 10 + font.ascent + 1);
            } else if (h == font.height - 1) {
                ASSERT_EQ(baseline, 10 + font.ascent);
            }
            drawing.fill(-drawing.cell.x, -drawing.cell.y, 600, 200, untouched);
            drawing.at(20, 10, 100, h);
            drawing.fitted("Hg|", pair);
            surface_fixture::Pixels actual = drawing.read(0, 0, 200, 60);

            drawing.fill(-drawing.cell.x, -drawing.cell.y, 600, 200, untouched);
            drawing.at(0, 0, 600, 200);
            drawing.fill(20, 10, 100, static_cast<uint32_t>(h), pair.bg);
            int x = 20 + font.height / 2;
            if (font.xft_font) {
                XftDrawStringUtf8(surface.xft_draw, &pair.fg_xft, font.xft_font, x, baseline,
                                  reinterpret_cast<const FcChar8*>("Hg|"), 3);
            } else {
                XSetForeground(surface.display, surface.gc, pair.fg);
                XSetFont(surface.display, surface.gc, font.core_font->fid);
                XDrawString(surface.display, surface.canvas, surface.gc, x, baseline, "Hg|", 3);
            }
            EXPECT_TRUE(actual == drawing.read(0, 0, 200, 60));
        }
    }
}

}  // namespace
