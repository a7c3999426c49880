// The shell completions: what bash offers after each kind of option, and
// that the zsh functions parse.
#include <gtest/gtest.h>

#include <unistd.h>

#include "harness/harness.h"

using namespace harness;

namespace {

const std::string kBashCompletion = "/usr/share/bash-completion/bash_completion";

// The completions bash offers for the words of a command line (the last one
// being completed), one per line.
std::string complete(const std::string& function, const std::vector<std::string>& words)
{
    std::string script = "source " + kBashCompletion + "\n" + "source " SOURCE_DIR
                         "/completions/bash/ravlin\n" + "source " SOURCE_DIR
                         "/completions/bash/pathtest\n" + "COMP_WORDS=(";
    for (const std::string& word : words)
        script += " '" + word + "'";
    script += ")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\nCOMP_LINE=\"${COMP_WORDS[*]}\"\n"
              "COMP_POINT=${#COMP_LINE}\n" +
              function + " \"${COMP_WORDS[0]}\" \"${COMP_WORDS[-1]}\" \"${COMP_WORDS[-2]}\"\n"
              "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
    Result result = run({"bash", "--norc", "-c", script});
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
}

bool offers(const std::string& completions, const std::string& word)
{
    return ("\n" + completions).find("\n" + word + "\n") != std::string::npos;
}

TEST(Completions, BashKnowsWhatEachOptionTakes)
{
    if (access(kBashCompletion.c_str(), R_OK) != 0)
        GTEST_SKIP() << "bash-completion is not installed";
    TempDir dir;
    write_file(dir / "history-one", "");

    EXPECT_EQ(complete("_ravlin", {"ravlin", "-noi"}), "-noinput\n");
    std::string colors = complete("_ravlin", {"ravlin-run", "-sb", "Ghost"});
    EXPECT_TRUE(offers(colors, "GhostWhite")) << colors;
    EXPECT_FALSE(offers(colors, "ghost")) << "a name with a blank";
    EXPECT_TRUE(offers(complete("_ravlin", {"ravlin", "-nb", "sno"}), "snow"));
    std::string dark = complete("_ravlin", {"ravlin", "-nb", "dark"});
    EXPECT_TRUE(offers(dark, "darkblue") && !offers(dark, "DarkBlue")) << dark;
    EXPECT_TRUE(offers(complete("_ravlin", {"ravlin", "-nb", "DARKB"}), "DarkBlue"));
    EXPECT_TRUE(offers(complete("_ravlin", {"ravlin-apps", "-fn", "DejaVu"}), "DejaVu\\ Sans\\ Mono"));
    EXPECT_EQ(complete("_ravlin", {"ravlin", "-hist", dir / "hist"}), dir / "history-one\n");
    EXPECT_EQ(complete("_ravlin", {"ravlin", "-l", ""}), "\n");
    EXPECT_EQ(complete("_ravlin", {"ravlin", "-p", ""}), "\n");

    EXPECT_EQ(complete("_pathtest", {"pathtest", "-n", dir / "hist"}), dir / "history-one\n");
    EXPECT_TRUE(offers(complete("_pathtest", {"pathtest", "-"}), "-x"));
    EXPECT_EQ(complete("_pathtest", {"pathtest", "-fx", dir / "hist"}), dir / "history-one\n");
}

TEST(Completions, ZshFunctionsParse)
{
    if (access("/bin/zsh", X_OK) != 0)
        GTEST_SKIP() << "zsh is not installed";
    for (const char* file : {"_ravlin", "_pathtest"}) {
        Result result = run({"zsh", "-n", std::string(SOURCE_DIR "/completions/zsh/") + file});
        EXPECT_EQ(result.status, 0) << file << ": " << result.err;
    }
}

}  // namespace
