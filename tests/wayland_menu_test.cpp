// The menu on a real compositor: headless sway, keys through a virtual
// keyboard, pixels through grim.

#include <gtest/gtest.h>
#include <sys/stat.h>
// After gtest, whose names Xlib's macros would take.
#include <X11/keysym.h>

#include <cstdlib>
#include <fstream>

#include "harness/harness.h"
#include "harness/sway.h"
#include "ravlin/wayland/font_name.h"
#include "ravlin/wayland/pixman_canvas.h"

namespace {

using namespace harness;
using Image = XClient::Image;

struct Box {
    int x, y, width, height;
    bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& b)
{
    return out << b.width << "x" << b.height << "+" << b.x << "+" << b.y;
}

// The rectangle of the pixels of one colour.
Box box_of(const Image& image, uint32_t colour)
{
    int left = image.width, top = image.height, right = -1, bottom = -1;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.at(x, y) == colour) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    return right < 0 ? Box{0, 0, 0, 0} : Box{left, top, right - left + 1, bottom - top + 1};
}

int count_of(const Image& image, uint32_t colour)
{
    return static_cast<int>(std::count(image.pixels.begin(), image.pixels.end(), colour));
}

bool near(uint32_t pixel, uint32_t expected)
{
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((pixel >> shift) & 0xff) -
                     static_cast<int>((expected >> shift) & 0xff)) > 2)
            return false;
    return true;
}

// The line height of the default font, as the menu works it out.
int line_height()
{
    return PixmanCanvas::open(fontconfig_name("fixed"))->font_height() + 2;
}

constexpr uint32_t bar_colour = 0x123456;
const std::vector<std::string> colours = {"-nb", "#123456", "-nf", "#00ff00",
                                          "-sb", "#a1b2c3", "-sf", "#ff00ff"};

class WaylandMenu : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (Sway::unavailable())
            return;
        Sway::Options options;
        options.second_output = true;
        options.config = {"input type:keyboard repeat_delay 150",
                          "input type:keyboard repeat_rate 40"};
        sway_ = new Sway(options);
    }
    static void TearDownTestSuite()
    {
        delete sway_;
        sway_ = nullptr;
    }
    void SetUp() override
    {
        if (auto reason = Sway::unavailable())
            GTEST_SKIP() << *reason;
    }

    // Starts the menu and waits until its bar shows.
    std::unique_ptr<Process> show(std::vector<std::string> args, const std::string& entries,
                                  const std::vector<std::string>& env = {})
    {
        args.insert(args.end(), colours.begin(), colours.end());
        auto menu = sway_->start_menu(args, entries, env);
        Image shown = sway_->wait_for_screenshot(
            [&](const Image& image) { return count_of(image, bar_colour) > 0 || !menu->running(); });
        EXPECT_GT(count_of(shown, bar_colour), 0) << menu->err();
        return menu;
    }

    static inline Sway* sway_ = nullptr;
};

TEST_F(WaylandMenu, BarIsPlacedAndSizedAsAskedInItsColours)
{
    const int h = line_height();
    struct Case {
        std::vector<std::string> args;
        std::string entries;
        Box expected;
    };
    const Case cases[] = {
        {{}, "one\ntwo\n", {0, 0, 1280, h}},
        {{"-b", "-y", "10"}, "one\n", {0, 720 - 10 - h, 1280, h}},
        {{"-w", "300", "-x", "50", "-y", "20"}, "one\n", {50, 20, 300, h}},
        {{"-l", "3"}, "a\nb\nc\nd\ne\n", {0, 0, 1280, 4 * h}},
        {{"-l", "10"}, "a\nb\nc\n", {0, 0, 1280, 4 * h}},
        {{"-h", "40"}, "one\n", {0, 0, 1280, 40}},
        {{"-s", "1"}, "one\n", {1280, 0, 1920, h}},
        {{"-s", "1", "-b"}, "one\n", {1280, 1080 - h, 1920, h}},
    };
    for (const Case& c : cases) {
        auto menu = show(c.args, c.entries);
        Image image = sway_->wait_for_screenshot(
            [&](const Image& i) { return box_of(i, bar_colour) == c.expected; }, 5000ms);
        EXPECT_EQ(box_of(image, bar_colour), c.expected) << ::testing::PrintToString(c.args);
        // The selected entry in the selected colours, text in its colours.
        EXPECT_GT(count_of(image, 0xa1b2c3), 0);
        EXPECT_GT(count_of(image, 0x00ff00) + count_of(image, 0xff00ff), 0);
        sway_->wtype({"-k", "Escape"});
        EXPECT_EQ(menu->wait(), 1);
    }
}

