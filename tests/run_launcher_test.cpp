// ravlin-run end to end: the script with the real menu on a private X
// server (a recording stand-in where the offered list itself is checked),
// its program cache, its history and the detached start of the choice.
#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <fcntl.h>
#include <limits.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "harness/server_test.h"
#include "launcher_fixture.h"

using namespace harness;
using namespace launcher_fixture;

namespace {

using Strings = std::vector<std::string>;

const std::string kScript = SOURCE_DIR "/ravlin-run/ravlin-run";

class RunLauncher : public ServerTest {
protected:
    void SetUp() override
    {
        // The tools are found on PATH, as installed ones would be.
        mkdir((dir_ / "tools").c_str(), 0755);
        symlink(RAVLIN_BIN, (dir_ / "tools/ravlin").c_str());
        symlink(PATHTEST_BIN, (dir_ / "tools/pathtest").c_str());
        mkdir((dir_ / "bin").c_str(), 0755);
        mkdir((dir_ / "record").c_str(), 0755);
        write_script(dir_ / "bin/tool-one", "echo ran > \"$MARK\"\n");
        for (const char* sub : {"tools", "bin"})
            make_old(dir_ / sub);
        path_ = dir_ / "bin" + ":" + dir_ / "tools" + ":/usr/bin:/bin";
    }
    void TearDown() override { stop_marked(dir_ / "mark"); }

    std::unique_ptr<Process> start(const std::vector<std::string>& env = {},
                                   const std::vector<std::string>& args = {})
    {
        Process::Options options;
        options.env = {server_->env(), "PATH=" + path_, "HOME=" + dir_ / "home",
                       "XDG_CACHE_HOME=" + dir_ / "cache", "XDG_STATE_HOME=" + dir_ / "state",
                       "LC_ALL=C.UTF-8", "MARK=" + dir_ / "mark", "RECORD=" + dir_ / "record"};
        options.env.insert(options.env.end(), env.begin(), env.end());
        // A pipe nobody writes: the chosen command must not inherit it.
        options.pipe_stdin = true;
        std::vector<std::string> argv = {kScript};
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<Process>(argv, options);
    }

    void wait_for_bar(Process& run)
    {
        ASSERT_NE(client_->wait_for_window("ravlin", "Ravlin"), static_cast<Window>(None))
            << run.err();
    }

    // One run cancelled with Escape: its exit status.
    int cancelled_run()
    {
        auto run = start();
        wait_for_bar(*run);
        client_->key(XK_Escape);
        return run->wait().value_or(-1);
    }

    std::string cache() { return read_file(dir_ / "cache/ravlin/run"); }

    // With the recording stand-in for the menu: a run choosing the line
    // (none: cancelled), its exit status and what it was offered.
    int chosen(const std::string& line, const std::vector<std::string>& env = {})
    {
        std::vector<std::string> all = env;
        if (!line.empty())
            all.push_back("CHOICE=" + line);
        auto run = start(all);
        int status = run->wait().value_or(-1);
        err_ = run->err();
        return status;
    }
    bool offers(const std::string& name) { return has_line(read_file(dir_ / "record/menu-input"), name); }

    // What a rebuild left beside the cache and the filtered list.
    Strings leftovers()
    {
        Strings names;
        for (const std::string& name : lines_of(run({"ls", "-A", dir_ / "cache/ravlin"}).out))
            if (name != "run" && name != "run-offer")
                names.push_back(name);
        return names;
    }

    std::string err_;

    TempDir dir_;
    std::string path_;
};

// The directories a PATH lists: each absolute one as the directory it
// finally is, each once.
std::string physical(const std::string& path)
{
    std::string result;
    size_t start = 0;
    while (start <= path.size()) {
        size_t colon = std::min(path.find(':', start), path.size());
        std::string dir = path.substr(start, colon - start);
        start = colon + 1;
        char real[PATH_MAX];
        if (dir.empty() || dir[0] != '/' || !realpath(dir.c_str(), real))
            continue;
        if ((":" + result + ":").find(":" + std::string(real) + ":") == std::string::npos)
            result += (result.empty() ? "" : ":") + std::string(real);
    }
    return result;
}

struct stat status_of(const std::string& path)
{
    struct stat status {};
    stat(path.c_str(), &status);
    return status;
}

// Points the link at target by renaming a new link over it, as package
// managers switch profiles.
void switch_link(const std::string& link, const std::string& target)
{
    std::string fresh = link + ".new";
    ASSERT_EQ(symlink(target.c_str(), fresh.c_str()), 0);
    ASSERT_EQ(rename(fresh.c_str(), link.c_str()), 0);
}

// The process's parent and command name, from /proc.
std::pair<pid_t, std::string> parent_and_name(pid_t pid)
{
    std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos)
        return {0, ""};
    return {std::atoi(stat.c_str() + close + 4), stat.substr(open + 1, close - open - 1)};
}

