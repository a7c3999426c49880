// The history rewrite: what it holds, and that the file survives links,
// devices, missing permissions and two runs accepting at the same time.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "items_reference.h"
#include "ravlin/items/history_file.h"

using namespace items_reference;

namespace {

constexpr uid_t nobody = 65534;

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> names_in(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.emplace_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t mode_of(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

class TempDir {
public:
    TempDir()
    {
        char name[] = "/tmp/ravlin-history-XXXXXX";
        path_ = mkdtemp(name);
    }
    ~TempDir()
    {
        chmod(path_.c_str(), 0700);
        std::system(("rm -rf '" + path_ + "'").c_str());
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A run that read history_path (when it exists) and the given input, as
// startup does, ready to accept.
struct Accepting {
    StatePtr m = make_state();
    Settings s;
    std::string path;

    explicit Accepting(const std::string& history_path, const std::string& input = "") : path(history_path)
    {
        s.history_path = path.c_str();
        FILE* f = stream_of(input);
        load_entries(*m, s, f);
        std::fclose(f);
    }
    void accept(const char* chosen) { save_history(*m, s, chosen); }
};

// Runs body in a child process, as the unprivileged user when this one is
// root (so permission bits count). Returns false when that cannot be done.
bool as_unprivileged(const std::function<void()>& body)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0))
            _exit(2);
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void give_to_unprivileged(const std::string& path)
{
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), nobody, nobody), 0);
    }
}

}  // namespace

TEST(HistoryFile, RewriteHoldsTheAcceptedLineThenTheOthersInOrder)
{
    TempDir dir;
    std::string path = dir / "history";
    write_file(path, "beta\nalpha\n");
    Accepting run(path, "alpha\ngamma\n");
    run.accept("alpha");
    EXPECT_EQ(read_file(path), "alpha\nbeta\n");

    write_file(path, "beta\nalpha\n");
    Accepting other(path, "alpha\ngamma\n");
    other.accept("delta");
    EXPECT_EQ(read_file(path), "delta\nbeta\nalpha\n");
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"history"});
}

TEST(HistoryFile, EveryCopyOfTheAcceptedLineMovesToTheTop)
{
    TempDir dir;
    std::string path = dir / "history";
    write_file(path, "x\ny\nx\nz\n");
    Accepting(path).accept("x");
    EXPECT_EQ(read_file(path), "x\ny\nz\n");

    // The comparison is exact also under -i.
    write_file(path, "X\ny\n");
    Accepting folded(path);
    use_nocase_primitives(folded.s.match);
    folded.accept("x");
    EXPECT_EQ(read_file(path), "x\nX\ny\n");
}

TEST(HistoryFile, EmptyAcceptedTextOrNoPathWritesNothing)
{
    TempDir dir;
    std::string path = dir / "history";
    write_file(path, "keep\n");
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    Accepting(path).accept("");
    struct stat after;
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(read_file(path), "keep\n");
    EXPECT_EQ(before.st_ino, after.st_ino);

    auto m = make_state();
    Settings s;
    save_history(*m, s, "anything");
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"history"});
}

TEST(HistoryFile, MissingFileIsCreatedWithTheAcceptedLineAlone)
{
    TempDir dir;
    std::string path = dir / "history";
    mode_t mask = umask(022);
    Accepting(path, "a\nb\n").accept("b");
    umask(mask);
    EXPECT_EQ(read_file(path), "b\n");
    EXPECT_EQ(mode_of(path) & 07777, 0644u);
}

TEST(HistoryFile, OnlyTwentyLinesAreRememberedBelowTheAcceptedOne)
{
    TempDir dir;
    std::string path = dir / "history";
    std::string text, first_twenty;
    for (int i = 0; i < 25; ++i) {
        std::string line = "h" + std::to_string(i) + "\n";
        text += line;
        if (i < 20)
            first_twenty += line;
    }
    write_file(path, text);
    Accepting(path).accept("new");
    EXPECT_EQ(read_file(path), "new\n" + first_twenty);

    write_file(path, text);
    Accepting(path).accept("h3");
    std::string without_h3 = first_twenty;
    without_h3.erase(without_h3.find("h3\n"), 3);
    EXPECT_EQ(read_file(path), "h3\n" + without_h3);
}

TEST(HistoryFile, PermissionBitsSurviveTheRewrite)
{
    TempDir dir;
    std::string path = dir / "history";
    write_file(path, "old\n");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    Accepting(path).accept("new");
    EXPECT_EQ(read_file(path), "new\nold\n");
    EXPECT_EQ(mode_of(path) & 07777, 0640u);
}

