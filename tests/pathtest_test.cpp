// Black-box tests of the pathtest binary on real files in a temporary directory.

#include <gtest/gtest.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uid_t kNobody = 65534;
constexpr int kCannotDropPrivileges = 126;

struct RunResult {
    std::string out;
    std::string err;
    int status;  // exit status, or 128 + signal
    long peak_kib = 0;  // the child's peak resident size
};

struct Invocation {
    std::vector<std::string> argv;  // argv[0] included
    std::string input;
    std::string cwd;
    bool as_nobody = false;  // only switches when running as root
    int stdout_fd = -1;      // instead of the captured output
    bool close_stdout = false;
    int stdin_fd = -1;       // instead of input
};

int memory_file(const std::string& content)
{
    int fd = memfd_create("pathtest", MFD_CLOEXEC);
    if (fd < 0 || write(fd, content.data(), content.size()) != ssize_t(content.size()))
        ADD_FAILURE() << "memory file: " << strerror(errno);
    lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string take_contents(int fd)
{
    std::string content;
    char buffer[65536];
    ssize_t n;
    lseek(fd, 0, SEEK_SET);
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        content.append(buffer, n);
    close(fd);
    return content;
}

// Standard input, output and error are memory files, so nothing can block.
RunResult run(const Invocation& call)
{
    int in = memory_file(call.input);
    int out = memory_file("");
    int err = memory_file("");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(call.stdin_fd >= 0 ? call.stdin_fd : in, 0);
        dup2(call.stdout_fd >= 0 ? call.stdout_fd : out, 1);
        dup2(err, 2);
        if (call.close_stdout)
            close(1);
        if (chdir(call.cwd.c_str()) != 0)
            _exit(127);
        if (call.as_nobody && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(kCannotDropPrivileges);
        std::vector<char*> argv;
        for (const std::string& arg : call.argv)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(PATHTEST_BIN, argv.data());
        _exit(127);
    }
    close(in);
    int status = 0;
    struct rusage usage = {};
    wait4(pid, &status, 0, &usage);
    return {take_contents(out), take_contents(err),
            WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), usage.ru_maxrss};
}

std::string sorted(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line + "\n");
    std::sort(lines.begin(), lines.end());
    std::string joined;
    for (const std::string& line : lines)
        joined += line;
    return joined;
}

int remove_entry(const char* path, const struct stat*, int, FTW*)
{
    return remove(path);
}