TEST_F(RunLauncher, BuildsItsCacheReusesItAndRebuildsItForANewProgramOrPath)
{
    EXPECT_EQ(cancelled_run(), 1);
    std::vector<std::string> lines = lines_of(cache());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], physical(path_));
    EXPECT_TRUE(has_line(cache(), "tool-one"));
    EXPECT_TRUE(has_line(cache(), "pathtest"));
    EXPECT_TRUE(std::is_sorted(lines.begin() + 1, lines.end()));
    EXPECT_EQ(std::adjacent_find(lines.begin() + 1, lines.end()), lines.end()) << "duplicates";
    EXPECT_EQ(status_of(dir_ / "cache/ravlin").st_mode & 0777, 0700u);

    struct stat built = status_of(dir_ / "cache/ravlin/run");
    EXPECT_EQ(cancelled_run(), 1);
    struct stat reused = status_of(dir_ / "cache/ravlin/run");
    EXPECT_EQ(reused.st_ino, built.st_ino);
    EXPECT_EQ(reused.st_mtim.tv_nsec, built.st_mtim.tv_nsec);

    // Most likely within the second the cache was written: still seen.
    write_script(dir_ / "bin/tool-two", "");
    EXPECT_EQ(cancelled_run(), 1);
    EXPECT_TRUE(has_line(cache(), "tool-two"));

    mkdir((dir_ / "more").c_str(), 0755);
    write_script(dir_ / "more/tool-three", "");
    make_old(dir_ / "more");
    // A directory new to PATH, though old itself; empty, relative and
    // missing entries are not listed.
    std::string listed = path_ + ":" + dir_ / "more";
    path_ = listed + "::relative/dir:" + dir_ / "missing";
    EXPECT_EQ(cancelled_run(), 1);
    EXPECT_EQ(lines_of(cache())[0], physical(listed));
    EXPECT_TRUE(has_line(cache(), "tool-three"));
    EXPECT_TRUE(has_line(cache(), "tool-one"));
}

TEST_F(RunLauncher, RunsTheChosenLineDetachedAndReturnsAtOnce)
{
    write_marking_program(dir_ / "bin/mark-me");
    ASSERT_EQ(mkfifo((dir_ / "mark.release").c_str(), 0600), 0);
    // Started from somewhere that ignores SIGINT and SIGQUIT: the program
    // must not inherit that.
    struct sigaction ignore = {}, saved_int, saved_quit;
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &saved_int);
    sigaction(SIGQUIT, &ignore, &saved_quit);
    auto run = start();
    sigaction(SIGINT, &saved_int, nullptr);
    sigaction(SIGQUIT, &saved_quit, nullptr);
    wait_for_bar(*run);
    client_->type("mark-me one 'two words'");
    client_->key(XK_Return, {XK_Shift_L});
    EXPECT_EQ(run->wait(), 0) << run->err();

    ASSERT_TRUE(wait_until([&] { return !read_file(dir_ / "mark").empty(); }));
    std::vector<std::string> mark = lines_of(read_file(dir_ / "mark"));
    ASSERT_EQ(mark.size(), 7u);
    EXPECT_EQ(mark[0], "one");
    EXPECT_EQ(mark[1], "two words");
    EXPECT_EQ(mark[3], "stdin=/dev/null");
    EXPECT_NE(mark[4], "sid=" + std::to_string(getsid(0)));
    EXPECT_EQ(mark[6], "ignored=0000000000000000");
    // The launcher is gone while the program still waits.
    EXPECT_EQ(read_file(dir_ / "mark.done"), "");
    release_marked(dir_ / "mark");
    EXPECT_TRUE(wait_until([&] { return read_file(dir_ / "mark.done") == "done\n"; }));

    EXPECT_EQ(read_file(dir_ / "state/ravlin/run-history"), "mark-me one 'two words'\n");
    EXPECT_EQ(status_of(dir_ / "state/ravlin").st_mode & 0777, 0700u);
}

