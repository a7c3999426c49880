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
    auto m = make_state();
    Settings s;
    s.history_path = fifo.c_str();
    // Nobody reading: skipped at once rather than waited for.
    save_history(*m, s, "lost");

    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    save_history(*m, s, "through");
    char received[64] = {};
    EXPECT_EQ(read(reader, received, sizeof received - 1), 8);
    close(reader);
    EXPECT_STREQ(received, "through\n");
    EXPECT_TRUE(S_ISFIFO(mode_of(fifo)));
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"fifo"});

    // Nor does a FIFO without a writer hold up the start.
    Accepting start(fifo, "entry\n");
    EXPECT_EQ(start.m->history.count, 0);
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

// The history as a starting menu reads it: under the shared lock.
std::string read_as_menu(const std::string& path)
{
    std::string text;
    if (FILE* f = open_history(path.c_str())) {
        for (int c; (c = std::fgetc(f)) != EOF;)
            text += static_cast<char>(c);
        std::fclose(f);
    }
    return text;
}

TEST(HistoryFile, WritableFileWhoseDirectoryRefusesIsRewrittenInPlace)
{
    TempDir dir;
    give_to_unprivileged(dir.path());
    std::string path = dir / "history";
    write_file(path, "old\n");
    give_to_unprivileged(path);
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    Accepting run(path);
    ASSERT_TRUE(as_unprivileged([&] { run.accept("new"); }));
    EXPECT_EQ(read_file(path), "new\nold\n");
    struct stat after;
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    // A file that does not exist yet cannot be made there.
    Accepting fresh(dir / "none");
    ASSERT_TRUE(as_unprivileged([&] { fresh.accept("new"); }));
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"history"});

    // A sticky directory refuses the rename over a file someone else owns.
    TempDir sticky;
    ASSERT_EQ(chmod(sticky.path().c_str(), 01777), 0);
    std::string shared = sticky / "history";
    write_file(shared, "theirs\n");
    ASSERT_EQ(chmod(shared.c_str(), 0666), 0);
    Accepting other(shared);
    ASSERT_TRUE(as_unprivileged([&] { other.accept("mine"); }));
    EXPECT_EQ(read_file(shared), "mine\ntheirs\n");
    EXPECT_EQ(names_in(sticky.path()), std::vector<std::string>{"history"});

    // Rewrites in place take turns: a start reads one whole version.
    std::string initial;
    for (int i = 0; i < 20; ++i)
        initial += std::string(1000, static_cast<char>('a' + i)) + "\n";
    write_file(path, initial);
    Accepting first(path), second(path);
    std::string chosen_a(3000, 'A'), chosen_b(500, 'B');
    std::set<std::string> versions{initial, chosen_a + "\n" + initial, chosen_b + "\n" + initial};
    auto writer = [&](Accepting& run, const std::string& chosen) {
        pid_t pid = fork();
        if (pid == 0)
            _exit(as_unprivileged([&] {
                      for (int i = 0; i < 100; ++i)
                          run.accept(chosen.c_str());
                  })
                      ? 0
                      : 1);
        return pid;
    };
    pid_t a = writer(first, chosen_a), b = writer(second, chosen_b);
    int bad = 0, left = 2;
    while (left > 0) {
        bad += !versions.count(read_as_menu(path));
        for (pid_t* pid : {&a, &b})
            if (*pid > 0 && waitpid(*pid, nullptr, WNOHANG) == *pid) {
                *pid = -1;
                --left;
            }
    }
    EXPECT_EQ(bad, 0);
    EXPECT_TRUE(versions.count(read_file(path)));
}

TEST(HistoryFile, SaveKilledAtAnyMomentLeavesNoFileBehind)
{
    TempDir dir;
    std::string path = dir / "history";
    write_file(path, "old\n");
    Accepting run(path);
    std::string chosen(20000, 'k');
    for (int round = 0; round < 40; ++round) {
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        pid_t pid = fork();
        if (pid == 0) {
            close(progress[0]);
            for (;;) {
                run.accept(chosen.c_str());
                if (write(progress[1], "s", 1) != 1)
                    _exit(1);
            }
        }
        close(progress[1]);
        // One save is done, so the kill falls somewhere into another.
        char c;
        ASSERT_EQ(read(progress[0], &c, 1), 1);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(progress[0]);
    }
    EXPECT_EQ(read_file(path), chosen + "\nold\n");
    // A kill between naming the new version and the rename leaves the
    // name; the next save takes away those of processes that are gone, and
    // only those.
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    for (char* c = host; *c; ++c)
        if (*c == '/' || *c == '.')
            *c = '_';
    std::string leftover = ".history." + std::string(host) + ".";
    write_file(dir / (leftover + "4194303.0.tmp"), "gone\n");
    write_file(dir / (leftover + "1.0.tmp"), "still saving\n");
    run.accept(chosen.c_str());
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{leftover + "1.0.tmp", "history"}));
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
