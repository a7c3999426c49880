#include "ravlin/control/line_editing.h"

#include <gtest/gtest.h>

#include "menu_fixture.h"

using menu_fixture::filter_runs;
using menu_fixture::Menu;

namespace {

// a, e-acute (2 bytes), euro sign (3), a grinning face (4), b.
const std::string mixed = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80" "b";

TEST(LineEditing, CursorStepsOverTwoThreeAndFourByteCharacters)
{
    Menu menu({});
    menu.set_input(mixed, 0);
    std::vector<int32_t> forward;
    while (menu.m.input[menu.m.cursor] != '\0')
        forward.push_back(menu.m.cursor = char_boundary(menu.m, +1));
    EXPECT_EQ(forward, (std::vector<int32_t>{1, 3, 6, 10, 11}));

    std::vector<int32_t> backward;
    while (menu.m.cursor > 0)
        backward.push_back(menu.m.cursor = char_boundary(menu.m, -1));
    EXPECT_EQ(backward, (std::vector<int32_t>{10, 6, 3, 1, 0}));
}

TEST(LineEditing, BackspaceAndDeleteRemoveWholeUtf8Characters)
{
    Menu menu({});
    menu.set_input(mixed, 10);  // after the four-byte character
    EXPECT_TRUE(delete_before_cursor(menu.m, menu.s));
    EXPECT_EQ(menu.input(), "a\xC3\xA9\xE2\x82\xAC" "b");
    EXPECT_EQ(menu.m.cursor, 6);
    EXPECT_TRUE(delete_before_cursor(menu.m, menu.s));
    EXPECT_EQ(menu.input(), "a\xC3\xA9" "b");
    EXPECT_EQ(menu.m.cursor, 3);

    menu.m.cursor = 1;
    EXPECT_TRUE(delete_at_cursor(menu.m, menu.s));
    EXPECT_EQ(menu.input(), "ab");
    EXPECT_EQ(menu.m.cursor, 1);
    EXPECT_EQ(filter_runs, 3);
}

TEST(LineEditing, BackspaceAtStartAndDeleteAtEndChangeNothing)
{
    Menu menu({"one"});
    menu.set_input("ab", 0);
    EXPECT_FALSE(delete_before_cursor(menu.m, menu.s));
    menu.m.cursor = 2;
    EXPECT_FALSE(delete_at_cursor(menu.m, menu.s));
    EXPECT_EQ(menu.input(), "ab");
    EXPECT_EQ(menu.m.cursor, 2);
    EXPECT_EQ(filter_runs, 0);
}

TEST(LineEditing, TypingInsertsAtTheCursor)
{
    Menu menu({});
    menu.set_input("ad", 1);
    type_text(menu.m, menu.s, "bc", 2);
    EXPECT_EQ(menu.input(), "abcd");
    EXPECT_EQ(menu.m.cursor, 3);
    type_text(menu.m, menu.s, "\xE2\x82\xAC", 3);
    EXPECT_EQ(menu.input(), "abc\xE2\x82\xAC" "d");
    EXPECT_EQ(menu.m.cursor, 6);
    EXPECT_EQ(filter_runs, 2);
}

TEST(LineEditing, TextThatDoesNotFitIsDroppedWholeWithoutRefiltering)
{
    Menu menu({});
    menu.set_input(std::string(1022, 'x'));
    type_text(menu.m, menu.s, "\xC3\xA9", 2);  // one byte too many: not split
    EXPECT_EQ(menu.input(), std::string(1022, 'x'));
    EXPECT_EQ(filter_runs, 0);

    type_text(menu.m, menu.s, "y", 1);
    EXPECT_EQ(menu.input(), std::string(1022, 'x') + "y");
    EXPECT_EQ(menu.m.cursor, 1023);
    EXPECT_EQ(filter_runs, 1);

    type_text(menu.m, menu.s, "z", 1);
    EXPECT_EQ(std::strlen(menu.m.input), 1023u);
    EXPECT_EQ(filter_runs, 1);

    // Deleting from a full line still works.
    EXPECT_TRUE(delete_before_cursor(menu.m, menu.s));
    EXPECT_EQ(menu.input(), std::string(1022, 'x'));
}

TEST(LineEditing, ControlCharactersAndEmptyKeyTextInsertNothing)
{
    Menu menu({});
    menu.set_input("ab", 1);
    type_text(menu.m, menu.s, "\x0b", 1);  // Control-k
    type_text(menu.m, menu.s, "\x7f", 1);
    type_text(menu.m, menu.s, "\t", 1);
    type_text(menu.m, menu.s, "q", 0);     // a modifier key: no text
    EXPECT_EQ(menu.input(), "ab");
    EXPECT_EQ(filter_runs, 0);

    // High bytes are never control characters.
    type_text(menu.m, menu.s, "\xC2\x85", 2);
    EXPECT_EQ(menu.input(), "a\xC2\x85" "b");
}

TEST(LineEditing, DeleteToEndAndToStartRefilterEvenWhenNothingGoes)
{
    Menu menu({"ab1", "ab2", "ab3"}, {.lines = 5});
    menu.set_input("ab");
    menu.show("ab1", "ab3");
    delete_to_end(menu.m, menu.s);
    EXPECT_EQ(menu.input(), "ab");
    EXPECT_EQ(menu.selected(), "ab1");

    menu.m.cursor = 1;
    delete_to_end(menu.m, menu.s);
    EXPECT_EQ(menu.input(), "a");

    menu.show("ab1", "ab2");
    menu.m.cursor = 0;
    delete_to_start(menu.m, menu.s);
    EXPECT_EQ(menu.input(), "a");
    EXPECT_EQ(menu.selected(), "ab1");

    menu.m.cursor = 1;
    delete_to_start(menu.m, menu.s);
    EXPECT_EQ(menu.input(), "");
    EXPECT_EQ(menu.m.cursor, 0);
    EXPECT_EQ(filter_runs, 4);
}

TEST(LineEditing, DeleteWordStopsAfterSlashAndEatsBlanksFirst)
{
    Menu menu({});
    menu.set_input("ls /usr/loc");
    delete_word(menu.m, menu.s);
    EXPECT_EQ(menu.input(), "ls /usr/");
    EXPECT_EQ(filter_runs, 3);  // once per deleted character
    delete_word(menu.m, menu.s);
    EXPECT_EQ(menu.input(), "ls /usr/");
    EXPECT_EQ(filter_runs, 3);

    menu.set_input("a  b  ");
    delete_word(menu.m, menu.s);
    EXPECT_EQ(menu.input(), "a  ");
    EXPECT_EQ(menu.m.cursor, 3);

    menu.set_input("x \xE2\x82\xAC\xE2\x82\xAC" "z", 8);  // cursor before z
    delete_word(menu.m, menu.s);
    EXPECT_EQ(menu.input(), "x z");
    EXPECT_EQ(menu.m.cursor, 2);

    menu.set_input("abc", 0);
    delete_word(menu.m, menu.s);
    EXPECT_EQ(menu.input(), "abc");
}

TEST(LineEditing, TabCyclesThroughMatchesAndRestoresTypedText)
{
    Menu menu({"file", "find", "other"});
    menu.set_input("fi");
    ASSERT_EQ(menu.matches(), "file find");

    EXPECT_TRUE(cycle_completion(menu.m, menu.s, Direction::forward));
    EXPECT_EQ(menu.input(), "file");
    EXPECT_EQ(menu.m.cursor, 4);
    EXPECT_TRUE(cycle_completion(menu.m, menu.s, Direction::forward));
    EXPECT_EQ(menu.input(), "find");
    EXPECT_EQ(menu.selected(), "find");
    EXPECT_EQ(menu.matches(), "file find");  // not rebuilt during the cycle
    EXPECT_EQ(filter_runs, 0);

    EXPECT_TRUE(cycle_completion(menu.m, menu.s, Direction::forward));
    EXPECT_EQ(menu.input(), "fi");
    EXPECT_EQ(menu.m.cursor, 2);
    EXPECT_EQ(menu.selected(), "file");
    EXPECT_EQ(filter_runs, 1);
}

TEST(LineEditing, ShiftTabCyclesBackwardFromTheLastMatch)
{
    Menu menu({"file", "find", "other"});
    menu.set_input("fi");
    EXPECT_TRUE(cycle_completion(menu.m, menu.s, Direction::backward));
    EXPECT_EQ(menu.input(), "find");
    EXPECT_EQ(menu.selected(), "find");
    EXPECT_TRUE(cycle_completion(menu.m, menu.s, Direction::backward));
    EXPECT_EQ(menu.input(), "file");
    // The first match of the list is shown: one more step restores the text.
    EXPECT_TRUE(cycle_completion(menu.m, menu.s, Direction::backward));
    EXPECT_EQ(menu.input(), "fi");
    EXPECT_EQ(menu.selected(), "file");
}

TEST(LineEditing, CycleFromTextEqualToTheLabelRestoresEarlierSavedText)
{
    Menu menu({"file", "files"});
    menu.set_input("files");
    // Never saved: the cycle falls back to the empty saved text.
    EXPECT_TRUE(cycle_completion(menu.m, menu.s, Direction::forward));
    EXPECT_EQ(menu.input(), "");
    EXPECT_EQ(menu.matches(), "file files");

    menu.set_input("fil");
    cycle_completion(menu.m, menu.s, Direction::forward);  // saves "fil"
    menu.set_input("files");
    EXPECT_TRUE(cycle_completion(menu.m, menu.s, Direction::forward));
    EXPECT_EQ(menu.input(), "fil");
}

TEST(LineEditing, CycleWithoutSelectionDoesNothing)
{
    Menu menu({"file"});
    menu.set_input("zz");
    ASSERT_EQ(menu.m.selected, nullptr);
    EXPECT_FALSE(cycle_completion(menu.m, menu.s, Direction::forward));
    EXPECT_FALSE(cycle_completion(menu.m, menu.s, Direction::backward));
    EXPECT_EQ(menu.input(), "zz");
    EXPECT_EQ(filter_runs, 0);
}

TEST(LineEditing, PasteInsertsOnlyTheFirstLineAndDoesNotFilterBytes)
{
    Menu menu({});
    menu.set_input("[]", 1);
    paste_text(menu.m, menu.s, "one\ntwo");
    EXPECT_EQ(menu.input(), "[one]");
    EXPECT_EQ(menu.m.cursor, 4);

    paste_text(menu.m, menu.s, "\t\x01");  // not tested for control characters
    EXPECT_EQ(menu.input(), "[one\t\x01]");

    filter_runs = 0;
    paste_text(menu.m, menu.s, "\nrest");
    EXPECT_EQ(menu.input(), "[one\t\x01]");
    EXPECT_EQ(filter_runs, 1);  // a paste of nothing still refilters
}

TEST(LineEditing, PasteThatDoesNotFitIsDroppedWhole)
{
    Menu menu({});
    menu.set_input(std::string(1000, 'x'));
    paste_text(menu.m, menu.s, std::string(24, 'y').c_str());
    EXPECT_EQ(menu.input(), std::string(1000, 'x'));
    EXPECT_EQ(filter_runs, 0);
    paste_text(menu.m, menu.s, (std::string(23, 'y') + "\n" + std::string(100, 'z')).c_str());
    EXPECT_EQ(menu.input(), std::string(1000, 'x') + std::string(23, 'y'));

    // More than any input could hold (a full property read).
    menu.set_input("");
    paste_text(menu.m, menu.s, std::string(1028, 'w').c_str());
    EXPECT_EQ(menu.input(), "");
}

}  // namespace
