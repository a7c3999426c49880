// Google Test before Xlib, whose macros clash with its names.
#include <gtest/gtest.h>

#include "ravlin/control/key_bindings.h"

#include <X11/X.h>
#include <X11/keysym.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "harness/harness.h"
#include "menu_fixture.h"
#include "ravlin/control/file_completion.h"

using menu_fixture::filter_runs;
using menu_fixture::Layout;
using menu_fixture::Menu;

namespace {

// Everything a key press can change, in one comparable text.
std::string snapshot(Menu& menu, KeyOutcome outcome)
{
    return "outcome=" + std::to_string(static_cast<int>(outcome)) + " input=" + menu.input() +
           " cursor=" + std::to_string(menu.m.cursor) + " saved=" + menu.m.saved_input +
           " selected=" + menu.selected() + " page=" + menu.page() +
           " finished=" + std::to_string(menu.m.finished) +
           " status=" + std::to_string(menu.m.exit_status) + " output=" + menu.output() +
           " filters=" + std::to_string(filter_runs);
}

std::vector<std::string> numbered(const std::string& stem, int count)
{
    std::vector<std::string> labels;
    for (int i = 0; i < count; ++i)
        labels.push_back(stem + std::to_string(i));
    return labels;
}

// Nine entries, pages of three in either layout, the second page shown with
// its middle entry selected and the cursor inside the input.
struct PagedMenu : Menu {
    explicit PagedMenu(uint32_t lines)
        : Menu(numbered("it", 9), {.lines = lines, .bar_width = 260, .input_width = 100})
    {
        set_input("it", 1);
        show("it3", "it4");
    }
};

std::string after_key(uint32_t lines, KeySym keysym, unsigned int modifiers)
{
    PagedMenu menu(lines);
    KeyOutcome outcome = menu.key(keysym, modifiers);
    return snapshot(menu, outcome);
}

TEST(KeyBindings, ChordsRunExactlyAsTheKeysTheyStandFor)
{
    struct Fold {
        KeySym chord;
        unsigned int modifiers;
        KeySym key;
    };
    const unsigned int C = ControlMask, M = Mod1Mask, S = ShiftMask;
    const Fold folds[] = {
        {XK_a, C, XK_Home},      {XK_b, C, XK_Left},      {XK_c, C, XK_Escape},
        {XK_d, C, XK_Delete},    {XK_e, C, XK_End},       {XK_f, C, XK_Right},
        {XK_g, C, XK_Escape},    {XK_h, C, XK_BackSpace}, {XK_i, C, XK_Tab},
        {XK_j, C, XK_Return},    {XK_m, C, XK_Return},    {XK_J, C, XK_Return},
        {XK_J, C | S, XK_Return}, {XK_M, C | S, XK_Return}, {XK_n, C, XK_Down},
        {XK_p, C, XK_Up},        {XK_a, C | M, XK_Home},  {XK_g, M, XK_Home},
        {XK_G, M | S, XK_End},   {XK_h, M, XK_Up},        {XK_j, M, XK_Prior},
        {XK_k, M, XK_Next},      {XK_l, M, XK_Down},
    };
    for (uint32_t lines : {0u, 3u}) {
        for (const Fold& fold : folds) {
            unsigned int held = fold.modifiers & ~(ControlMask | Mod1Mask);
            EXPECT_EQ(after_key(lines, fold.chord, fold.modifiers),
                      after_key(lines, fold.key, held))
                << "chord " << XKeysymToString(fold.chord) << " modifiers " << fold.modifiers
                << " lines " << lines;
        }
    }
    // Shift stays held through the fold: the typed text is printed.
    EXPECT_NE(after_key(3, XK_J, ControlMask | ShiftMask).find("output=it\n"), std::string::npos);
}

TEST(KeyBindings, UnlistedChordsAreDroppedWithoutRedraw)
{
    const std::pair<KeySym, unsigned int> chords[] = {
        {XK_bracketleft, ControlMask}, {XK_l, ControlMask},     {XK_1, ControlMask},
        {XK_Return, ControlMask},      {XK_Left, ControlMask},  {XK_Tab, ControlMask},
        {XK_K, ControlMask | ShiftMask}, {XK_A, ControlMask | ShiftMask},
        {XK_W, ControlMask | ShiftMask}, {XK_x, ControlMask},   {XK_l, ControlMask | Mod1Mask},
        {XK_Return, Mod1Mask},         {XK_a, Mod1Mask},        {XK_H, Mod1Mask | ShiftMask},
        {XK_Down, Mod1Mask},           {XK_1, Mod1Mask},
    };
    std::string before;
    {
        PagedMenu menu(0);
        before = snapshot(menu, KeyOutcome::none);
    }
    for (auto [keysym, modifiers] : chords)
        EXPECT_EQ(after_key(0, keysym, modifiers), before) << XKeysymToString(keysym);
}

TEST(KeyBindings, ControlKUWDeleteThenInsertNoControlCharacter)
{
    Menu menu({});
    menu.set_input("ab cd", 3);
    EXPECT_EQ(menu.key(XK_k, ControlMask, "\x0b"), KeyOutcome::redraw);
    EXPECT_EQ(menu.input(), "ab ");
    EXPECT_EQ(menu.m.cursor, 3);

    menu.set_input("ab cd", 3);
    EXPECT_EQ(menu.key(XK_u, ControlMask, "\x15"), KeyOutcome::redraw);
    EXPECT_EQ(menu.input(), "cd");
    EXPECT_EQ(menu.m.cursor, 0);

    menu.set_input("ab cd");
    EXPECT_EQ(menu.key(XK_w, ControlMask, "\x17"), KeyOutcome::redraw);
    EXPECT_EQ(menu.input(), "ab ");
    EXPECT_EQ(filter_runs, 2);
}

TEST(KeyBindings, ControlYAsksForAPasteWithoutRedraw)
{
    PagedMenu menu(0);
    std::string before = snapshot(menu, KeyOutcome::none);
    EXPECT_EQ(menu.key(XK_y, ControlMask, "\x19"), KeyOutcome::paste_primary);
    EXPECT_EQ(menu.key(XK_Y, ControlMask | ShiftMask, "\x19"), KeyOutcome::paste_clipboard);
    EXPECT_EQ(menu.key(XK_y, ControlMask | ShiftMask, "\x19"), KeyOutcome::paste_clipboard);
    EXPECT_EQ(menu.key(XK_Y, ControlMask, "\x19"), KeyOutcome::paste_primary);
    EXPECT_EQ(snapshot(menu, KeyOutcome::none), before);
}

TEST(KeyBindings, AcceptPrintsTheSelectionOrTheTypedText)
{
    {
        Menu menu({"alpha", "beta"});
        menu.type("b");
        EXPECT_EQ(menu.key(XK_Return), KeyOutcome::finished);
        EXPECT_EQ(menu.output(), "beta\n");
        EXPECT_EQ(menu.m.exit_status, 0);
        EXPECT_TRUE(menu.m.finished);
    }
    {
        Menu menu({"alpha", "beta"});
        menu.type("be");
        menu.key(XK_Return, ShiftMask);
        EXPECT_EQ(menu.output(), "be\n");
    }
    {
        Menu menu({"alpha"});
        menu.type("zeta");
        menu.key(XK_KP_Enter);
        EXPECT_EQ(menu.output(), "zeta\n");
        EXPECT_EQ(menu.m.exit_status, 0);
    }
    {
        Menu menu({});
        menu.key(XK_Return);
        EXPECT_EQ(menu.output(), "\n");
        EXPECT_EQ(menu.m.exit_status, 0);
    }
}

TEST(KeyBindings, PrintAllStartsAtTheSelectionAndWrapsRound)
{
    Menu menu(numbered("m", 5), {.lines = 10});
    menu.s.print_all = true;
    menu.key(XK_Down);
    menu.key(XK_Down);
    ASSERT_EQ(menu.selected(), "m2");
    menu.key(XK_Return);
    EXPECT_EQ(menu.output(), "m2\nm3\nm4\nm0\nm1\n");

    Menu typed(numbered("m", 5), {.lines = 10});
    typed.s.print_all = true;
    typed.type("m");
    typed.key(XK_Return, ShiftMask);
    EXPECT_EQ(typed.output(), "m\n");
}

TEST(KeyBindings, AcceptRecordsAResultThatCannotBeWritten)
{
    Menu menu({"alpha"});
    std::fclose(menu.m.output);
    menu.m.output = std::fopen("/dev/full", "w");
    ASSERT_NE(menu.m.output, nullptr);
    menu.key(XK_Return);
    flush_output(menu.m);
    EXPECT_EQ(menu.m.output_errno, ENOSPC);
    EXPECT_EQ(menu.m.exit_status, 0);

    Menu fine({"alpha"});
    fine.key(XK_Return);
    flush_output(fine.m);
    EXPECT_EQ(fine.m.output_errno, 0);
}

TEST(KeyBindings, HomeSelectsTheFirstMatchThenMovesTheCursor)
{
    PagedMenu menu(3);
    EXPECT_EQ(menu.key(XK_Home), KeyOutcome::redraw);
    EXPECT_EQ(menu.selected(), "it0");
    EXPECT_EQ(menu.page(), "it0 it1 it2");
    EXPECT_EQ(menu.m.cursor, 1);
    menu.key(XK_Home);
    EXPECT_EQ(menu.m.cursor, 0);
    EXPECT_EQ(menu.selected(), "it0");
}

TEST(KeyBindings, EndMovesTheCursorThenWalksToThePageShowingTheLastMatch)
{
    // Space for 100 pixels of entries: e0..e5 take 40 each, e9 takes 30.
    std::vector<std::string> labels = {"e00", "e01", "e02", "e03", "e04", "e05", "e9"};
    Menu menu(labels, {.lines = 0, .bar_width = 240, .input_width = 100});
    menu.set_input("e", 0);
    ASSERT_EQ(menu.page(), "e00 e01");
    EXPECT_EQ(menu.key(XK_End), KeyOutcome::redraw);
    EXPECT_EQ(menu.m.cursor, 1);
    EXPECT_EQ(menu.selected(), "e00");

    EXPECT_EQ(menu.key(XK_End), KeyOutcome::redraw);
    // The page before e9 starts at e04 but cannot reach e9 from there.
    EXPECT_EQ(menu.page(), "e05 e9");
    EXPECT_EQ(menu.selected(), "e9");

    PagedMenu vertical(3);
    vertical.m.cursor = 2;
    vertical.key(XK_End);
    EXPECT_EQ(vertical.page(), "it6 it7 it8");
    EXPECT_EQ(vertical.selected(), "it8");
}

TEST(KeyBindings, LeftAndRightPreferTheSelectionInTheHorizontalLayout)
{
    // "a", euro sign, "b": five bytes.
    const std::string text = "a\xE2\x82\xAC" "b";
    Menu menu({text + "1", text + "2", text + "3"});
    menu.set_input(text, 4);
    menu.show(text + "1", text + "2");

    menu.key(XK_Left);
    EXPECT_EQ(menu.selected(), text + "1");
    EXPECT_EQ(menu.m.cursor, 4);
    menu.key(XK_Left);
    EXPECT_EQ(menu.m.cursor, 1);
    menu.key(XK_Left);
    menu.key(XK_Left);
    EXPECT_EQ(menu.m.cursor, 0);
    EXPECT_EQ(menu.key(XK_Left), KeyOutcome::redraw);  // Up with nothing before

    std::vector<int32_t> cursors;
    std::vector<std::string> selections;
    for (int i = 0; i < 5; ++i) {
        menu.key(XK_Right);
        cursors.push_back(menu.m.cursor);
        selections.push_back(menu.selected());
    }
    EXPECT_EQ(cursors, (std::vector<int32_t>{1, 4, 5, 5, 5}));
    EXPECT_EQ(selections, (std::vector<std::string>{text + "1", text + "1", text + "1",
                                                    text + "2", text + "3"}));
}

TEST(KeyBindings, LeftAndRightOnlyMoveTheCursorInTheVerticalLayout)
{
    const std::string text = "a\xE2\x82\xAC" "b";
    Menu menu({text + "1", text + "2"}, {.lines = 3});
    menu.set_input(text, 1);
    menu.show(text + "1", text + "2");
    EXPECT_EQ(menu.key(XK_Left), KeyOutcome::redraw);
    EXPECT_EQ(menu.m.cursor, 0);
    EXPECT_EQ(menu.key(XK_Left), KeyOutcome::none);
    menu.key(XK_Right);
    EXPECT_EQ(menu.m.cursor, 1);
    menu.key(XK_Right);
    EXPECT_EQ(menu.m.cursor, 4);
    menu.key(XK_Right);
    EXPECT_EQ(menu.key(XK_Right), KeyOutcome::none);
    EXPECT_EQ(menu.m.cursor, 5);
    EXPECT_EQ(menu.selected(), text + "2");
}

TEST(KeyBindings, UpAndDownTurnThePageAtItsEdges)
{
    PagedMenu menu(3);
    menu.show("it3", "it3");
    menu.key(XK_Up);
    EXPECT_EQ(menu.selected(), "it2");
    EXPECT_EQ(menu.page(), "it0 it1 it2");
    menu.key(XK_Down);
    EXPECT_EQ(menu.selected(), "it3");
    EXPECT_EQ(menu.page(), "it3 it4 it5");
    for (int i = 0; i < 5; ++i)
        menu.key(XK_Down);
    EXPECT_EQ(menu.selected(), "it8");
    EXPECT_EQ(menu.page(), "it6 it7 it8");
    EXPECT_EQ(menu.key(XK_Down), KeyOutcome::redraw);
    EXPECT_EQ(menu.selected(), "it8");
}

TEST(KeyBindings, PageKeysSelectTheFirstEntryOfTheNewPage)
{
    PagedMenu menu(3);
    menu.show("it0", "it2");
    // On the first page the previous page is the page itself.
    EXPECT_EQ(menu.key(XK_Prior), KeyOutcome::redraw);
    EXPECT_EQ(menu.selected(), "it0");
    EXPECT_EQ(menu.page(), "it0 it1 it2");

    menu.key(XK_Next);
    menu.key(XK_Next);
    EXPECT_EQ(menu.selected(), "it6");
    EXPECT_EQ(menu.page(), "it6 it7 it8");
    menu.key(XK_Down);
    EXPECT_EQ(menu.key(XK_Next), KeyOutcome::none);
    EXPECT_EQ(menu.selected(), "it7");

    menu.key(XK_Prior);
    EXPECT_EQ(menu.selected(), "it3");
    EXPECT_EQ(menu.page(), "it3 it4 it5");
}

TEST(KeyBindings, WithoutMatchesNavigationChangesNothing)
{
    Menu menu({"alpha"});
    menu.set_input("zz", 1);
    ASSERT_EQ(menu.matches(), "");
    EXPECT_EQ(menu.key(XK_Up), KeyOutcome::redraw);
    EXPECT_EQ(menu.key(XK_Down), KeyOutcome::redraw);
    EXPECT_EQ(menu.key(XK_Prior), KeyOutcome::none);
    EXPECT_EQ(menu.key(XK_Next), KeyOutcome::none);
    EXPECT_EQ(menu.key(XK_Tab), KeyOutcome::none);
    EXPECT_EQ(menu.key(XK_ISO_Left_Tab), KeyOutcome::none);
    EXPECT_EQ(menu.m.cursor, 1);
    menu.key(XK_Home);
    EXPECT_EQ(menu.m.cursor, 0);
    menu.key(XK_End);
    menu.key(XK_End);
    EXPECT_EQ(menu.m.cursor, 2);
    EXPECT_EQ(menu.m.selected, nullptr);
    EXPECT_EQ(filter_runs, 0);
    menu.key(XK_Return);
    EXPECT_EQ(menu.output(), "zz\n");
}

TEST(KeyBindings, KeysWithNothingToDoChangeNothing)
{
    PagedMenu menu(3);
    std::string before = snapshot(menu, KeyOutcome::redraw);
    // A modifier or function key brings no text: redraw only.
    EXPECT_EQ(menu.key(XK_Shift_L), KeyOutcome::redraw);
    EXPECT_EQ(menu.key(XK_F5), KeyOutcome::redraw);
    EXPECT_EQ(menu.key(NoSymbol), KeyOutcome::redraw);
    EXPECT_EQ(snapshot(menu, KeyOutcome::redraw), before);

    menu.m.cursor = 0;
    EXPECT_EQ(menu.key(XK_BackSpace), KeyOutcome::none);
    menu.m.cursor = 2;
    EXPECT_EQ(menu.key(XK_Delete), KeyOutcome::none);
    EXPECT_EQ(menu.input(), "it");
}

TEST(KeyBindings, TypedTextGoesInAtTheCursor)
{
    Menu menu({"alpha", "beta"});
    menu.type("bt");
    menu.key(XK_Left);  // horizontal, no predecessor: the cursor moves
    menu.type("e");
    menu.key(NoSymbol, 0, "\xC3\xA9");  // text from the input method only
    EXPECT_EQ(menu.input(), "be\xC3\xA9t");
    EXPECT_EQ(menu.m.cursor, 4);
}

TEST(KeyBindings, TabAfterALabelWithABlankCompletesAFileName)
{
    harness::TempDir dir;
    std::ofstream{dir / "program.txt"};
    std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());

    Menu menu({"my prog", "my pry"});
    menu.type("my");
    menu.key(XK_Tab);
    EXPECT_EQ(menu.input(), "my prog");
    // Shift-Tab keeps cycling: back past the start restores the typed text.
    menu.key(XK_ISO_Left_Tab);
    EXPECT_EQ(menu.input(), "my");
    menu.key(XK_Tab);
    // The expansion runs beside the event loop, which applies it.
    EXPECT_EQ(menu.key(XK_Tab), KeyOutcome::complete_file_name);
    complete_file_name(menu.m);
    EXPECT_EQ(menu.input(), "my program.txt");
    EXPECT_EQ(menu.m.cursor, 14);
    EXPECT_EQ(menu.selected(), "my prog");

    std::filesystem::current_path(old);
}

}  // namespace
