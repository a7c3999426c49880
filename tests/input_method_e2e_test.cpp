// Input method daemons end to end: real fcitx5 and ibus daemons on a private
// X server, each with a private home, the menu started with XMODIFIERS
// naming them, pinyin typed with real key events and the printed result
// read. A daemon that hangs, dies while the bar is up, or is gone leaving
// its name behind must leave the menu typing as without one.
#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
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
    // A daemon serves the method while its selection has an owner.
    bool serving(const std::string& name)
    {
        Atom server = XInternAtom(client_.display(), ("@server=" + name).c_str(), False);
        return XGetSelectionOwner(client_.display(), server) != None;
    }

    // Starts the menu with XMODIFIERS naming method, types the keys (a
    // blank as space), waits until the bar shows something new, accepts.
    std::string type_into_menu(const std::string& method, const std::string& keys,
                               const std::function<void()>& meanwhile = {})
    {
        Process::Options options;
        options.env = {"XMODIFIERS=@im=" + method};
        auto menu = start_menu(server_, {"-nb", "#000000", "-nf", "#ffffff"}, "alpha\n", options);
        Window bar = client_.wait_for_window("ravlin", "Ravlin");
        EXPECT_NE(bar, static_cast<Window>(None)) << menu->err();
        auto drawn = [](const XClient::Image& image) {
            return std::count(image.pixels.begin(), image.pixels.end(), 0xffffffu) > 10;
        };
        XClient::Image before = client_.wait_for_image(bar, drawn);
        if (meanwhile)
            meanwhile();
        for (char c : keys)
            client_.key(c == ' ' ? XK_space : static_cast<KeySym>(c));
        XClient::Image after = client_.wait_for_image(
            bar, [&](const XClient::Image& image) { return image.pixels != before.pixels; });
        EXPECT_TRUE(after.pixels != before.pixels) << "nothing typed showed";
        client_.key(XK_Return);
        EXPECT_EQ(menu->wait(), std::optional<int>(0));
        EXPECT_EQ(menu->err(), "");
        // Gone from the server too, before the next menu's bar is looked for.
        EXPECT_TRUE(wait_until([&] { return !client_.window_exists(bar); }));
        return menu->out();
    }

    XServer server_;
    XClient client_{server_.display_name()};
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

    EXPECT_EQ(type_into_menu("fcitx", "nihao "), nihao + "\n");
    // A phrase longer than one lookup's buffer of 32 bytes.
    EXPECT_EQ(type_into_menu("fcitx", "woshizhongguorenwoaibeijingtiananmen "), phrase + "\n");

    // Stopped, it holds its name but answers nothing.
    fcitx.signal(SIGSTOP);
    EXPECT_EQ(type_into_menu("fcitx", "ok"), "ok\n");
    fcitx.signal(SIGCONT);

    // Killed while the bar is up, in the middle of a word.
    EXPECT_EQ(type_into_menu("fcitx", "ab", [&] {
        client_.type("ni");
        client_.sync();
        fcitx.kill_now();
        ASSERT_TRUE(wait_until([&] { return !serving("fcitx"); }));
    }), "ab\n");

    // Gone, its name left on the root window; and a method never started.
    for (const char* method : {"fcitx", "nosuchmethod"})
        EXPECT_EQ(type_into_menu(method, "ok"), "ok\n") << method;
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

    // The engine is set again once the bar has the input context's focus.
    auto set_engine = [&] {
        ASSERT_TRUE(wait_until([&] {
            ibus_command({"ibus", "engine", "libpinyin"});
            return ibus_command({"ibus", "engine"}).out == "libpinyin\n";
        }, 20000ms)) << ibus.err();
    };
    EXPECT_EQ(type_into_menu("ibus", "nihao ", set_engine), nihao + "\n");

    EXPECT_EQ(type_into_menu("ibus", "ab", [&] {
        ibus.kill_now();
        ASSERT_TRUE(wait_until([&] { return !serving("ibus"); }));
    }), "ab\n");
}

}  // namespace
