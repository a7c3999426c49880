// The whole life of a run on a real server: messages, fonts, resources,
// windows, placement on one screen, the keyboard grab and the exit.
#include <gtest/gtest.h>

#include <X11/Xft/Xft.h>
#include <X11/keysym.h>
#include <sys/ioctl.h>

#include "harness/server_test.h"
#include "ravlin/control/settings.h"

using namespace harness;

namespace {

class Lifecycle : public ServerTest {
protected:
    void TearDown() override
    {
        // A test that left a menu behind would confuse the next one.
        for (auto& p : menus_)
            p->kill_now();
        menus_.clear();
        ASSERT_TRUE(wait_until([] { return client_->windows_by_class("", "Ravlin").empty(); }));
    }

    static Process::Options options(std::vector<std::string> env = {})
    {
        Process::Options o;
        o.env = {server_->env(), "LC_ALL=C.UTF-8"};
        o.env.insert(o.env.end(), env.begin(), env.end());
        return o;
    }

    // Starts ravlin with the given entries on standard input (closed after).
    Process& start(std::vector<std::string> args, const std::string& entries = "",
                   bool close_stdin = true, const Process::Options& o = options())
    {
        args.insert(args.begin(), RAVLIN_BIN);
        menus_.push_back(std::make_unique<Process>(args, o));
        Process& p = *menus_.back();
        p.write_stdin(entries);
        if (close_stdin)
            p.close_stdin();
        return p;
    }

    Window wait_for_bar(const std::string& instance = "ravlin", const std::string& cls = "Ravlin")
    {
        return client_->wait_for_window(instance, cls);
    }

    // Escape ends the run with status 1.
    int cancel(Process& p)
    {
        client_->key(XK_Escape);
        auto status = p.wait();
        return status.value_or(-1);
    }

