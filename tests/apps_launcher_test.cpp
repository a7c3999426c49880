// ravlin-apps end to end: desktop entries in scratch XDG directories, the
// list offered to a recording stand-in for the menu, and the real menu on a
// private X server starting the chosen entry.
#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "harness/server_test.h"
#include "launcher_fixture.h"

using namespace harness;
using namespace launcher_fixture;

namespace {

using Strings = std::vector<std::string>;

class AppsLauncher : public ServerTest {
protected:
    void SetUp() override
    {
        for (const char* sub : {"bin", "home", "home/applications", "home/applications/kde", "sys1",
                                "sys1/applications", "sys2", "sys2/applications", "work"})
            mkdir((dir_ / sub).c_str(), 0755);
        symlink(RAVLIN_BIN, (dir_ / "bin/ravlin").c_str());
        write_marking_program(dir_ / "bin/mark-app");
    }
    void TearDown() override { stop_marked(dir_ / "mark"); }

    void entry(const std::string& path, const std::string& keys)
    {
        write_file(dir_ / path, "[Desktop Entry]\nType=Application\n" + keys);
    }

    std::unique_ptr<Process> start(const Strings& env, const Strings& args = {},
                                   const std::vector<int>& closed_fds = {})
    {
        Process::Options options;
        options.closed_fds = closed_fds;
        options.env = {server_->env(),
                       "PATH=" + dir_ / "bin" + ":/usr/bin:/bin",
                       "HOME=" + dir_ / "home",
                       "XDG_DATA_HOME=" + dir_ / "home",
                       "XDG_DATA_DIRS=" + dir_ / "sys1" + ":" + dir_ / "sys2",
                       "XDG_STATE_HOME=" + dir_ / "state",
                       "MARK=" + dir_ / "mark"};
        options.unset_env = {"LC_ALL", "LC_MESSAGES", "LANG", "XDG_CURRENT_DESKTOP", "TERMINAL"};
        options.env.insert(options.env.end(), env.begin(), env.end());
        options.pipe_stdin = false;
        Strings argv = {RAVLIN_APPS_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<Process>(argv, options);
    }

    Strings offered() { return lines_of(read_file(dir_ / "bin/menu-input")); }

    TempDir dir_;
};

TEST_F(AppsLauncher, OffersTheEntriesThatShowByPrecedenceInTheUsersLanguage)
{
    unlink((dir_ / "bin/ravlin").c_str());
    write_recording_menu(dir_ / "bin");
    entry("home/applications/viewer.desktop", "Name=Viewer\nName[de]=Betrachter\nExec=viewer\n");
    entry("home/applications/masked.desktop", "Name=Masked\nExec=masked\nHidden=true\n");
    entry("home/applications/kde/editor.desktop", "Name=Editor\nExec=editor\n");
    entry("sys1/applications/viewer.desktop", "Name=Old Viewer\nExec=old-viewer\n");
    entry("sys1/applications/masked.desktop", "Name=Masked Below\nExec=masked\n");
    entry("sys1/applications/kde-editor.desktop", "Name=Other Editor\nExec=editor\n");
    entry("sys1/applications/nodisplay.desktop", "Name=No Display\nExec=x\nNoDisplay=true\n");
    entry("sys1/applications/tryexec.desktop", "Name=Try Missing\nExec=x\nTryExec=no-such-tool\n");
    entry("sys1/applications/shell.desktop", "Name=Shell Thing\nExec=sh\nTryExec=sh\n");
    entry("sys1/applications/not.desktop", "Name=Not In KDE\nExec=x\nNotShowIn=KDE;\n");
    entry("sys1/applications/long.desktop", "Name=Long\nExec=x\nComment=" +
                                                std::string(1000000, 'x') + "\n");
    write_file(dir_ / "sys1/applications/readme.txt", "[Desktop Entry]\nType=Application\n");
    entry("sys2/applications/twin.desktop", "Name=Editor\nExec=editor\n");

    auto apps = start({"LC_MESSAGES=de_DE.UTF-8", "LANG=C.UTF-8", "XDG_CURRENT_DESKTOP=GNOME:X"},
                      {"-i", "-p", "apps:"});
    EXPECT_EQ(apps->wait(), 1);  // the stand-in chose nothing
    EXPECT_EQ(apps->err(), "");
    EXPECT_EQ(offered(), (Strings{"Betrachter", "Editor (kde-editor)", "Editor (twin)",
                                  "Not In KDE", "Shell Thing"}));
    EXPECT_EQ(lines_of(read_file(dir_ / "bin/menu-args")), (Strings{"-i", "-p", "apps:"}));

    // Without a language the plain names; with no current desktop NotShowIn hides nothing.
    start({})->wait();
    EXPECT_EQ(offered(), (Strings{"Editor (kde-editor)", "Editor (twin)", "Not In KDE",
                                  "Shell Thing", "Viewer"}));

    // Started with standard input closed, it still hands the menu the list.
    unlink((dir_ / "bin/menu-input").c_str());
    EXPECT_EQ(start({}, {}, {0})->wait(), 1);
    EXPECT_EQ(offered().size(), 5u);
}

TEST_F(AppsLauncher, KeepsItsHistoryBehindLinksAndIsNotHeldUpByAFifo)
{
    unlink((dir_ / "bin/ravlin").c_str());
    write_recording_menu(dir_ / "bin");
    entry("home/applications/a.desktop", "Name=Alpha\nExec=mark-app\n");
    mkdir((dir_ / "state").c_str(), 0700);
    mkdir((dir_ / "state/ravlin").c_str(), 0700);
    std::string history = dir_ / "state/ravlin/apps-history";

    ASSERT_EQ(mkfifo(history.c_str(), 0600), 0);
    EXPECT_EQ(start({"CHOICE=Alpha"})->wait(), 0);

    unlink(history.c_str());
    write_file(dir_ / "kept", "old.desktop\n");
    ASSERT_EQ(symlink((dir_ / "kept").c_str(), history.c_str()), 0);
    EXPECT_EQ(start({"CHOICE=Alpha"})->wait(), 0);
    struct stat link;
    EXPECT_TRUE(lstat(history.c_str(), &link) == 0 && S_ISLNK(link.st_mode));
    EXPECT_EQ(read_file(dir_ / "kept"), "a.desktop\nold.desktop\n");
}

TEST_F(AppsLauncher, WithoutHomeUsesThePasswordEntrysHome)
{
    unlink((dir_ / "bin/ravlin").c_str());
    write_recording_menu(dir_ / "bin");
    mkdir((dir_ / "pw").c_str(), 0755);
    mkdir((dir_ / "pw/.local").c_str(), 0755);
    mkdir((dir_ / "pw/.local/share").c_str(), 0755);
    mkdir((dir_ / "pw/.local/share/applications").c_str(), 0755);
    write_file(dir_ / "pw/.local/share/applications/mine.desktop", "[Desktop Entry]\nType=Application\nName=Mine\nExec=mark-app\n");
    Process::Options options;
    options.pipe_stdin = false;
    options.env = {"PATH=" + dir_ / "bin" + ":/usr/bin:/bin", "XDG_DATA_DIRS=" + dir_ / "sys1",
                   "MARK=" + dir_ / "mark", "CHOICE=Mine"};
    std::optional<Result> apps = run_with_password_home(dir_, dir_ / "pw", {RAVLIN_APPS_BIN}, options);
    if (!apps)
        GTEST_SKIP() << "no private mount namespace for a password file of our own";
    EXPECT_EQ(apps->status, 0) << apps->err;
    EXPECT_EQ(read_file(dir_ / "pw/.local/state/ravlin/apps-history"), "mine.desktop\n");

    // No home at all: the applications are still offered, no history kept.
    bool had_local = access("/.local", F_OK) == 0;
    entry("sys1/applications/sys.desktop", "Name=System\nExec=mark-app\n");
    options.env.back() = "CHOICE=System";
    apps = run_with_password_home(dir_, "none", {RAVLIN_APPS_BIN}, options);
    ASSERT_TRUE(apps);
    EXPECT_EQ(apps->status, 0) << apps->err;
    EXPECT_EQ(offered(), Strings{"System"});
    if (!had_local) {
        EXPECT_NE(access("/.local", F_OK), 0);
    }
}

TEST_F(AppsLauncher, StartsTheChosenEntryDetachedWithoutFieldCodes)
{
    ASSERT_EQ(mkfifo((dir_ / "mark.release").c_str(), 0600), 0);
    entry("home/applications/viewer.desktop",
          "Name=Image Viewer\nIcon=viewer\nPath=" + dir_ / "work" +
              "\nExec=mark-app %U --title=%c \"a \\\\\\\\ b\" %i %k %%\n");
    // Started from somewhere that ignores SIGINT and SIGQUIT: the
    // application must not inherit that.
    struct sigaction ignore = {}, saved_int, saved_quit;
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &saved_int);
    sigaction(SIGQUIT, &ignore, &saved_quit);
    auto apps = start({});
    sigaction(SIGINT, &saved_int, nullptr);
    sigaction(SIGQUIT, &saved_quit, nullptr);
    ASSERT_NE(client_->wait_for_window("ravlin", "Ravlin"), static_cast<Window>(None))
        << apps->err();
    client_->type("View");
    client_->key(XK_Return);
    EXPECT_EQ(apps->wait(), 0) << apps->err();

