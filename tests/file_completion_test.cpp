#include "ravlin/control/file_completion.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <random>
#include <fstream>

#include "harness/harness.h"
#include "menu_fixture.h"

using harness::TempDir;
using menu_fixture::filter_runs;
using menu_fixture::Menu;

namespace {

void touch(const std::string& path)
{
    std::ofstream{path};
}

// Runs the completion with the working directory at dir.
class InDirectory {
public:
    explicit InDirectory(const std::string& dir) : old_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~InDirectory() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

std::string completed(Menu& menu, const std::string& text)
{
    menu.set_input(text);
    complete_file_name(menu.m);
    EXPECT_EQ(menu.m.cursor, static_cast<int32_t>(std::strlen(menu.m.input)));
    return menu.input();
}

TEST(FileCompletion, CompletesTheCommonStartOfMatchingNames)
{
    TempDir dir;
    touch(dir / "ab1");
    touch(dir / "ab2");
    touch(dir / "other");
    Menu menu({"cmd one", "cmd two"});
    EXPECT_EQ(completed(menu, "cmd " + dir.path() + "/a"), "cmd " + dir.path() + "/ab");
    EXPECT_EQ(completed(menu, "cmd " + dir.path() + "/o"), "cmd " + dir.path() + "/other");
}

TEST(FileCompletion, NamesPartingInsideACharacterKeepNoneOfIt)
{
    TempDir dir;
    touch(dir / "caf\xc3\xa9" "1");  // é
    touch(dir / "caf\xc3\xa8" "1");  // è
    Menu menu({"x"});
    EXPECT_EQ(completed(menu, "cmd " + dir.path() + "/c"), "cmd " + dir.path() + "/caf");
}

TEST(FileCompletion, EscapesBlanksInsideCompletedNames)
{
    TempDir dir;
    touch(dir / "my file");
    Menu menu({});
    InDirectory here(dir.path());
    EXPECT_EQ(completed(menu, "cmd my"), "cmd my\\ file");

    touch(dir / "my fine");
    // The common start is found across the backslash.
    EXPECT_EQ(completed(menu, "cmd my"), "cmd my\\ fi");
}

TEST(FileCompletion, LoneAsteriskCompletesTheWorkingDirectory)
{
    TempDir dir;
    touch(dir / "report-1");
    touch(dir / "report-2");
    Menu menu({});
    InDirectory here(dir.path());
    EXPECT_EQ(completed(menu, "open "), "open report-");
}

TEST(FileCompletion, WorksWhenStartedWithChildSignalsIgnored)
{
    TempDir dir;
    touch(dir / "only");
    Menu menu({});
    struct sigaction ignore = {}, old;
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGCHLD, &ignore, &old);
    EXPECT_EQ(completed(menu, "cmd " + dir.path() + "/o"), "cmd " + dir.path() + "/only");
    struct sigaction still;
    sigaction(SIGCHLD, nullptr, &still);
    EXPECT_EQ(still.sa_handler, SIG_IGN);
    sigaction(SIGCHLD, &old, nullptr);
}

TEST(FileCompletion, NoMatchLeavesTheAsterisk)
{
    TempDir dir;
    Menu menu({});
    EXPECT_EQ(completed(menu, "cmd " + dir.path() + "/zz"), "cmd " + dir.path() + "/zz*");
}

TEST(FileCompletion, LeavesTheMatchListAlone)
{
    TempDir dir;
    touch(dir / "data");
    Menu menu({"cmd a", "cmd b"}, {.lines = 5});
    menu.set_input("cmd ");
    menu.show("cmd a", "cmd b");
    std::string text = "cmd " + dir.path() + "/d";
    std::memcpy(menu.m.input, text.c_str(), text.size() + 1);
    complete_file_name(menu.m);
    EXPECT_EQ(menu.input(), "cmd " + dir.path() + "/data");
    EXPECT_EQ(menu.selected(), "cmd b");
    EXPECT_EQ(filter_runs, 0);
}

TEST(FileCompletion, RunsNoCommands)
{
    TempDir dir;
    Menu menu({});
    for (std::string word : {"$(touch " + dir.path() + "/X)", "`touch " + dir.path() + "/X`",
                             "a$(touch " + dir.path() + "/X)b"}) {
        EXPECT_EQ(completed(menu, "cmd " + word), "cmd " + word);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "X"));
}