    std::vector<std::unique_ptr<Process>> menus_;
};

TEST_F(Lifecycle, UsageComesBeforeAnyDisplayIsOpened)
{
    Process::Options o;
    o.unset_env = {"DISPLAY"};
    for (auto args : std::vector<std::vector<std::string>>{{"-bogus"}, {"-l"}, {"-l10"}, {"x"}}) {
        args.insert(args.begin(), RAVLIN_BIN);
        Result r = run(args, "", o);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, usage_text);
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(Lifecycle, VersionBannerGoesToStandardOutput)
{
    Process::Options o;
    o.unset_env = {"DISPLAY"};
    Result r = run({RAVLIN_BIN, "-v", "-bogus"}, "", o);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("ravlin-0.2, ", 0), 0u);
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
    EXPECT_GT(r.out.size(), 13u);
    EXPECT_EQ(r.err, "");
}

TEST_F(Lifecycle, FatalErrorsPrintTheirMessageAndExitOne)
{
    Result display = run({RAVLIN_BIN}, "a\n", [] {
        Process::Options o;
        o.env = {"DISPLAY=:32000", "LC_ALL=C.UTF-8"};
        return o;
    }());
    EXPECT_EQ(display.status, 1);
    EXPECT_EQ(display.err, "cannot open display\n");

    // The shading and underline colours are allocated even when unused.
    for (const char* option : {"-nb", "-nf", "-sb", "-sf", "-dc", "-uc"}) {
        Result color = run({RAVLIN_BIN, option, "no-such-colour"}, "a\n", options());
        EXPECT_EQ(color.status, 1) << option;
        EXPECT_EQ(color.err, "cannot allocate color 'no-such-colour'\n") << option;
    }
    // The background is allocated before the foreground.
    Result both = run({RAVLIN_BIN, "-nf", "bad-fg", "-nb", "bad-bg"}, "a\n", options());
    EXPECT_EQ(both.err, "cannot allocate color 'bad-bg'\n");

    // Xft finds some font for any name unless fontconfig knows no fonts.
    TempDir fonts;
    write_file(fonts / "fonts.conf",
               "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + fonts.path() + "</dir><cachedir>" +
                   fonts.path() + "</cachedir></fontconfig>\n");
    Result font = run({RAVLIN_BIN, "-fn", "no-such-font"}, "a\n",
                      options({"FONTCONFIG_FILE=" + fonts / "fonts.conf"}));
    EXPECT_EQ(font.status, 1);
    EXPECT_EQ(font.err, "cannot load font 'no-such-font'\n");
}

// ascent + descent + 2 of what the font name loads as.
int expected_line_height(Display* display, const std::string& name, const std::string& kind)
{
    if (kind == "core") {
        XFontStruct* f = XLoadQueryFont(display, name.c_str());
        int h = f->ascent + f->descent;
        XFreeFont(display, f);
        return h + 2;
    }
    if (kind == "set") {
        char** missing;
        int count;
        char* def;
        XFontSet set = XCreateFontSet(display, name.c_str(), &missing, &count, &def);
        XFontStruct** fonts;
        char** names;
        int n = XFontsOfFontSet(set, &fonts, &names);
        int ascent = 0, descent = 0;
        for (int i = 0; i < n; ++i) {
            ascent = std::max(ascent, static_cast<int>(fonts[i]->ascent));
            descent = std::max(descent, static_cast<int>(fonts[i]->descent));
        }
        XFreeFontSet(display, set);
        if (missing)
            XFreeStringList(missing);
        return ascent + descent + 2;
    }
    XftFont* f = XftFontOpenName(display, DefaultScreen(display), name.c_str());
    int h = f->ascent + f->descent;
    XftFontClose(display, f);
    return h + 2;
}

TEST_F(Lifecycle, EachFontMechanismGivesItsOwnLineHeight)
{
    struct Case {
        std::string name, kind;
    };
    const Case cases[] = {
        {"fixed", "core"},
        // A list of names is no core font, so it loads as a font set.
        {"-misc-fixed-medium-r-normal--13-*-*-*-*-*-iso8859-1,-misc-fixed-medium-r-normal--18-*-*-*-*-*-iso10646-1",
         "set"},
        {"DejaVu Sans Mono:size=11", "xft"},
    };
    for (const Case& c : cases) {
        int expected = expected_line_height(client_->display(), c.name, c.kind);
        Process& p = start({"-fn", c.name}, "one\ntwo\n");
        Window bar = wait_for_bar();
        ASSERT_NE(bar, None) << c.name << p.err();
        EXPECT_EQ(static_cast<int>(client_->geometry(bar).height), expected) << c.name;
        EXPECT_EQ(cancel(p), 1);
        EXPECT_EQ(p.err(), "") << c.name;
    }
}

TEST_F(Lifecycle, BarGeometryFollowsLinesHeightOffsetsAndWidth)
{
    const int line = expected_line_height(client_->display(), "fixed", "core");
    struct Case {
        std::vector<std::string> args;
        std::string entries;
        int x, y, width, height;
    };
    const Case cases[] = {
        {{}, "a\n", 0, 0, 1280, line},
        {{"-l", "3"}, "a\nb\nc\nd\ne\n", 0, 0, 1280, 4 * line},
        // Fewer entries than lines lower the list; no entries give one line.
        {{"-l", "10"}, "a\nb\nc\n", 0, 0, 1280, 4 * line},
        {{"-l", "10"}, "", 0, 0, 1280, line},
        {{"-l", "-1"}, "a\nb\n", 0, 0, 1280, 3 * line},
        {{"-h", "30"}, "a\n", 0, 0, 1280, 30},
        {{"-h", "3"}, "a\n", 0, 0, 1280, line},
        {{"-b"}, "a\n", 0, 800 - line, 1280, line},
        {{"-b", "-y", "10"}, "a\n", 0, 790 - line, 1280, line},
        {{"-x", "50", "-y", "10", "-w", "300"}, "a\n", 50, 10, 300, line},
        {{"-noinput", "-l", "3"}, "", 0, 0, 1280, 4 * line},
        // Sizes X cannot take are clamped, not wrapped.
        {{"-w", "-300"}, "a\n", 0, 0, 1, line},
        {{"-noinput", "-l", "-1"}, "", 0, 0, 1280, 1},
    };
    for (const Case& c : cases) {
        std::string label;
        for (auto& a : c.args)
            label += a + " ";
        Process& p = start(c.args, c.entries);
        Window bar = wait_for_bar();
        ASSERT_NE(bar, None) << label << p.err();
        XClient::Geometry g = client_->geometry(bar);
        EXPECT_EQ(g.x, c.x) << label;
        EXPECT_EQ(g.y, c.y) << label;
        EXPECT_EQ(static_cast<int>(g.width), c.width) << label;
        EXPECT_EQ(static_cast<int>(g.height), c.height) << label;
        EXPECT_EQ(cancel(p), 1) << label;
    }
}

TEST_F(Lifecycle, WindowsCarryClassHintsOpacityAndOverrideRedirect)
{
    struct Case {
        std::vector<std::string> args;
        uint32_t bar_opacity;
    };
    const Case cases[] = {
        {{}, 4294967295u},
        {{"-o", "1"}, 4294967295u},
        {{"-o", "0.5"}, 2147483647u},
        {{"-o", "-3"}, 0u},
        {{"-o", "7"}, 4294967295u},
        {{"-o", "0"}, 4294967295u},
    };
    for (const Case& c : cases) {
        Process& p = start(c.args, "a\n");
        Window bar = wait_for_bar();
        ASSERT_NE(bar, None) << p.err();
        EXPECT_EQ(client_->cardinal_property(bar, "_NET_WM_WINDOW_OPACITY"), c.bar_opacity);
        EXPECT_TRUE(client_->override_redirect(bar));
        EXPECT_TRUE(client_->windows_by_class("ravshade", "Ravlin").empty());
        EXPECT_EQ(cancel(p), 1);
    }
    Process& named = start({"-name", "launcher", "-class", "Menu", "-dim", "0.5"}, "a\n");
    Window bar = wait_for_bar("launcher", "Menu");
    ASSERT_NE(bar, None) << named.err();
    EXPECT_EQ(client_->wm_class(bar), std::make_pair(std::string("launcher"), std::string("Menu")));
    auto shades = client_->windows_by_class("ravshade", "Menu");
    ASSERT_EQ(shades.size(), 1u);
    EXPECT_EQ(client_->cardinal_property(shades[0], "_NET_WM_WINDOW_OPACITY"), 2147483647u);
    EXPECT_EQ(cancel(named), 1);
}

TEST_F(Lifecycle, ShadingWindowCoversTheMonitorBeneathTheBar)
{
    for (const char* dim : {"2", "0.5"}) {
        Process& p = start({"-dim", dim, "-dc", "#336699", "-w", "200"}, "a\n");
        Window bar = wait_for_bar();
        ASSERT_NE(bar, None) << p.err();
        auto shades = client_->windows_by_class("ravshade", "Ravlin");
        ASSERT_EQ(shades.size(), 1u);
        Window shade = shades[0];
        XClient::Geometry g = client_->geometry(shade);
        EXPECT_EQ(g.x, 0);
        EXPECT_EQ(g.y, 0);
        EXPECT_EQ(g.width, 1280u);
        EXPECT_EQ(g.height, 800u);
        EXPECT_TRUE(client_->override_redirect(shade));
        EXPECT_EQ(client_->cardinal_property(shade, "_NET_WM_WINDOW_OPACITY"),
                  std::string(dim) == "2" ? 4294967295u : 2147483647u);
        auto order = client_->stacking_order();
        auto shade_at = std::find(order.begin(), order.end(), shade);
        auto bar_at = std::find(order.begin(), order.end(), bar);
        EXPECT_LT(shade_at, bar_at);
        XClient::Image image = client_->wait_for_image(shade, [](const XClient::Image& i) {
            return i.at(640, 400) == 0x336699;
        });
        EXPECT_EQ(image.at(640, 400), 0x336699u);
        EXPECT_EQ(cancel(p), 1);
    }
}

TEST_F(Lifecycle, ResourcesFillWhatTheCommandLineLeftAndOpacityAlwaysWins)
{
    TempDir dir;
    write_file(dir / "resources",
               "ravlin.background: #102030\nravlin.opacity: 0.5\nravlin.font: fixed\n");
    ASSERT_EQ(run({"xrdb", "-load", dir / "resources"}, "", options()).status, 0);
    struct Cleanup {
        ~Cleanup() { run({"xrdb", "-remove"}, "", options()); }
    } cleanup;

    Process& from_resources = start({}, "a\n");
    Window bar = wait_for_bar();
    ASSERT_NE(bar, None) << from_resources.err();
    EXPECT_EQ(client_->cardinal_property(bar, "_NET_WM_WINDOW_OPACITY"), 2147483647u);
    auto image = client_->wait_for_image(bar, [](const XClient::Image& i) {
        return i.at(i.width - 1, 0) == 0x102030;
    });
    EXPECT_EQ(image.at(image.width - 1, 0), 0x102030u);
    EXPECT_EQ(cancel(from_resources), 1);

    Process& command_line = start({"-nb", "#405060", "-o", "0.9"}, "a\n");
    bar = wait_for_bar();
    ASSERT_NE(bar, None);
    EXPECT_EQ(client_->cardinal_property(bar, "_NET_WM_WINDOW_OPACITY"), 2147483647u);
    image = client_->wait_for_image(bar, [](const XClient::Image& i) {
        return i.at(i.width - 1, 0) == 0x405060;
    });
    EXPECT_EQ(image.at(image.width - 1, 0), 0x405060u);
    EXPECT_EQ(cancel(command_line), 1);
}

TEST_F(Lifecycle, KeyboardIsGrabbedWhileTheBarIsUpAndReleasedAfterEscape)
{
    Process& p = start({}, "a\n");
    Window bar = wait_for_bar();
    ASSERT_NE(bar, None);
    EXPECT_TRUE(client_->keyboard_grabbed());
    EXPECT_EQ(cancel(p), 1);
    EXPECT_EQ(p.out(), "");
    EXPECT_FALSE(client_->window_exists(bar));
    EXPECT_FALSE(client_->keyboard_grabbed());
}

TEST_F(Lifecycle, RefusedGrabFailsAfterReadingInputInTheDefaultOrderOnly)
{
    ASSERT_TRUE(client_->grab_keyboard());
    // More than a pipe holds: the write completes only if the menu reads it.
    std::string big(1 << 20, 'x');
    for (size_t i = 80; i < big.size(); i += 81)
        big[i] = '\n';

    Process& reads = start({}, "", false);
    EXPECT_TRUE(reads.write_stdin(big));
    reads.close_stdin();
    EXPECT_EQ(reads.wait(20000ms), 1);
    EXPECT_EQ(reads.err(), "cannot grab keyboard\n");

    Process& grabs_first = start({"-f"}, "", false);
    EXPECT_FALSE(grabs_first.write_stdin(big));
    EXPECT_EQ(grabs_first.wait(20000ms), 1);
    EXPECT_EQ(grabs_first.err(), "cannot grab keyboard\n");
    client_->ungrab_keyboard();
}

TEST_F(Lifecycle, GrabFirstTakesTheKeyboardBeforeInputEnds)
{
    Process& p = start({"-f"}, "a\n", false);
    EXPECT_TRUE(wait_until([&] { return client_->keyboard_grabbed(); }));
    EXPECT_TRUE(client_->windows_by_class("ravlin", "Ravlin").empty());
    p.close_stdin();
    ASSERT_NE(wait_for_bar(), None);
    EXPECT_EQ(cancel(p), 1);
}

TEST_F(Lifecycle, WithoutGrabFirstAnOpenInputKeepsTheBarAwayAndKeyboardFree)
{
    Process& p = start({}, "a\n", false);
    // Nothing to wait for: the bar must not show while input stays open.
    // Give the menu a window of time bounded by a second event it would cause.
    EXPECT_FALSE(wait_until([&] { return !client_->windows_by_class("ravlin", "Ravlin").empty(); },
                            500ms));
    EXPECT_FALSE(client_->keyboard_grabbed());
    p.close_stdin();
    ASSERT_NE(wait_for_bar(), None);
    EXPECT_EQ(cancel(p), 1);
}

TEST_F(Lifecycle, NoInputLeavesStandardInputUnread)
{
    Process& p = start({"-noinput", "-l", "3"}, "never read\n", false);
    Window bar = wait_for_bar();
    ASSERT_NE(bar, None) << p.err();
    int pending = 0;
    ASSERT_EQ(ioctl(p.stdin_fd(), FIONREAD, &pending), 0);
    EXPECT_EQ(pending, 11);
    EXPECT_EQ(cancel(p), 1);
}

TEST_F(Lifecycle, ObscuredBarRaisesItself)
{
    Process& p = start({"-w", "400"}, "a\n");
    Window bar = wait_for_bar();
    ASSERT_NE(bar, None);
    Display* d = client_->display();
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    Window cover = XCreateWindow(d, client_->root(), 0, 0, 100, 100, 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    XMapRaised(d, cover);
    client_->sync();
    EXPECT_TRUE(wait_until([&] {
        auto order = client_->stacking_order();
        return std::find(order.begin(), order.end(), bar) >
               std::find(order.begin(), order.end(), cover);
    }));
    XDestroyWindow(d, cover);
    client_->sync();
    EXPECT_EQ(cancel(p), 1);
}

}  // namespace