TEST_F(WaylandMenu, TypingNarrowsReturnPrintsEscapeCancels)
{
    auto menu = show({}, "apple\nbanana\ncherry\n");
    sway_->wtype({"an"});
    sway_->wtype({"-k", "Return"});
    EXPECT_EQ(menu->wait(), 0);
    EXPECT_EQ(menu->out(), "banana\n");

    menu = show({"-l", "3"}, "apple\nbanana\n");
    sway_->wtype({"-M", "shift", "-k", "Return", "-m", "shift"});
    EXPECT_EQ(menu->wait(), 0);
    EXPECT_EQ(menu->out(), "\n");

    menu = show({}, "apple\n");
    sway_->wtype({"ap", "-k", "Escape"});
    EXPECT_EQ(menu->wait(), 1);
    EXPECT_EQ(menu->out(), "");
    EXPECT_EQ(menu->err(), "");
}

TEST_F(WaylandMenu, GrabFirstKeepsTheKeysTypedWhileEntriesAreRead)
{
    std::vector<std::string> args = {"-f"};
    args.insert(args.end(), colours.begin(), colours.end());
    auto menu = sway_->start_menu(args, "apple\n", {}, true);
    // The bar is up, one line high, before standard input has ended.
    sway_->wait_for_screenshot([](const Image& i) { return count_of(i, bar_colour) > 0; });
    sway_->wtype({"ban", "-k", "Return"});
    menu->write_stdin("banana\ncherry\n");
    menu->close_stdin();
    EXPECT_EQ(menu->wait(), 0);
    EXPECT_EQ(menu->out(), "banana\n");
}

TEST_F(WaylandMenu, ControlYPastesPrimaryAndWithShiftTheClipboard)
{
    auto primary = sway_->start({"wl-copy", "--foreground", "--primary", "one\ntwo"});
    auto clipboard = sway_->start({"wl-copy", "--foreground", "clip"});
    ASSERT_TRUE(wait_until([&] { return sway_->run({"wl-paste", "--primary"}).out == "one\ntwo\n" &&
                                        sway_->run({"wl-paste"}).out == "clip\n"; }));
    auto menu = show({}, "");
    // The text arrives later; the next key waits until it is drawn (the
    // cursor alone has the foreground colour before).
    int cursor = count_of(sway_->screenshot(), 0x00ff00), ink = 0;
    sway_->wtype({"-M", "ctrl", "y", "-m", "ctrl"});
    ASSERT_TRUE(wait_until([&] { return (ink = count_of(sway_->screenshot(), 0x00ff00)) > cursor + 3; }));
    sway_->wtype({"-M", "ctrl", "-M", "shift", "y", "-m", "shift", "-m", "ctrl"});
    ASSERT_TRUE(wait_until([&] { return count_of(sway_->screenshot(), 0x00ff00) > ink + 3; }));
    sway_->wtype({"-k", "Return"});
    EXPECT_EQ(menu->wait(), 0);
    EXPECT_EQ(menu->out(), "oneclip\n");
}

TEST_F(WaylandMenu, HeldKeyRepeatsAtTheCompositorsRate)
{
    auto menu = show({}, "");
    // Held for 600 ms: after the 150 ms delay, 40 a second.
    sway_->wtype({"-P", "a", "-s", "600", "-p", "a", "-k", "Return"});
    EXPECT_EQ(menu->wait(), 0);
    std::string out = menu->out();
    EXPECT_GE(out.size(), 10u) << out;
    EXPECT_EQ(out, std::string(out.size() - 1, 'a') + "\n");
}