TEST_F(RunLauncher, OffersTheProgramsWhenTheCacheCannotBeWritten)
{
    write_file(dir_ / "not-a-dir", "");
    auto run = start({"XDG_CACHE_HOME=" + dir_ / "not-a-dir"});
    wait_for_bar(*run);
    client_->type("tool-o");
    client_->key(XK_Return);
    EXPECT_EQ(run->wait(), 0);
    EXPECT_EQ(run->err(), "");
    EXPECT_TRUE(wait_until([&] { return read_file(dir_ / "mark") == "ran\n"; }));

    // The cache's name taken by a directory: nothing is put inside it.
    unlink((dir_ / "mark").c_str());
    ASSERT_EQ(system(("mkdir -p '" + dir_ / "cache/ravlin/run" + "'").c_str()), 0);
    auto again = start();
    wait_for_bar(*again);
    client_->type("tool-o");
    client_->key(XK_Return);
    EXPECT_EQ(again->wait(), 0);
    EXPECT_EQ(again->err(), "");
    EXPECT_TRUE(wait_until([&] { return read_file(dir_ / "mark") == "ran\n"; }));
    EXPECT_EQ(harness::run({"ls", "-A", dir_ / "cache/ravlin/run"}).out, "");
}

TEST_F(RunLauncher, PassesItsArgumentsOnAndOffersAHistoryLineOnce)
{
    write_recording_menu(dir_ / "bin");
    mkdir((dir_ / "state").c_str(), 0700);
    mkdir((dir_ / "state/ravlin").c_str(), 0700);
    std::string history = dir_ / "state/ravlin/run-history";
    write_file(history, "tool-one\nvi notes\n");
    auto offered = [&] { return read_file(dir_ / "record/menu-input"); };

    EXPECT_EQ(start({}, {"-i", "-p", "run:"})->wait(), 1);  // the stand-in printed nothing
    EXPECT_EQ(lines_of(read_file(dir_ / "record/menu-args")),
              (Strings{"-hist", history, "-i", "-p", "run:"}));
    EXPECT_TRUE(has_line(offered(), "pathtest"));
    EXPECT_FALSE(has_line(offered(), "tool-one"));

    // The filtered list kept for later starts, then a history that moved on.
    ASSERT_TRUE(wait_until([&] { return !read_file(dir_ / "cache/ravlin/run-offer").empty(); }));
    EXPECT_EQ(start()->wait(), 1);
    EXPECT_TRUE(has_line(offered(), "pathtest"));
    EXPECT_FALSE(has_line(offered(), "tool-one"));
    write_file(history, "pathtest\ntool-one\n");
    EXPECT_EQ(start()->wait(), 1);
    EXPECT_FALSE(has_line(offered(), "pathtest"));
    EXPECT_TRUE(has_line(offered(), "ravlin"));
}

TEST_F(RunLauncher, NoticesProgramsMadeExecutableNewLinkTargetsAndSwitchedTrees)
{
    write_recording_menu(dir_ / "bin");
    for (const char* sub : {"targets", "tree-a", "tree-b"})
        mkdir((dir_ / sub).c_str(), 0755);
    write_file(dir_ / "bin/later", "#!/bin/sh\n");
    symlink("../targets/prog", (dir_ / "bin/tool-link").c_str());
    write_script(dir_ / "tree-a/prog-a", "");
    write_script(dir_ / "tree-b/prog-b", "");
    for (const char* sub : {"bin", "targets", "tree-a", "tree-b"})
        make_old(dir_ / sub);
    symlink("tree-a", (dir_ / "current").c_str());
    path_ = dir_ / "bin:" + dir_ / "current:" + path_;

    EXPECT_EQ(chosen(""), 1);
    EXPECT_TRUE(offers("prog-a"));
    EXPECT_FALSE(offers("later"));
    EXPECT_FALSE(offers("tool-link"));

    // Neither changes a directory of PATH: the list shown next is the
    // cached one, made anew behind it.
    chmod((dir_ / "bin/later").c_str(), 0755);
    write_script(dir_ / "targets/prog", "");
    EXPECT_EQ(chosen(""), 1);
    EXPECT_TRUE(wait_until([&] { return has_line(cache(), "later") && has_line(cache(), "tool-link"); }));
    EXPECT_EQ(chosen(""), 1);
    EXPECT_TRUE(offers("later") && offers("tool-link"));

    // A tree older than the cache, switched in under the same name.
    switch_link(dir_ / "current", "tree-b");
    EXPECT_EQ(chosen(""), 1);
    EXPECT_TRUE(offers("prog-b"));
    EXPECT_FALSE(offers("prog-a"));
}

