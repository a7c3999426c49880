// ravlin-run end to end: the script with the real menu on a private X
// server (a recording stand-in where the offered list itself is checked),
// its program cache, its history and the detached start of the choice.
#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
                       "LC_ALL=C.UTF-8", "MARK=" + dir_ / "mark"};
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

    TempDir dir_;
    std::string path_;
};

struct stat status_of(const std::string& path)
{
    struct stat status {};
    stat(path.c_str(), &status);
    return status;
}

TEST_F(RunLauncher, BuildsItsCacheReusesItAndRebuildsItForANewProgramOrPath)
{
    EXPECT_EQ(cancelled_run(), 1);
    std::vector<std::string> lines = lines_of(cache());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], path_);
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
    EXPECT_EQ(lines_of(cache())[0], listed);
    EXPECT_TRUE(has_line(cache(), "tool-three"));
    EXPECT_TRUE(has_line(cache(), "tool-one"));
}

TEST_F(RunLauncher, RunsTheChosenLineDetachedAndReturnsAtOnce)
{
    write_marking_program(dir_ / "bin/mark-me");
    ASSERT_EQ(mkfifo((dir_ / "mark.release").c_str(), 0600), 0);
    auto run = start();
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
}

TEST_F(RunLauncher, PassesItsArgumentsOnAndOffersAHistoryLineOnce)
{
    write_recording_menu(dir_ / "bin");
    mkdir((dir_ / "state").c_str(), 0700);
    mkdir((dir_ / "state/ravlin").c_str(), 0700);
    std::string history = dir_ / "state/ravlin/run-history";
    write_file(history, "tool-one\nvi notes\n");
    auto offered = [&] { return read_file(dir_ / "bin/menu-input"); };

    EXPECT_EQ(start({}, {"-i", "-p", "run:"})->wait(), 1);  // the stand-in printed nothing
    EXPECT_EQ(lines_of(read_file(dir_ / "bin/menu-args")),
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

}  // namespace
