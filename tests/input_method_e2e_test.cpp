// Input method daemons end to end: real fcitx5 and ibus daemons on a private
// X server, each with a private home, the menu started with XMODIFIERS
// naming them, pinyin typed with real key events and the printed result
// read. A daemon that hangs, dies while the bar is up, or is gone leaving
// its name behind must leave the menu typing as without one.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/harness.h"

using namespace harness;

namespace {

const std::string nihao = "\xe4\xbd\xa0\xe5\xa5\xbd";  // 你好
// 我是中国人我爱北京天安门, the first choice for its pinyin: 36 bytes
const std::string phrase =
    "\xe6\x88\x91\xe6\x98\xaf\xe4\xb8\xad\xe5\x9b\xbd\xe4\xba\xba\xe6\x88\x91"
    "\xe7\x88\xb1\xe5\x8c\x97\xe4\xba\xac\xe5\xa4\xa9\xe5\xae\x89\xe9\x97\xa8";

bool on_path(const std::string& program)
{
    return run({"sh", "-c", "command -v " + program}).status == 0;
}

// The daemon's own world: nothing of the caller's desktop.
Process::Options daemon_options(const XServer& server, const TempDir& home)
{
    Process::Options options;
    options.env = {server.env(), "HOME=" + home.path(), "LC_ALL=C.UTF-8",
                   "GSETTINGS_BACKEND=memory", "NO_AT_BRIDGE=1"};
    options.unset_env = {"DBUS_SESSION_BUS_ADDRESS", "XMODIFIERS", "GTK_IM_MODULE",
                         "QT_IM_MODULE", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"};
    options.pipe_stdin = false;
    options.own_group = true;
    return options;
}

class InputMethodEndToEnd : public ::testing::Test {
protected:
    // The daemon serves the method: its name on the root window, and an
    // owner for its selection.
    bool serving(const std::string& name, bool with_owner = true)
    {
        Display* display = client_.display();
        Atom servers = XInternAtom(display, "XIM_SERVERS", False);
        Atom server = XInternAtom(display, ("@server=" + name).c_str(), False);
        Atom type;
        int format;
        unsigned long count = 0, remaining;
        unsigned char* data = nullptr;
        bool listed = false;
        if (XGetWindowProperty(display, client_.root(), servers, 0, 64, False, XA_ATOM, &type,
                               &format, &count, &remaining, &data) == Success && data) {
            for (unsigned long i = 0; i < count; ++i)
                listed = listed || reinterpret_cast<Atom*>(data)[i] == server;
            XFree(data);
        }
        return listed && (XGetSelectionOwner(display, server) != None) == with_owner;
    }

    // Starts the menu with XMODIFIERS naming method and waits for its bar.
    void start_menu_with(const std::string& method)
    {
        Process::Options options;
        options.env = {"XMODIFIERS=@im=" + method};
        menu_ = start_menu(server_, {"-nb", "#000000", "-nf", "#ffffff"}, "alpha\n", options);
        bar_ = client_.wait_for_window("ravlin", "Ravlin");
        ASSERT_NE(bar_, static_cast<Window>(None)) << menu_->err();
        before_ = client_.wait_for_image(bar_, [](const XClient::Image& image) {
            return std::count(image.pixels.begin(), image.pixels.end(), 0xffffffu) > 10;
        });
    }
    // Types keys, waits until the bar shows something new, then Return.
    std::string type_and_accept(const std::vector<KeySym>& keys)
    {
        for (KeySym key : keys)
            client_.key(key);
        XClient::Image after = client_.wait_for_image(
            bar_, [&](const XClient::Image& image) { return image.pixels != before_.pixels; });
        EXPECT_NE(after.pixels, before_.pixels) << "the typed text never showed";
        client_.key(XK_Return);
        std::optional<int> status = menu_->wait();
        EXPECT_EQ(status, std::optional<int>(0));
        EXPECT_EQ(menu_->err(), "");
        // Gone from the server too, before the next menu's bar is looked for.
        EXPECT_TRUE(wait_until([&] { return !client_.window_exists(bar_); }));
        return menu_->out();
    }

    const std::vector<KeySym> pinyin = {XK_n, XK_i, XK_h, XK_a, XK_o, XK_space};
    XServer server_;
    XClient client_{server_.display_name()};
    std::unique_ptr<Process> menu_;
    Window bar_ = None;
    XClient::Image before_;
};

TEST_F(InputMethodEndToEnd, FcitxCommitsChineseAndAHungOrDeadDaemonLeavesPlainTyping)
{
    if (!on_path("fcitx5"))
        GTEST_SKIP() << "fcitx5 is not installed (scripts/setup installs it)";
    TempDir home;
    run({"mkdir", "-p", home / ".config/fcitx5"});
    write_file(home / ".config/fcitx5/profile",
               "[Groups/0]\nName=Default\nDefault Layout=us\nDefaultIM=pinyin\n\n"
               "[Groups/0/Items/0]\nName=keyboard-us\nLayout=\n\n"
               "[Groups/0/Items/1]\nName=pinyin\nLayout=\n\n[GroupOrder]\n0=Default\n");
    write_file(home / ".config/fcitx5/config",
               "[Behavior]\nActiveByDefault=True\nShareInputState=All\n");
    Process fcitx({"fcitx5", "--disable=dbus,notificationitem,kimpanel,cloudpinyin,wayland,"
                             "waylandim"},
                  daemon_options(server_, home));
    ASSERT_TRUE(wait_until(
        [&] {
            return serving("fcitx") &&
                   fcitx.err().find("Loaded addon pinyin") != std::string::npos;
        },
        30000ms))
        << fcitx.err();

    start_menu_with("fcitx");
    EXPECT_EQ(type_and_accept(pinyin), nihao + "\n");
    // A phrase longer than one lookup's buffer of 32 bytes.
    start_menu_with("fcitx");
    std::vector<KeySym> sentence;
    for (char c : std::string("woshizhongguorenwoaibeijingtiananmen"))
        sentence.push_back(static_cast<KeySym>(c));
    sentence.push_back(XK_space);
    EXPECT_EQ(type_and_accept(sentence), phrase + "\n");

    // Stopped, it holds its name but answers nothing.
    fcitx.signal(SIGSTOP);
    start_menu_with("fcitx");
    EXPECT_EQ(type_and_accept({XK_o, XK_k}), "ok\n");
    fcitx.signal(SIGCONT);

    // Killed while the bar is up, in the middle of a word.
    start_menu_with("fcitx");
    client_.key(XK_n);
    client_.key(XK_i);
    client_.sync();
    fcitx.kill_now();
    ASSERT_TRUE(wait_until([&] { return serving("fcitx", false); }));
    EXPECT_EQ(type_and_accept({XK_a, XK_b}), "ab\n");

    // Gone, its name left on the root window; and a method never started.
    for (const char* method : {"fcitx", "nosuchmethod"}) {
        start_menu_with(method);
        EXPECT_EQ(type_and_accept({XK_o, XK_k}), "ok\n") << method;
    }
}

TEST_F(InputMethodEndToEnd, IbusCommitsChineseAndADeadDaemonLeavesPlainTyping)
{
    if (!on_path("ibus-daemon") || !on_path("dbus-daemon"))
        GTEST_SKIP() << "ibus or dbus is not installed (scripts/setup installs them)";
    TempDir home;
    // A session bus of its own.
    Process bus({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address"},
                daemon_options(server_, home));
    ASSERT_TRUE(wait_until([&] { return bus.out().find('\n') != std::string::npos; }))
        << bus.err();
    Process::Options options = daemon_options(server_, home);
    options.env.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus.out().substr(0, bus.out().find('\n')));
    Process ibus({"ibus-daemon", "--xim", "--panel=disable", "--emoji-extension=disable", "-r"},
                 options);
    ASSERT_TRUE(wait_until([&] { return serving("ibus"); }, 30000ms)) << ibus.err();
    auto ibus_command = [&](const std::vector<std::string>& argv) {
        Process::Options command = options;
        command.own_group = false;
        return run(argv, "", command);
    };

    start_menu_with("ibus");
    // The engine is set again once the bar has the input context's focus.
    ASSERT_TRUE(wait_until([&] {
        ibus_command({"ibus", "engine", "libpinyin"});
        return ibus_command({"ibus", "engine"}).out == "libpinyin\n";
    }, 20000ms)) << ibus.err();
    EXPECT_EQ(type_and_accept(pinyin), nihao + "\n");

    start_menu_with("ibus");
    ibus.kill_now();
    ASSERT_TRUE(wait_until([&] { return serving("ibus", false); }));
    EXPECT_EQ(type_and_accept({XK_a, XK_b}), "ab\n");
}

}  // namespace