class PathTest : public testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/pathtest-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr) << strerror(errno);
        root = name;
        // Reachable by the unprivileged user of the access tests.
        chmod(name, 0755);
    }

    void TearDown() override
    {
        if (!root.empty())
            nftw(root.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }

    std::string at(const std::string& name) const { return root + "/" + name; }

    void file(const std::string& name, mode_t mode = 0644, const std::string& content = "")
    {
        int fd = open(at(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0) << name << ": " << strerror(errno);
        ASSERT_EQ(write(fd, content.data(), content.size()), ssize_t(content.size()));
        close(fd);
        // chmod, not the creation mode, so the umask cannot drop bits.
        ASSERT_EQ(chmod(at(name).c_str(), mode), 0) << name;
    }

    void dir(const std::string& name, mode_t mode = 0755)
    {
        ASSERT_EQ(mkdir(at(name).c_str(), 0700), 0) << name << ": " << strerror(errno);
        ASSERT_EQ(chmod(at(name).c_str(), mode), 0) << name;
    }

    void link(const std::string& target, const std::string& name)
    {
        ASSERT_EQ(symlink(target.c_str(), at(name).c_str()), 0) << name;
    }

    // Modification time whole_seconds + nanoseconds.
    void set_mtime(const std::string& name, time_t whole_seconds, long nanoseconds)
    {
        timespec times[2] = {{whole_seconds, nanoseconds}, {whole_seconds, nanoseconds}};
        ASSERT_EQ(utimensat(AT_FDCWD, at(name).c_str(), times, 0), 0) << name;
    }

    RunResult pathtest(std::vector<std::string> args, const std::string& input = "")
    {
        args.insert(args.begin(), "pathtest");
        return run({args, input, root});
    }

    // pathtest with options, then paths as operands.
    RunResult over(std::vector<std::string> options, const std::vector<std::string>& paths,
                   bool as_nobody = false)
    {
        options.insert(options.begin(), "pathtest");
        options.insert(options.end(), paths.begin(), paths.end());
        return run({options, "", root, as_nobody});
    }

    std::string root;
};

TEST_F(PathTest, WithoutTestsEveryExistingVisiblePathIsPrintedInOrder)
{
    file("tool");
    dir("dir");
    file("dir/.hidden");
    file(".hidden");
    link("nowhere", "dangling");

    RunResult r = pathtest({"tool", "dir", "missing", "dangling", ".hidden", "./tool", "../tool",
                            "dir/.hidden", "", "tool"});
    EXPECT_EQ(r.out, "tool\ndir\ndir/.hidden\ntool\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);

    r = pathtest({"-a", ".hidden", "./tool", "dangling", "missing"});
    EXPECT_EQ(r.out, ".hidden\n./tool\n");

    r = pathtest({"missing", ".hidden", "dangling"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);

    // Only the first byte counts, even where it is a parent directory.
    EXPECT_EQ(run({{"pathtest", "../tool", ".hidden"}, "", at("dir")}).out, "");
    EXPECT_EQ(run({{"pathtest", "-a", "../tool", ".hidden"}, "", at("dir")}).out,
              "../tool\n.hidden\n");
}

TEST_F(PathTest, TypeTestsFollowSymbolicLinks)
{
    file("regular");
    dir("directory");
    ASSERT_EQ(mkfifo(at("fifo").c_str(), 0644), 0);
    link("regular", "to-regular");
    link("directory", "to-directory");
    link("/dev/null", "to-null");
    const std::vector<std::string> all = {"regular", "directory", "fifo", "/dev/null",
                                          "to-regular", "to-directory", "to-null"};
    EXPECT_EQ(over({"-f"}, all).out, "regular\nto-regular\n");
    EXPECT_EQ(over({"-d"}, all).out, "directory\nto-directory\n");
    EXPECT_EQ(over({"-p"}, all).out, "fifo\n");
    EXPECT_EQ(over({"-c"}, all).out, "/dev/null\nto-null\n");
    EXPECT_EQ(over({"-b"}, all).out, "");
    EXPECT_EQ(over({"-fd"}, all).out, "");
}

TEST_F(PathTest, BlockSpecialFilePassesOnlyTheBlockTest)
{
    if (mknod(at("block").c_str(), S_IFBLK | 0600, makedev(7, 0)) != 0)
        GTEST_SKIP() << "cannot make a block device node here: " << strerror(errno);
    file("regular");
    EXPECT_EQ(pathtest({"-b", "block", "regular", "/dev/null"}).out, "block\n");
    EXPECT_EQ(pathtest({"-c", "block"}).out, "");
}

TEST_F(PathTest, SymbolicLinkTestNeedsALinkToSomethingThatExists)
{
    file("regular");
    dir("directory");
    link("regular", "to-regular");
    link("directory", "to-directory");
    link("nowhere", "dangling");
    link("dangling", "to-dangling");

    RunResult r = pathtest({"-h", "regular", "to-regular", "directory", "to-directory", "dangling",
                            "to-dangling"});
    EXPECT_EQ(r.out, "to-regular\nto-directory\n");
    EXPECT_EQ(pathtest({"-ha", "dangling", "to-dangling"}).status, 1);
    EXPECT_EQ(pathtest({"-hf", "to-regular", "to-directory"}).out, "to-regular\n");
}

TEST_F(PathTest, ModeAndSizeTestsReadTheFileStatus)
{
    file("setuid", 04755);
    file("setgid", 02755);
    file("both", 06755);
    file("plain", 0755, "x");
    file("empty", 0644);
    const std::vector<std::string> all = {"setuid", "setgid", "both", "plain", "empty"};
    EXPECT_EQ(over({"-u"}, all).out, "setuid\nboth\n");
    EXPECT_EQ(over({"-g"}, all).out, "setgid\nboth\n");
    EXPECT_EQ(over({"-ug"}, all).out, "both\n");
    EXPECT_EQ(over({"-s"}, all).out, "plain\n");
    EXPECT_EQ(over({"-e"}, all).out, "setuid\nsetgid\nboth\nplain\nempty\n");
}

TEST_F(PathTest, TimeTestsAreStrictInWholeSeconds)
{
    const time_t second = 1700000000;
    for (const char* name : {"reference", "earlier", "same-start", "same-end", "later"})
        file(name);
    set_mtime("reference", second, 500000000);
    set_mtime("earlier", second - 1, 999999999);
    set_mtime("same-start", second, 0);
    set_mtime("same-end", second, 999999999);
    set_mtime("later", second + 1, 0);
    const std::vector<std::string> candidates = {"earlier", "same-start", "same-end", "later"};
    EXPECT_EQ(over({"-n", "reference"}, candidates).out, "later\n");
    EXPECT_EQ(over({"-o", "reference"}, candidates).out, "earlier\n");
    EXPECT_EQ(over({"-n", "earlier", "-o", "later"}, candidates).out, "same-start\nsame-end\n");
}

TEST_F(PathTest, LastReferenceFileOfALetterDecides)
{
    file("reference");
    file("older");
    file("newer");
    set_mtime("reference", 1700000000, 0);
    set_mtime("older", 1600000000, 0);
    set_mtime("newer", 1800000000, 0);

    RunResult r = pathtest({"-n", "missing", "-n", "reference", "older", "newer"});
    EXPECT_EQ(r.out, "newer\n");
    EXPECT_EQ(r.err, "missing: No such file or directory\n");
    EXPECT_EQ(r.status, 0);

    r = pathtest({"-o", "reference", "-o", "missing", "-n", "gone", "older", "newer"});
    EXPECT_EQ(r.out, "older\nnewer\n");
    EXPECT_EQ(r.err,
              "missing: No such file or directory\ngone: No such file or directory\n");
    EXPECT_EQ(r.status, 0);
}

TEST_F(PathTest, StandardInputLinesAreTestedWholeAtAnyLength)
{
    file("tool");
    dir("dir");
    file("dir/.hidden");
    // Cut at 1023 bytes these lines would yield "/" and the rest, and "/"
    // would pass.
    const std::string slashes(1023, '/');
    const std::string long_line = slashes + at("tool");

    RunResult r = pathtest({}, "tool\n\n./tool\ndir/.hidden\nmissing\n" + long_line + "\n" +
                                   slashes + at("missing") + "\ndir");
    EXPECT_EQ(r.out, "tool\ndir/.hidden\n" + long_line + "\ndir\n");
    EXPECT_EQ(r.status, 0);

    EXPECT_EQ(pathtest({"-l", "-d"}, "dir\ntool\n").out, "dir\n");
    EXPECT_EQ(pathtest({}, "").status, 1);
}

TEST_F(PathTest, ListingPrintsBareEntryNamesOfEachOperandInTurn)
{
    dir("one");
    file("one/a");
    file("one/.hidden");
    dir("one/sub");
    dir("two");
    file("two/b", 0755);
    file("plain");

    RunResult r = pathtest({"-l", "two", "plain", "missing", "one/sub"});
    EXPECT_EQ(r.out, "b\nplain\n");
    EXPECT_EQ(r.status, 0);

    EXPECT_EQ(sorted(pathtest({"-l", "one"}).out), "a\nsub\n");
    EXPECT_EQ(sorted(pathtest({"-la", "one"}).out), ".\n..\n.hidden\na\nsub\n");
    EXPECT_EQ(pathtest({"-l", "missing", "one/sub"}).status, 1);
}

TEST_F(PathTest, ListingTestsDotEntriesRelativeToTheListedDirectory)
{
    // Bits set after the inner directory exists, so it inherits none.
    dir("outer");
    dir("outer/inner");
    file("outer/inner/file", 06755);
    ASSERT_EQ(chmod(at("outer").c_str(), 02755), 0);
    ASSERT_EQ(chmod(at("outer/inner").c_str(), 04755), 0);

    EXPECT_EQ(sorted(pathtest({"-lau", "outer/inner"}).out), ".\nfile\n");
    EXPECT_EQ(sorted(pathtest({"-lag", "outer/inner"}).out), "..\nfile\n");
    EXPECT_EQ(pathtest({"-lu", "outer/inner"}).out, "file\n");
}

TEST_F(PathTest, PathsBeyondOneKilobyteAreTestedFromInputAndListing)
{
    // About 3800 bytes: well past the old 1024-byte buffer, below PATH_MAX.
    const std::string component(200, 'd');
    std::string deep;
    int fd = open(root.c_str(), O_DIRECTORY | O_RDONLY);
    ASSERT_GE(fd, 0);
    for (int depth = 0; depth < 19; ++depth) {
        ASSERT_EQ(mkdirat(fd, component.c_str(), 0755), 0) << strerror(errno);
        int next = openat(fd, component.c_str(), O_DIRECTORY | O_RDONLY);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        deep += (depth ? "/" : "") + component;
    }
    const std::string leaf(250, 'f');
    int leaf_fd = openat(fd, leaf.c_str(), O_WRONLY | O_CREAT, 0755);
    ASSERT_GE(leaf_fd, 0);
    close(leaf_fd);
    ASSERT_EQ(mkdirat(fd, "sub", 0755), 0);
    close(fd);
    ASSERT_GT(deep.size(), 3800u);

    RunResult r = pathtest({"-f"}, deep + "/" + leaf + "\n" + deep + "/sub\n");
    EXPECT_EQ(r.out, deep + "/" + leaf + "\n");

    EXPECT_EQ(sorted(pathtest({"-l", deep}).out), leaf + "\nsub\n");
    EXPECT_EQ(pathtest({"-lfx", deep}).out, leaf + "\n");
}

TEST_F(PathTest, QuietPrintsNothingAndTellsByStatus)
{
    file("tool");
    RunResult r = pathtest({"-q", "missing", "tool", "tool"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);

    r = pathtest({"-q", "-d", "tool"}, "tool\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);
}

TEST_F(PathTest, UsageErrorsExitWithStatusTwo)
{
    const std::string usage = "usage: pt [-abcdefghlpqrsuwx] [-n file] [-o file] [file...]\n";
    RunResult r = run({{"pt", "-f", "-z", "tool"}, "", root});
    EXPECT_EQ(r.err, "pt: invalid option -- 'z'\n" + usage);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 2);

    r = run({{"pt", "-o"}, "", root});
    EXPECT_EQ(r.err, "pt: option requires an argument -- 'o'\n" + usage);
    EXPECT_EQ(r.status, 2);
}

TEST_F(PathTest, AccessTestsAnswerForTheRealUser)
{
    // Owner, group and others get the same bits, so the answers hold for
    // whoever runs the binary once root has dropped to nobody.
    file("readable", 0444);
    file("writable", 0222);
    file("executable", 0111);
    file("none", 0000);
    dir("directory", 0555);
    const std::vector<std::string> all = {"readable", "writable", "executable", "none",
                                          "directory"};
    RunResult probe = over({"-e"}, all, true);
    if (probe.status == kCannotDropPrivileges)
        GTEST_SKIP() << "cannot switch to user " << kNobody;
    if (probe.out.empty())
        GTEST_SKIP() << "user " << kNobody << " cannot reach " << root;
    EXPECT_EQ(probe.out, "readable\nwritable\nexecutable\nnone\ndirectory\n");
    EXPECT_EQ(over({"-r"}, all, true).out, "readable\ndirectory\n");
    EXPECT_EQ(over({"-w"}, all, true).out, "writable\n");
    EXPECT_EQ(over({"-x"}, all, true).out, "executable\ndirectory\n");
}

// The entry names of a directory in the order readdir gives them.
std::vector<std::string> listing(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* entry = readdir(dir))
            names.push_back(entry->d_name);
        closedir(dir);
    }
    return names;
}

TEST_F(PathTest, ListingAnswersAsTheFullStatusOfEveryEntry)
{
    // Under -l the type may come from the directory entry instead of stat;
    // the names read as input lines, in the listed directory, always get a
    // stat. Both must print the same, for root and for an unprivileged user.
    file("plain");
    file("tool", 0755);
    file("setuid", 04755, "x");
    file("sized", 0600, "data");
    file("none", 0000);
    file(".hidden", 0755);
    file("reference");
    set_mtime("reference", 1700000000, 0);
    set_mtime("plain", 1800000000, 0);
    dir("sub");
    file("sub/inner", 0755);
    dir("private", 0700);
    dir("unsearchable", 0644);  // readable, but only root may look names up
    file("unsearchable/inside", 0755);
    dir("unsearchable/deeper");
    ASSERT_EQ(mkfifo(at("fifo").c_str(), 0644), 0);
    mknod(at("char").c_str(), S_IFCHR | 0666, makedev(1, 3));  // where the system lets us
    mknod(at("block").c_str(), S_IFBLK | 0600, makedev(7, 0));
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", at("socket").c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(sock);
    link("plain", "to-plain");
    link("tool", "to-tool");
    link("sub", "to-sub");
    link("/dev/null", "to-null");
    link("nowhere", "dangling");
    link("dangling", "to-dangling");
    link("loop", "loop");

    const std::vector<std::vector<std::string>> option_sets = {
        {}, {"-a"}, {"-b"}, {"-c"}, {"-d"}, {"-ae"}, {"-f"}, {"-g"}, {"-ah"}, {"-p"}, {"-r"},
        {"-s"}, {"-u"}, {"-w"}, {"-x"}, {"-fx"}, {"-adx"}, {"-fr"}, {"-n", at("reference")},
        {"-o", at("reference")}, {"-cw"}};
    for (bool as_nobody : {false, true}) {
        for (const std::string& directory : {root, at("unsearchable"), at("sub"), std::string("/dev")}) {
            std::string names;
            for (const std::string& name : listing(directory))
                names += name + "\n";
            for (std::vector<std::string> options : option_sets) {
                SCOPED_TRACE((as_nobody ? "nobody: " : "root: ") + directory + " " +
                             (options.empty() ? "" : options[0]));
                options.insert(options.begin(), "pathtest");
                RunResult full = run({options, names, directory, as_nobody});
                if (full.status == kCannotDropPrivileges)
                    GTEST_SKIP() << "cannot switch to user " << kNobody << "; the root half passed";
                // The same input, so /dev/stdin looks the same to both.
                options.insert(options.end(), {"-l", directory});
                RunResult listed = run({options, names, root, as_nobody});
                EXPECT_EQ(listed.out, full.out);
                EXPECT_EQ(listed.status, full.status);
            }
        }
    }
}

TEST_F(PathTest, WriteErrorOnStandardOutputIsNoSuccess)
{
    file("tool");
    int full = open("/dev/full", O_WRONLY);
    if (full < 0)
        GTEST_SKIP() << "/dev/full: " << strerror(errno);
    RunResult r = run({{"pathtest", "tool"}, "", root, false, full});
    EXPECT_EQ(r.err, std::string("pathtest: write error: ") + strerror(ENOSPC) + "\n");
    EXPECT_EQ(r.status, 2);

    // Nothing to write, nothing to fail.
    r = run({{"pathtest", "missing"}, "", root, false, full});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 1);
    close(full);
}

TEST_F(PathTest, ClosedStandardOutputIsAWriteError)
{
    file("tool");
    Invocation call{{"pathtest", "tool"}, "", root};
    call.close_stdout = true;
    RunResult r = run(call);
    EXPECT_EQ(r.err, std::string("pathtest: write error: ") + strerror(EBADF) + "\n");
    EXPECT_EQ(r.status, 2);
}

TEST_F(PathTest, OverlongLineIsPassedOverInBoundedMemory)
{
    file("tool");
    // Longer than any path, written piecewise so that this process stays
    // small: the child's peak counts what it inherits.
    int input = memory_file("");
    std::string piece(1 << 20, 'x');
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(write(input, piece.data(), piece.size()), ssize_t(piece.size()));
    // A NUL ends a name early, as it always did.
    std::string rest = std::string("\ntool\ntool") + '\0' + "junk\n";
    ASSERT_EQ(write(input, rest.data(), rest.size()), ssize_t(rest.size()));
    lseek(input, 0, SEEK_SET);
    Invocation call{{"pathtest", "-f"}, "", root};
    call.stdin_fd = input;
    RunResult r = run(call);
    close(input);
    EXPECT_EQ(r.out, "tool\ntool\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_LT(r.peak_kib, 32 << 10);
}

}  // namespace

namespace {

TEST_F(PathTest, LinesAcrossReadBoundariesAreTestedWhole)
{
    file("tool");
    file("toolbox");
    dir("d");
    // Lines of every length near a read's end: some must straddle one.
    std::string input, expected;
    for (int i = 0; input.size() < 300000; ++i) {
        std::string line = std::string(i % 7 ? "" : "d/../") + (i % 3 == 0   ? "tool"
                                                                : i % 3 == 1 ? "toolbox"
                                                                             : "absent");
        input += line + "\n";
        if (i % 3 != 2)
            expected += line + "\n";
    }
    RunResult r = run({{"pathtest", "-f"}, input, root});
    EXPECT_TRUE(r.out == expected) << r.out.size() << " bytes printed, " << expected.size()
                                   << " expected";
}

}  // namespace
