// Text as the real program shows it on a private X server: typed with real
// key events, read back as pixels from the bar window.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "harness/server_test.h"

using namespace harness;

namespace {

constexpr uint32_t background = 0x000000, foreground = 0xffffff;

class TextEndToEnd : public ServerTest {
protected:
    void start(std::vector<std::string> args, const std::string& entries,
               Process::Options options = {})
    {
        args.insert(args.end(), {"-nb", "#000000", "-nf", "#ffffff"});
        menu_ = start_menu(*server_, args, entries, options);
        bar_ = client_->wait_for_window("ravlin", "Ravlin");
        ASSERT_NE(bar_, static_cast<Window>(None)) << menu_->err();
    }
    void stop()
    {
        menu_->kill_now();
        EXPECT_EQ(menu_->err(), "");
        ASSERT_TRUE(wait_until([&] { return !client_->window_exists(bar_); }));
    }

    std::unique_ptr<Process> menu_;
    Window bar_ = None;
};

// The cursor is the tallest run of foreground pixels in a column of the
// first line: one pixel less than the font, taller than any glyph's stem.
int cursor_x(const XClient::Image& image, int line_height)
{
    int best_x = -1, best_run = 0;
    for (int x = 0; x < image.width; ++x) {
        int run = 0;
        for (int y = 0; y < line_height; ++y) {
            run = image.at(x, y) == foreground ? run + 1 : 0;
            if (run > best_run)
                best_run = run, best_x = x;
        }
    }
    return best_x;
}

TEST_F(TextEndToEnd, CursorMovesOnByEveryTypedCharacterBlanksIncluded)
{
    start({"-noinput", "-fn", "DejaVu Sans Mono:size=11"}, "");
    int line_height = static_cast<int>(client_->geometry(bar_).height);
    std::vector<int> seen = {cursor_x(client_->wait_for_image(bar_, [&](const auto& image) {
        return cursor_x(image, line_height) >= 0;
    }), line_height)};
    // A monospaced font: every character, the accented one and the blanks
    // too, moves the cursor on by the same advance.
    for (KeySym key : {XK_a, XK_eacute, XK_space, XK_space}) {
        client_->key(key);
        XClient::Image image = client_->wait_for_image(
            bar_, [&](const auto& shown) { return cursor_x(shown, line_height) != seen.back(); });
        seen.push_back(cursor_x(image, line_height));
    }
    int advance = seen[1] - seen[0];
    EXPECT_GT(advance, 0);
    EXPECT_EQ(seen, (std::vector<int>{seen[0], seen[0] + advance, seen[0] + 2 * advance,
                                      seen[0] + 3 * advance, seen[0] + 4 * advance}));
    stop();
}

// The default font is the core font "fixed", six pixels a character.
TEST_F(TextEndToEnd, DefaultFontDrawsCharactersNotBytes)
{
    auto drawn = [](const XClient::Image& image) {
        return std::count(image.pixels.begin(), image.pixels.end(), foreground) > 20;
    };
    // ASCII looks the same whatever the locale.
    const std::string ascii = "alpha\nbeta gamma\n~/notes/README.md [x] {y}\n";
    std::vector<XClient::Image> pictures;
    for (const char* locale : {"LC_ALL=C", "LC_ALL=C.UTF-8"}) {
        Process::Options options;
        options.env = {locale};
        start({"-l", "3", "-p", "run:"}, ascii, options);
        pictures.push_back(client_->wait_for_image(bar_, drawn));
        stop();
    }
    EXPECT_TRUE(pictures[0].pixels == pictures[1].pixels);

    // Two lines alike in the same colours, but for the accents: they differ
    // only in the cells of the two accented letters, the fourth and the
    // eighth, so the letters after them stand where they belong.
    start({"-l", "2", "-sb", "#000000", "-sf", "#ffffff"},
          "cafe naive\ncaf\xc3\xa9 na\xc3\xafve\n");
    XClient::Image image = client_->wait_for_image(bar_, drawn);
    stop();
    const int line = image.height / 3, cell = 6, inset = 13 / 2;
    std::set<int> cells;
    for (int x = 0; x < image.width; ++x)
        for (int y = 0; y < line; ++y)
            if (image.at(x, line + y) != image.at(x, 2 * line + y))
                cells.insert((x - inset) / cell);
    EXPECT_EQ(cells, (std::set<int>{3, 7}));
}

// Ten thousand lines of an emoji and a name, in a font without emoji: each
// line of the first page shows its emoji in colour, beside the grey name.
TEST_F(TextEndToEnd, FirstPageOfEmojiShowsEveryOneInColour)
{
    std::string entries;
    for (int i = 0; i < 10000; ++i)  // U+1F600 to U+1F63F, the faces
        entries += "\xf0\x9f\x98" + std::string(1, static_cast<char>(0x80 + i % 64)) +
                   " face number " + std::to_string(i) + "\n";
    start({"-l", "20", "-fn", "DejaVu Sans Mono:pixelsize=14", "-sb", "#000000", "-sf",
           "#ffffff"},
          entries);
    auto coloured = [](uint32_t pixel) {
        int r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
        return std::max({r, g, b}) - std::min({r, g, b}) > 60;
    };
    // Lines with colour in their first 30 columns; none beyond them.
    auto lines_in_colour = [&](const XClient::Image& image) {
        int line = image.height / 21, lines = 0;
        for (int row = 1; row <= 20; ++row) {
            int count = 0;
            for (int y = row * line; y < (row + 1) * line; ++y)
                for (int x = 0; x < image.width; ++x)
                    count += coloured(image.at(x, y)) ? (x < 30 ? 1 : -1000) : 0;
            lines += count > 15;
        }
        return lines;
    };
    XClient::Image image = client_->wait_for_image(
        bar_, [&](const XClient::Image& shown) { return lines_in_colour(shown) == 20; });
    EXPECT_EQ(lines_in_colour(image), 20);
    stop();
}

}  // namespace