TEST_F(RunLauncher, LeavesOutNamesAndDirectoriesHoldingNewlines)
{
    write_recording_menu(dir_ / "bin");
    write_script(dir_ / "bin/tool-two\ntool-lines", "");
    mkdir((dir_ / "odd\ndir").c_str(), 0755);
    write_script(dir_ / "odd\ndir/tool-odd", "");
    make_old(dir_ / "bin");
    std::string listed = path_;
    path_ = dir_ / "odd\ndir:" + path_;

    EXPECT_EQ(chosen(""), 1);
    EXPECT_EQ(lines_of(cache())[0], physical(listed));
    EXPECT_TRUE(offers("tool-one"));
    for (const char* piece : {"tool-two", "tool-lines", "tool-odd"})
        EXPECT_FALSE(offers(piece)) << piece;
    // Kept, not made again at every start.
    struct stat built = status_of(dir_ / "cache/ravlin/run");
    EXPECT_EQ(chosen(""), 1);
    EXPECT_EQ(status_of(dir_ / "cache/ravlin/run").st_ino, built.st_ino);
}

TEST_F(RunLauncher, RunsAListedNameAsThatProgramAndReportsOneThatIsGone)
{
    write_recording_menu(dir_ / "bin");
    for (std::string name : {"my prog", "it's", "a;touch pwned"})
        write_script(dir_ / ("bin/" + name), "echo \"${0##*/}\" > \"$MARK\"\n");
    write_script(dir_ / "bin/gone-tool", "echo ran > \"$MARK\"\n");
    // An entry that is a link to itself, before the system's directories.
    symlink("loop", (dir_ / "loop").c_str());
    path_ = dir_ / "loop:" + path_;

    for (std::string name : {"my prog", "it's", "a;touch pwned"}) {
        unlink((dir_ / "mark").c_str());
        EXPECT_EQ(chosen(name), 0) << name << ": " << err_;
        EXPECT_TRUE(wait_until([&] { return read_file(dir_ / "mark") == name + "\n"; })) << name;
    }
    EXPECT_NE(access((dir_ / "pwned").c_str(), F_OK), 0);
    // Other text is a command line.
    EXPECT_EQ(chosen("tool-one; echo more >> \"$MARK\""), 0);
    EXPECT_TRUE(wait_until([&] { return read_file(dir_ / "mark") == "ran\nmore\n"; }));

    unlink((dir_ / "mark").c_str());
    EXPECT_EQ(chosen("gone-tool", {"REMOVE=" + dir_ / "bin/gone-tool"}), 1);
    EXPECT_EQ(err_, "ravlin-run: cannot run gone-tool: not found\n");
    EXPECT_EQ(read_file(dir_ / "mark"), "");
}

TEST_F(RunLauncher, ProgramInstalledOrRebuildStoppedWhileTheListIsMade)
{
    write_recording_menu(dir_ / "bin");
    mkdir((dir_ / "state").c_str(), 0700);
    mkdir((dir_ / "state/ravlin").c_str(), 0700);
    write_file(dir_ / "state/ravlin/run-history", "tool-one\n");
    // pathtest that, while the FIFO pause exists, stops after listing
    // until a line comes, having left its process ID in listed.
    unlink((dir_ / "tools/pathtest").c_str());
    write_script(dir_ / "tools/pathtest",
                 std::string("\"") + PATHTEST_BIN + "\" \"$@\"\n"
                 "[ -p \"$PAUSE\" ] || exit 0\n"
                 "echo $$ > \"$PAUSE.pid.tmp\" && mv \"$PAUSE.pid.tmp\" \"$PAUSE.pid\"\n"
                 "read -r _ < \"$PAUSE\"\n");
    make_old(dir_ / "tools");
    std::string pause = dir_ / "pause";
    ASSERT_EQ(mkfifo(pause.c_str(), 0600), 0);
    auto paused = [&] { return !read_file(pause + ".pid").empty(); };
    auto release = [&] {
        int fd = open(pause.c_str(), O_WRONLY);
        EXPECT_EQ(write(fd, "\n", 1), 1);
        close(fd);
        unlink((pause + ".pid").c_str());
    };

    auto first = start({"PAUSE=" + pause});
    ASSERT_TRUE(wait_until(paused));
    write_script(dir_ / "bin/tool-new", "");
    release();
    EXPECT_EQ(first->wait(), 1);
    unlink(pause.c_str());
    EXPECT_EQ(chosen(""), 1);
    EXPECT_TRUE(offers("tool-new"));

    // Stopped at both rebuilds, in front of the menu and behind it: each
    // of its shells is sent SIGTERM, as a logout would.
    auto stop_rebuild = [&] {
        pid_t pid = std::stoi(read_file(pause + ".pid"));
        for (pid_t up = parent_and_name(pid).first; parent_and_name(up).second == "ravlin-run";) {
            pid_t next = parent_and_name(up).first;
            kill(up, SIGTERM);
            up = next;
        }
        kill(pid, SIGTERM);
        unlink((pause + ".pid").c_str());
    };
    ASSERT_EQ(mkfifo(pause.c_str(), 0600), 0);
    unlink((dir_ / "cache/ravlin/run").c_str());
    auto stopped = start({"PAUSE=" + pause});
    ASSERT_TRUE(wait_until(paused));
    stop_rebuild();
    EXPECT_EQ(stopped->wait(), 143);
    EXPECT_EQ(leftovers(), Strings{});

    unlink(pause.c_str());
    EXPECT_EQ(chosen(""), 1);
    ASSERT_EQ(mkfifo(pause.c_str(), 0600), 0);
    EXPECT_EQ(chosen("", {"PAUSE=" + pause}), 1);  // the cache as it was; rebuilt behind the menu
    ASSERT_TRUE(wait_until(paused));
    EXPECT_NE(leftovers(), Strings{});
    stop_rebuild();
    EXPECT_TRUE(wait_until([&] { return leftovers().empty(); })) << testing::PrintToString(leftovers());
}