TEST(HistoryFile, SymbolicLinkKeepsPointingAtTheRewrittenFile)
{
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "real").c_str(), 0700), 0);
    std::string target = dir / "real/history";
    write_file(target, "old\n");
    std::string link = dir / "link";
    ASSERT_EQ(symlink("real/history", link.c_str()), 0);
    std::string chain = dir / "chain";
    ASSERT_EQ(symlink(link.c_str(), chain.c_str()), 0);

    Accepting(chain).accept("new");
    EXPECT_TRUE(S_ISLNK(mode_of(chain)));
    EXPECT_TRUE(S_ISLNK(mode_of(link)));
    EXPECT_TRUE(S_ISREG(mode_of(target)));
    EXPECT_EQ(read_file(target), "new\nold\n");
    EXPECT_EQ(names_in(dir / "real"), std::vector<std::string>{"history"});

    // A dangling link gets its file created behind it.
    std::string dangling = dir / "dangling";
    ASSERT_EQ(symlink("real/fresh", dangling.c_str()), 0);
    Accepting(dangling).accept("first");
    EXPECT_TRUE(S_ISLNK(mode_of(dangling)));
    EXPECT_EQ(read_file(dir / "real/fresh"), "first\n");
}

TEST(HistoryFile, DevicesAndFifosAreWrittenInPlace)
{
    Accepting(std::string("/dev/null")).accept("x");
    EXPECT_TRUE(S_ISCHR(mode_of("/dev/null")));

    TempDir dir;
    std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = read_file(fifo); });
    auto m = make_state();
    Settings s;
    s.history_path = fifo.c_str();
    save_history(*m, s, "through");
    reader.join();
    EXPECT_EQ(received, "through\n");
    EXPECT_TRUE(S_ISFIFO(mode_of(fifo)));
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"fifo"});
}

TEST(HistoryFile, ReadOnlyFileIsLeftAsItWas)
{
    TempDir dir;
    give_to_unprivileged(dir.path());
    std::string path = dir / "history";
    write_file(path, "old\n");
    give_to_unprivileged(path);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    Accepting run(path);
    ASSERT_TRUE(as_unprivileged([&] { run.accept("new"); }));
    EXPECT_EQ(read_file(path), "old\n");
    EXPECT_EQ(mode_of(path) & 07777, 0444u);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"history"});
}

TEST(HistoryFile, UnwritableDirectoryLeavesTheFileAndCreatesNothing)
{
    TempDir dir;
    give_to_unprivileged(dir.path());
    std::string path = dir / "history";
    write_file(path, "old\n");
    give_to_unprivileged(path);
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);

    // No file can be put beside the history, so it is not replaced, and
    // not truncated and rewritten in place either.
    Accepting run(path);
    ASSERT_TRUE(as_unprivileged([&] { run.accept("new"); }));
    EXPECT_EQ(read_file(path), "old\n");

    Accepting fresh(dir / "none");
    ASSERT_TRUE(as_unprivileged([&] { fresh.accept("new"); }));
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"history"});
}

TEST(HistoryFile, WriteFailingHalfwayLeavesTheOldFile)
{
    TempDir dir;
    give_to_unprivileged(dir.path());
    std::string path = dir / "history";
    write_file(path, "old\n");
    give_to_unprivileged(path);
    Accepting run(path);
    std::string chosen(5000, 'n');
    // A file size limit makes the write fail as a full disk would.
    ASSERT_TRUE(as_unprivileged([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        run.accept(chosen.c_str());
    }));
    EXPECT_EQ(read_file(path), "old\n");
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"history"});
}

TEST(HistoryFile, TwoRunsAcceptingAtOnceNeverLeaveATornOrEmptyFile)
{
    TempDir dir;
    std::string path = dir / "history";
    std::string initial;
    for (int i = 0; i < 20; ++i)
        initial += std::string(1000, static_cast<char>('a' + i)) + "\n";
    write_file(path, initial);
    Accepting first(path), second(path);
    std::string chosen_a(3000, 'A'), chosen_b(5000, 'B');
    std::set<std::string> versions{initial, chosen_a + "\n" + initial, chosen_b + "\n" + initial};

    auto writer = [&](Accepting& run, const std::string& chosen) {
        pid_t pid = fork();
        if (pid == 0) {
            for (int i = 0; i < 150; ++i)
                run.accept(chosen.c_str());
            _exit(0);
        }
        return pid;
    };
    pid_t a = writer(first, chosen_a);
    pid_t b = writer(second, chosen_b);

    int reads = 0, bad = 0;
    std::string seen_bad;
    auto finished = [](pid_t pid) {
        int status;
        return waitpid(pid, &status, WNOHANG) == pid;
    };
    bool a_done = false, b_done = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!(a_done && b_done) && std::chrono::steady_clock::now() < deadline) {
        std::string now = read_file(path);
        ++reads;
        if (!versions.count(now)) {
            ++bad;
            seen_bad = now.substr(0, 40);
        }
        a_done = a_done || finished(a);
        b_done = b_done || finished(b);
    }
    ASSERT_TRUE(a_done && b_done) << "writers did not finish in time";
    EXPECT_EQ(bad, 0) << "of " << reads << " reads; one began '" << seen_bad << "'";
    EXPECT_GT(reads, 0);
    EXPECT_TRUE(versions.count(read_file(path)));
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"history"});
}