    ASSERT_TRUE(wait_until([&] { return !read_file(dir_ / "mark").empty(); }));
    Strings mark = lines_of(read_file(dir_ / "mark"));
    ASSERT_EQ(mark.size(), 11u) << read_file(dir_ / "mark");
    EXPECT_EQ(Strings(mark.begin(), mark.begin() + 6),
              (Strings{"--title=Image Viewer", "a \\ b", "--icon", "viewer",
                       dir_ / "home/applications/viewer.desktop", "%"}));
    EXPECT_EQ(mark[6], "cwd=" + dir_ / "work");
    EXPECT_EQ(mark[7], "stdin=/dev/null");
    EXPECT_NE(mark[8], "sid=" + std::to_string(getsid(0)));
    EXPECT_EQ(mark[10], "ignored=0000000000000000");
    // The launcher is gone while the application still runs.
    EXPECT_EQ(read_file(dir_ / "mark.done"), "");
    release_marked(dir_ / "mark");
    EXPECT_TRUE(wait_until([&] { return read_file(dir_ / "mark.done") == "done\n"; }));
    EXPECT_EQ(read_file(dir_ / "state/ravlin/apps-history"), "viewer.desktop\n");
}

TEST_F(AppsLauncher, StartsTerminalEntriesInTheTerminalAndPutsThemFirstNextTime)
{
    unlink((dir_ / "bin/ravlin").c_str());
    write_recording_menu(dir_ / "bin");
    entry("home/applications/top.desktop", "Name=Top\nExec=top-like -d 1\nTerminal=true\n");
    entry("home/applications/a.desktop", "Name=Alpha\nExec=alpha\n");
    write_marking_program(dir_ / "bin/term");
    write_marking_program(dir_ / "bin/x-terminal-emulator");

    EXPECT_EQ(start({"CHOICE=Top", "TERMINAL=term"})->wait(), 0);
    ASSERT_TRUE(wait_until([&] { return !read_file(dir_ / "mark").empty(); }));
    Strings mark = lines_of(read_file(dir_ / "mark"));
    ASSERT_GE(mark.size(), 4u);
    EXPECT_EQ(Strings(mark.begin(), mark.begin() + 4), (Strings{"-e", "top-like", "-d", "1"}));
    EXPECT_EQ(offered(), (Strings{"Alpha", "Top"}));

    unlink((dir_ / "mark").c_str());
    EXPECT_EQ(start({"CHOICE=Top"})->wait(), 0);
    ASSERT_TRUE(wait_until([&] { return !read_file(dir_ / "mark").empty(); }));
    EXPECT_EQ(lines_of(read_file(dir_ / "mark"))[0], "-e");
    EXPECT_EQ(offered(), (Strings{"Top", "Alpha"}));

    auto missing = start({"CHOICE=Nothing Like It"});
    EXPECT_EQ(missing->wait(), 1);
    EXPECT_EQ(missing->err(), "ravlin-apps: no application is called \"Nothing Like It\"\n");
}

}  // namespace