TEST(FileCompletion, ErrorOperatorNeitherCrashesNorChangesTheInput)
{
    TempDir dir;
    touch(dir / "file");
    InDirectory here(dir.path());
    Menu menu({});
    const char* old = std::getenv("X");
    std::string saved = old ? old : "";
    for (bool empty : {false, true}) {
        if (empty)
            setenv("X", "", 1);
        else
            unsetenv("X");
        testing::internal::CaptureStderr();
        for (std::string text : {"cmd ${X:?}", "cmd ${X?}", "cmd ${X:?msg}", "cmd a${X?}b"})
            EXPECT_EQ(completed(menu, text), text) << (empty ? "X empty" : "X unset");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
    if (old)
        setenv("X", saved.c_str(), 1);
    else
        unsetenv("X");
}

TEST(FileCompletion, TildeParametersAndQuotingStillExpand)
{
    TempDir dir;
    touch(dir / "notes one");
    touch(dir / "notes two");
    setenv("RAVLIN_TEST_DIR", dir.path().c_str(), 1);
    Menu menu({});
    EXPECT_EQ(completed(menu, "cmd $RAVLIN_TEST_DIR/n"), "cmd " + dir.path() + "/notes\\ ");
    EXPECT_EQ(completed(menu, "cmd ${RAVLIN_TEST_DIR:-/nowhere}/notes\\ o"),
              "cmd " + dir.path() + "/notes\\ one");
    EXPECT_EQ(completed(menu, "cmd '" + dir.path() + "/notes t'"),
              "cmd " + dir.path() + "/notes\\ two");
    unsetenv("RAVLIN_TEST_DIR");

    setenv("HOME", dir.path().c_str(), 1);  // ctest gives each test binary its own process
    EXPECT_EQ(completed(menu, "cmd ~/notes\\ t"), "cmd " + dir.path() + "/notes\\ two");
}

TEST(FileCompletion, CompletionThatDoesNotFitIsRefusedWhole)
{
    TempDir dir;
    std::string name(200, 'n');
    touch(dir / name);
    Menu menu({});
    std::string head(1023 - dir.path().size() - 1 - 150, 'h');
    std::string text = head + " " + dir.path() + "/n";
    ASSERT_LT(text.size(), 1023u);
    EXPECT_EQ(completed(menu, text), text);

    // A full line has no room for the asterisk.
    std::string full = "cmd " + std::string(1019, 'z');
    EXPECT_EQ(completed(menu, full), full);
    // One byte less takes it: nothing matches, so it stays.
    std::string almost = "cmd " + std::string(1018, 'z');
    EXPECT_EQ(completed(menu, almost), almost + "*");
}

}  // namespace

namespace {

TEST(FileCompletion, WordsReadInAnyPiecesGiveTheCommonStartOfAll)
{
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> words(1 + random() % 6);
        for (std::string& word : words)
            for (int n = random() % 6; n > 0; --n)
                word += "ab "[random() % 3];
        std::string stream;
        for (const std::string& word : words)
            stream += word + '\0';
        CompletionWords collected;
        for (size_t at = 0; at < stream.size();) {
            size_t piece = std::min<size_t>(1 + random() % 4, stream.size() - at);
            collected.feed(stream.data() + at, piece);
            at += piece;
        }
        const std::string& first = words[0];
        size_t shared = first.size();
        for (const std::string& word : words) {
            auto differs = std::mismatch(word.begin(), word.end(), first.begin(), first.end());
            shared = std::min(shared, static_cast<size_t>(differs.first - word.begin()));
        }
        ASSERT_TRUE(collected.have_first);
        EXPECT_EQ(collected.first, first);
        EXPECT_EQ(collected.first_blanks, static_cast<size_t>(std::count(first.begin(), first.end(), ' ')));
        EXPECT_EQ(collected.shared, shared) << round;
    }
}

}  // namespace