TEST_F(RunLauncher, ReturnsOnlyOnceTheProgramHasLeftTheTerminalsSession)
{
    write_recording_menu(dir_ / "bin");
    write_marking_program(dir_ / "bin/mark-me");
    std::vector<std::string> env = {"PATH=" + path_, "HOME=" + dir_ / "home",
                                    "XDG_CACHE_HOME=" + dir_ / "cache",
                                    "XDG_STATE_HOME=" + dir_ / "state", "CHOICE=mark-me",
                                    "RECORD=" + dir_ / "record"};
    // Each try on one core, as the session leader of a terminal that hangs
    // up when it exits.
    for (int attempt = 0; attempt < 6; ++attempt) {
        std::string mark = dir_ / ("mark" + std::to_string(attempt));
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
        std::string slave = ptsname(master);
        std::vector<std::string> vars = env;
        vars.push_back("MARK=" + mark);
        std::vector<char*> envp;
        for (std::string& var : vars)
            envp.push_back(var.data());
        envp.push_back(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(0, &one);
            sched_setaffinity(0, sizeof one, &one);
            setsid();
            int tty = open(slave.c_str(), O_RDWR);
            for (int fd = 0; fd <= 2; ++fd)
                dup2(tty, fd);
            execle("/bin/sh", "sh", kScript.c_str(), nullptr, envp.data());
            _exit(127);
        }
        int status = -1;
        waitpid(pid, &status, 0);
        close(master);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(wait_until([&] { return !read_file(mark).empty(); }, 3000ms)) << attempt;
    }
}

TEST_F(RunLauncher, WithoutHomeUsesThePasswordEntrysHome)
{
    write_recording_menu(dir_ / "bin");
    Process::Options options;
    options.pipe_stdin = false;
    options.env = {"PATH=" + path_, "LC_ALL=C.UTF-8", "MARK=" + dir_ / "mark",
                   "RECORD=" + dir_ / "record"};
    std::optional<Result> run = run_with_password_home(dir_, dir_ / "pw", {kScript}, options);
    if (!run)
        GTEST_SKIP() << "no private mount namespace for a password file of our own";
    EXPECT_EQ(run->status, 1) << run->err;
    EXPECT_TRUE(has_line(read_file(dir_ / "pw/.cache/ravlin/run"), "tool-one"));
    EXPECT_EQ(lines_of(read_file(dir_ / "record/menu-args")),
              (Strings{"-hist", dir_ / "pw/.local/state/ravlin/run-history"}));

    // No home at all: a list for this run, and no history.
    bool had_cache = access("/.cache", F_OK) == 0;
    run = run_with_password_home(dir_, "none", {kScript}, options);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->status, 1) << run->err;
    EXPECT_EQ(read_file(dir_ / "record/menu-args"), "\n");
    EXPECT_TRUE(offers("tool-one"));
    if (!had_cache) {
        EXPECT_NE(access("/.cache", F_OK), 0);
    }
}

}  // namespace