TEST_F(WaylandMenu, ShadeAndOpacityBlendWithWhatIsBeneath)
{
    std::vector<std::string> args = {"-dim", "0.5", "-dc", "#ff0000", "-o", "0.5", "-w", "400",
                                     "-noinput"};
    args.insert(args.end(), colours.begin(), colours.end());
    auto menu = sway_->start_menu(args, "");
    // Half red over the #3f3f3f background, and the bar half #123456 over that.
    const uint32_t shaded = 0x9f1f1f, bar = 0x58293a;
    Image image = sway_->wait_for_screenshot([&](const Image& i) {
        return near(i.at(300, 2), bar) && near(i.at(640, 400), shaded);
    });
    EXPECT_TRUE(near(image.at(300, 2), bar)) << std::hex << image.at(300, 2);
    EXPECT_TRUE(near(image.at(640, 400), shaded)) << std::hex << image.at(640, 400);
    EXPECT_TRUE(near(image.at(500, 2), shaded)) << std::hex << image.at(500, 2);
    // The other output is not shaded.
    EXPECT_EQ(image.at(2000, 500), 0x3f3f3fu);
    sway_->wtype({"-k", "Escape"});
    EXPECT_EQ(menu->wait(), 1);
}

TEST_F(WaylandMenu, RavlinRunStartsTheChosenCommand)
{
    std::string marker = sway_->runtime_dir() + "/started";
    std::string program = sway_->bin_dir() + "/zz-mark";
    write_file(program, "#!/bin/sh\necho \"$@\" > " + marker + "\n");
    chmod(program.c_str(), 0755);
    std::vector<std::string> args = {sway_->bin_dir() + "/ravlin-run"};
    args.insert(args.end(), colours.begin(), colours.end());
    auto launcher = sway_->start(args);
    sway_->wait_for_screenshot([](const Image& i) { return count_of(i, bar_colour) > 0; });
    sway_->wtype({"zz-mark  one", "-k", "Return"});
    EXPECT_TRUE(wait_until([&] { return read_file(marker) == "one\n"; }));
    EXPECT_EQ(launcher->wait(), 0);
}

TEST(WaylandHiDpi, BarIsDrawnAtTheOutputsScale)
{
    if (auto reason = Sway::unavailable())
        GTEST_SKIP() << *reason;
    Sway sway({{"output HEADLESS-1 scale 2"}});
    std::vector<std::string> args = colours;
    auto menu = sway.start_menu(args, "one\n");
    const int h = line_height();
    Image image = sway.wait_for_screenshot(
        [&](const Image& i) { return box_of(i, bar_colour).height == 2 * h; });
    // 640 by 360 surface pixels, twice as many in the picture.
    EXPECT_EQ(image.width, 1280);
    EXPECT_EQ(box_of(image, bar_colour), (Box{0, 0, 1280, 2 * h}));
    sway.wtype({"-k", "Escape"});
    EXPECT_EQ(menu->wait(), 1);
}

// Where Wayland cannot be had, the same command runs on X11.
TEST(WaylandFallback, UnusableCompositorFallsBackToX11WithoutMappingWayland)
{
    XServer server;
    XClient client(server.display_name());
    TempDir runtime;
    for (bool wayland_set : {false, true}) {
        Process::Options options;
        if (wayland_set)
            options.env = {"WAYLAND_DISPLAY=wayland-absent", "XDG_RUNTIME_DIR=" + runtime.path()};
        else
            options.unset_env = {"WAYLAND_DISPLAY"};
        auto menu = start_menu(server, {}, "one\n", options);
        ASSERT_NE(client.wait_for_window("ravlin", "Ravlin"), 0u) << menu->err();
        if (!wayland_set) {
            std::string maps = read_file("/proc/" + std::to_string(menu->pid()) + "/maps");
            for (const char* library : {"libwayland", "libxkbcommon", "libfcft", "libpixman",
                                        "ravlin-wayland"})
                EXPECT_EQ(maps.find(library), std::string::npos) << library;
        }
        client.key(XK_Escape);
        EXPECT_EQ(menu->wait(), 1);
        EXPECT_EQ(menu->err(), "");
    }
    Process::Options neither;
    neither.env = {"WAYLAND_DISPLAY=wayland-absent", "XDG_RUNTIME_DIR=" + runtime.path()};
    neither.unset_env = {"DISPLAY"};
    Result r = run({RAVLIN_BIN}, "", neither);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "cannot open display\n");
}

}  // namespace
