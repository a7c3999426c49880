// Hostile starts and a busy desktop, end to end: closed standard
// descriptors, results that cannot be written, a FIFO for a history, a
// history on a slow disk, and file name completions that would never end
// or never come back from the kernel.
#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "harness/server_test.h"

using namespace harness;

namespace {

class Faults : public ServerTest {
protected:
    void TearDown() override
    {
        if (menu_)
            menu_->kill_now();
        ASSERT_TRUE(wait_until([] { return client_->windows_by_class("", "Ravlin").empty(); }));
    }

    Process& start(const std::vector<std::string>& args, const std::string& entries,
                   Process::Options options = {})
    {
        menu_ = start_menu(*server_, args, entries, options);
        return *menu_;
    }

    // True once the bar is up; the reason goes to the failure message.
    ::testing::AssertionResult bar_appears()
    {
        if (client_->wait_for_window("ravlin", "Ravlin") != None)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no bar; stderr: " << menu_->err();
    }

    // The children the menu has running now.
    std::string children()
    {
        std::string pid = std::to_string(menu_->pid());
        return read_file("/proc/" + pid + "/task/" + pid + "/children");
    }

    // The state of the menu's first child ('R', 'S', 'D', 'Z'), 0 without one.
    char child_state()
    {
        std::istringstream pids(children());
        std::string child, stat;
        if (!(pids >> child) || (stat = read_file("/proc/" + child + "/stat")).empty())
            return 0;
        return stat[stat.rfind(')') + 2];
    }

    // True once the menu's first child has been sent SIGKILL, dead or not.
    bool child_killed()
    {
        std::istringstream pids(children());
        std::string child;
        if (!(pids >> child))
            return false;
        std::istringstream status(read_file("/proc/" + child + "/status"));
        for (std::string line; std::getline(status, line);)
            if ((line.rfind("ShdPnd:", 0) == 0 || line.rfind("SigPnd:", 0) == 0) &&
                std::stoull(line.substr(7), nullptr, 16) & (1ull << (SIGKILL - 1)))
                return true;
        return child_state() == 'Z';
    }

    std::unique_ptr<Process> menu_;
};

TEST_F(Faults, ClosedStandardDescriptorsAreNeverTakenByTheConnection)
{
    // Output closed: the result has nowhere to go, which is an error.
    Process::Options no_output;
    no_output.closed_fds = {1};
    Process& first = start({}, "alpha\n", no_output);
    ASSERT_TRUE(bar_appears());
    client_->key(XK_Return);
    EXPECT_EQ(first.wait(), 1);
    EXPECT_EQ(first.err(), "cannot write output: Bad file descriptor\n");

    // Input closed: no entries, and the typed text still comes out.
    Process::Options no_input;
    no_input.pipe_stdin = false;
    no_input.closed_fds = {0};
    Process& second = start({}, "", no_input);
    ASSERT_TRUE(bar_appears());
    client_->type("typed");
    client_->key(XK_Return);
    EXPECT_EQ(second.wait(), 0);
    EXPECT_EQ(second.out(), "typed\n");

    // Error closed while fontconfig complains about the user's file.
    TempDir home;
    ASSERT_EQ(mkdir((home / ".config").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((home / ".config/fontconfig").c_str(), 0700), 0);
    write_file(home / ".config/fontconfig/fonts.conf", "<fontconfig><broken");
    Process::Options no_error;
    no_error.closed_fds = {2};
    no_error.env = {"HOME=" + home.path()};
    no_error.unset_env = {"XDG_CONFIG_HOME"};
    Process& third = start({"-fn", "DejaVu Sans Mono:size=11"}, "alpha\n", no_error);
    ASSERT_TRUE(bar_appears());
    client_->key(XK_Return);
    EXPECT_EQ(third.wait(), 0);
    EXPECT_EQ(third.out(), "alpha\n");
}

TEST_F(Faults, ResultThatCannotBeWrittenLeavesTheHistoryAlone)
{
    TempDir dir;
    write_file(dir / "history", "old\n");
    Process::Options full;
    full.stdout_path = "/dev/full";
    Process& menu = start({"-hist", dir / "history"}, "alpha\n", full);
    ASSERT_TRUE(bar_appears());
    client_->type("al");
    client_->key(XK_Return);
    EXPECT_EQ(menu.wait(), 1);
    EXPECT_EQ(read_file(dir / "history"), "old\n");
}

TEST_F(Faults, FifoHistoryWithoutAReaderHoldsNothingUp)
{
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "history").c_str(), 0600), 0);
    Process& menu = start({"-hist", dir / "history"}, "alpha\n");
    ASSERT_TRUE(bar_appears());
    client_->key(XK_Return);
    EXPECT_EQ(menu.wait(), 0);
    EXPECT_EQ(menu.out(), "alpha\n");
}

TEST_F(Faults, HistoryOnASlowDiskIsSavedWithTheKeyboardFree)
{
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "history").c_str(), 0600), 0);
    Process& menu = start({"-hist", dir / "history"}, "alpha\n");
    ASSERT_TRUE(bar_appears());
    // A full pipe stands in for a disk that takes its time: the save waits
    // for room until we read.
    int reader = open((dir / "history").c_str(), O_RDONLY | O_NONBLOCK);
    int writer = open((dir / "history").c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(fcntl(writer, F_SETPIPE_SZ, 4096), 0);
    std::string filler(4096, 'f');
    ASSERT_EQ(write(writer, filler.data(), filler.size()), 4096);
    close(writer);

    client_->key(XK_Return);
    ASSERT_TRUE(wait_until([&] { return menu.out() == "alpha\n"; }));
    EXPECT_TRUE(wait_until([] { return !client_->keyboard_grabbed(); }, 3000ms));
    std::string saved;
    wait_until([&] {
        char buffer[8192];
        ssize_t n = read(reader, buffer, sizeof buffer);
        saved.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        return saved.size() >= filler.size() + 6;
    }, 3000ms);
    close(reader);
    EXPECT_EQ(saved, filler + "alpha\n");
    EXPECT_EQ(menu.wait(), 0);
}

