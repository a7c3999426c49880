// The core stands alone: run_menu on a platform made of plain functions, a
// canvas that writes down what it is asked to draw, keys typed by the fake
// event loop, and the printed result read back. No display is involved.

#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "ravlin/base/menu_state.h"
#include "ravlin/control/key_bindings.h"
#include "ravlin/control/lifecycle.h"
#include "ravlin/control/paste.h"
#include "ravlin/control/platform.h"
#include "ravlin/drawing/canvas.h"

namespace {

std::vector<std::string> calls;

std::string text_of(const char* text, int32_t n)
{
    return std::string(text, static_cast<size_t>(n));
}

// Every byte 10 pixels wide, the font 10 high with an ascent of 8.
class RecordingCanvas final : public Canvas {
public:
    int32_t text_extent(const char*, int32_t n) const override { return 10 * n; }
    int32_t font_height() const override { return 10; }
    int32_t font_ascent() const override { return 8; }
    void fill_rect(int32_t x, int32_t y, uint32_t w, uint32_t h, Color color) override
    {
        frame.push_back("fill " + std::to_string(x) + "," + std::to_string(y) + " " +
                        std::to_string(w) + "x" + std::to_string(h) + " c" + std::to_string(color));
    }
    void draw_text(const char* text, int32_t n, int32_t x, int32_t baseline, const Rect& clip,
                   Color fg) override
    {
        frame.push_back("text '" + text_of(text, n) + "' " + std::to_string(x) + "," +
                        std::to_string(baseline) + " in " + std::to_string(clip.x) + "+" +
                        std::to_string(clip.w) + " c" + std::to_string(fg));
    }
    void present() override
    {
        last_frame = frame;
        frame.clear();
        ++presented;
    }

    std::vector<std::string> frame, last_frame;
    int presented = 0;
} canvas;

Color next_color = 0;

const Platform fake = {
    .name = "fake",
    .open = [](MenuState&) { calls.push_back("open"); return true; },
    .apply_resources = [](MenuState&, Settings&) { calls.push_back("resources"); },
    .load_font =
        [](MenuState& m, const char* name) {
            calls.push_back(std::string("font ") + name);
            m.canvas = &canvas;
            m.measurer = &canvas;
        },
    .load_colors =
        [](MenuState&, const char* fg, const char* bg) {
            calls.push_back(std::string("colors ") + fg + " " + bg);
            next_color += 2;
            return ColorPair{next_color - 2, next_color - 1};
        },
    .grab_keyboard = [](MenuState&, const Settings&) { calls.push_back("grab"); },
    .place_bar =
        [](MenuState& m, const Settings&) {
            calls.push_back("place " + std::to_string(m.bar_height));
            m.bar_width = 400;
        },
    .show_bar = [](MenuState&, Settings&) { calls.push_back("show"); },
    .request_paste =
        [](MenuState&, Selection selection) {
            calls.push_back(selection == Selection::primary ? "paste primary" : "paste clipboard");
        },
    .run_event_loop =
        [](MenuState& m, const Settings& s) {
            calls.push_back("loop");
            handle_key(m, s, {XK_b, 0, "b", 1});
            handle_key(m, s, {XK_y, key_control, "\x19", 1});
            receive_paste(m, s, "an\nthe rest", 11);
            handle_key(m, s, {XK_Return, 0, "\r", 1});
        },
    .release_keyboard = [](MenuState&, const Settings&) { calls.push_back("release"); },
    .close = [](MenuState&, const Settings&) { calls.push_back("close"); },
};

TEST(PlatformSeam, TheWholeRunGoesThroughThePlatformTable)
{
    harness::TempDir dir;
    std::string input = dir.path() + "/input", output = dir.path() + "/output";
    harness::write_file(input, "apple\nbanana\ncherry\n");

    int saved_in = dup(0), saved_out = dup(1);
    int in = open(input.c_str(), O_RDONLY);
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, 0);
    dup2(out, 1);
    char arg0[] = "ravlin", arg1[] = "-p", arg2[] = "go";
    char* argv[] = {arg0, arg1, arg2, nullptr};
    const Platform* const platforms[] = {&fake};
    int status = run_menu(3, argv, platforms);
    std::fflush(stdout);
    dup2(saved_in, 0);
    dup2(saved_out, 1);
    close(in);
    close(out);

    EXPECT_EQ(status, 0);
    EXPECT_EQ(harness::read_file(output), "banana\n");
    const std::vector<std::string> order = {
        "open", "resources", "font fixed",
        "colors #bbbbbb #222222", "colors #eeeeee #005577", "colors #000000 #000000",
        "colors #005577 #005577", "grab", "place 12", "show", "loop", "paste primary",
        "release", "close"};
    EXPECT_EQ(calls, order);

    // The first drawing, one per typed key, one for the paste; Return draws
    // nothing. The last shows "ban" after the prompt and banana selected.
    EXPECT_EQ(canvas.presented, 3);
    const std::vector<std::string> last = {
        "fill 0,0 400x12 c1",
        "fill 0,0 30x12 c3", "text 'go' 5,9 in 0+30 c2", "fill 0,12 30x0 c7",
        "fill 30,0 70x12 c1", "text 'ban' 35,9 in 30+70 c0", "fill 65,2 1x9 c0",
        "fill 120,0 70x12 c3", "text 'banana' 125,9 in 120+70 c2", "fill 120,12 70x0 c7"};
    EXPECT_EQ(canvas.last_frame, last);
}

}  // namespace
