// The Exec command line: quoting undone, then field codes expanded.
#include <gtest/gtest.h>

#include "ravlin-apps/exec_line.h"
#include "ravlin-apps/key_file.h"

namespace {

using Words = std::vector<std::string>;

TEST(ExecLine, SplitUndoesQuotingAtUnquotedBlanks)
{
    const std::pair<const char*, Words> cases[] = {
        {"viewer", {"viewer"}},
        {"  viewer \t -a  b ", {"viewer", "-a", "b"}},
        {R"("/opt/My App/run" "a b")", {"/opt/My App/run", "a b"}},
        {R"(echo "\"q\" \`t\` \$HOME \\")", {"echo", R"("q" `t` $HOME \)"}},
        {R"(echo "keep \n and \x")", {"echo", R"(keep \n and \x)"}},
        {R"(echo --opt="a b"c "")", {"echo", "--opt=a bc", ""}},
        {R"(sh -c 'echo "$1" \ done' x)", {"sh", "-c", R"(echo "$1" \ done)", "x"}},
        {R"(echo a\ b \$x)", {"echo", "a b", "$x"}},
        {"", {}},
    };
    for (const auto& [line, words] : cases)
        EXPECT_EQ(split_exec(line), words) << line;
}

TEST(ExecLine, SplitRefusesOpenQuotesAndATrailingBackslash)
{
    for (const char* line : {R"(viewer "open)", "viewer 'open", R"(viewer "a\")", "viewer \\"})
        EXPECT_EQ(split_exec(line), std::nullopt) << line;
}

TEST(ExecLine, StringEscapesAreUndoneBeforeTheQuoting)
{
    // As written in the file: four backslashes for one inside quotes, \s a blank.
    EXPECT_EQ(split_exec(unescape_value(R"(echo "a\\\\b" "\\$x" c\sd)")),
              (Words{"echo", R"(a\b)", "$x", "c", "d"}));
}

TEST(ExecLine, FieldCodesForAStartWithoutFiles)
{
    FieldValues values{"viewer-icon", "Image Viewer", "/usr/share/applications/v.desktop"};
    const std::pair<Words, Words> cases[] = {
        {{"viewer", "%f"}, {"viewer"}},
        {{"viewer", "%F", "%u", "%U", "-x"}, {"viewer", "-x"}},
        {{"viewer", "--file=%f"}, {"viewer", "--file="}},
        {{"viewer", "%i"}, {"viewer", "--icon", "viewer-icon"}},
        {{"viewer", "%c", "%k"}, {"viewer", "Image Viewer", "/usr/share/applications/v.desktop"}},
        {{"viewer", "--title=%c"}, {"viewer", "--title=Image Viewer"}},
        {{"viewer", "100%%", "%%f"}, {"viewer", "100%", "%f"}},
        {{"viewer", "%d", "%D", "%n", "%N", "%v", "%m"}, {"viewer"}},
        {{"viewer", ""}, {"viewer", ""}},
    };
    for (const auto& [words, expanded] : cases)
        EXPECT_EQ(expand_field_codes(words, values), expanded) << words[1];

    EXPECT_EQ(expand_field_codes({"viewer", "%i"}, {"", "Viewer", "/v.desktop"}), Words{"viewer"});
}

TEST(ExecLine, UnknownFieldCodesAndAnEmptyProgramMakeTheLineInvalid)
{
    FieldValues values{"", "Viewer", "/v.desktop"};
    for (const Words& words : {Words{"viewer", "%x"}, Words{"viewer", "50%"}, Words{"", "a"},
                               Words{}, Words{"%U"}})
        EXPECT_EQ(expand_field_codes(words, values), std::nullopt)
            << (words.empty() ? "" : words.back());
}

}  // namespace