TEST_F(Faults, SignalOrLostServerEndsTheRunLeavingOutputAndHistoryAlone)
{
    TempDir dir;
    write_file(dir / "history", "old\n");
    Process& menu = start({"-hist", dir / "history"}, "alpha\n");
    ASSERT_TRUE(bar_appears());
    client_->type("al");
    client_->sync();
    kill(menu.pid(), SIGTERM);
    EXPECT_EQ(menu.wait(), 128 + SIGTERM);
    EXPECT_EQ(menu.out(), "");
    EXPECT_FALSE(client_->keyboard_grabbed());

    auto own_server = std::make_unique<XServer>();
    Process::Options options;
    options.env = {own_server->env(), "LC_ALL=C.UTF-8"};
    Process lost({RAVLIN_BIN, "-hist", dir / "history"}, options);
    lost.write_stdin("alpha\n");
    lost.close_stdin();
    {
        XClient watcher(own_server->display_name());
        ASSERT_NE(watcher.wait_for_window("ravlin", "Ravlin"), static_cast<Window>(None));
    }
    own_server.reset();
    EXPECT_EQ(lost.wait(), 1);
    EXPECT_EQ(lost.out(), "");
    EXPECT_EQ(read_file(dir / "history"), "old\n");
}

// Ten links back to the directory itself: a pattern eight levels deep
// names 10^8 paths, an expansion that would run for hours.
std::string endless_pattern(const TempDir& dir)
{
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(symlink(".", (dir / ("l" + std::to_string(i))).c_str()), 0);
    std::string pattern = "x " + dir.path();
    for (int level = 0; level < 8; ++level)
        pattern += "/*";
    return pattern + "/";
}

TEST_F(Faults, CompletionThatWouldNeverEndLeavesTheKeysWorking)
{
    TempDir dir;
    std::string text = endless_pattern(dir);
    Process& menu = start({}, "");
    ASSERT_TRUE(bar_appears());
    client_->type(text);
    client_->key(XK_Tab);
    ASSERT_TRUE(wait_until([&] { return !children().empty(); }));
    client_->key(XK_Escape);
    EXPECT_EQ(menu.wait(5000ms), 1);

    // Left alone, the child is stopped at its deadline and the input stays.
    Process& again = start({}, "");
    ASSERT_TRUE(bar_appears());
    client_->type(text);
    client_->key(XK_Tab);
    ASSERT_TRUE(wait_until([&] { return !children().empty(); }));
    EXPECT_TRUE(wait_until([&] { return child_state() == 0 || child_state() == 'Z'; }, 5000ms));
    client_->key(XK_Return, {XK_Shift_L});
    EXPECT_EQ(again.wait(), 0);
    EXPECT_EQ(again.out(), text + "\n");
}

// A file system whose server never answers the lookup of "hang", mounted on
// dir: a stand-in for a dead network mount. Stopped and unmounted on every
// way out, which also frees whoever is stuck in it.
class StuckMount {
public:
    explicit StuckMount(const std::string& dir)
        : dir_(dir), server_({"python3", SOURCE_DIR "/tests/stuck_lookup_fs.py", dir, "hang"})
    {
    }
    ~StuckMount()
    {
        server_.kill_now();
        umount2(dir_.c_str(), MNT_DETACH);
    }
    // Empty once mounted, else the reason it is not.
    std::string failure()
    {
        wait_until([&] { return !server_.out().empty() || !server_.running(); });
        if (server_.out() == "mounted\n")
            return "";
        return "no FUSE mount: " + server_.out() + server_.err();
    }

private:
    std::string dir_;
    Process server_;
};

TEST_F(Faults, CompletionStuckInTheKernelNeverHoldsTheMenu)
{
    if (access("/dev/fuse", R_OK | W_OK) != 0)
        GTEST_SKIP() << "no /dev/fuse to serve a file system that never answers";
    TempDir dir;
    StuckMount mount(dir.path());
    if (std::string failure = mount.failure(); !failure.empty())
        GTEST_SKIP() << failure;
    std::string text = "x " + dir.path() + "/hang/";

    Process& menu = start({}, "");
    ASSERT_TRUE(bar_appears());
    client_->type(text);
    client_->key(XK_Tab);
    ASSERT_TRUE(wait_until([&] { return child_state() == 'D'; }));
    client_->key(XK_Escape);
    EXPECT_EQ(menu.wait(3000ms), 1);

    // At the deadline the child is killed, which it does not notice; the
    // menu goes on with the input as it was.
    Process& again = start({}, "");
    ASSERT_TRUE(bar_appears());
    client_->type(text);
    client_->key(XK_Tab);
    ASSERT_TRUE(wait_until([&] { return child_state() == 'D'; }));
    ASSERT_TRUE(wait_until([&] { return child_killed(); }, 5000ms));
    EXPECT_EQ(child_state(), 'D');
    client_->type("more");
    client_->key(XK_Return, {XK_Shift_L});
    EXPECT_EQ(again.wait(3000ms), 0);
    EXPECT_EQ(again.out(), text + "more\n");
}

}  // namespace
