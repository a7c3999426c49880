// The key bindings end to end: the real program on a private X server, real
// key events sent through XTest, real selection owners, and the printed
// result, the exit status and the history file checked afterwards.
#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include "harness/server_test.h"

using namespace harness;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

class KeysEndToEnd : public ServerTest {
protected:

    // Starts the menu with entries on standard input (closed afterwards
    // unless keep_input_open) and waits for its bar.
    void start(const std::vector<std::string>& args, const std::string& entries,
               Process::Options options = {}, bool keep_input_open = false)
    {
        menu_ = start_menu(*server_, args, entries, options, keep_input_open);
        if (!keep_input_open)
            wait_for_bar();
    }
    void wait_for_bar()
    {
        bar_ = client_->wait_for_window("ravlin", "Ravlin");
        ASSERT_NE(bar_, static_cast<Window>(None)) << menu_->err();
    }

    Outcome finish()
    {
        std::optional<int> status = menu_->wait();
        EXPECT_TRUE(status.has_value()) << "the menu did not end";
        return {status.value_or(-1), menu_->out(), menu_->err()};
    }

    void key(KeySym keysym, const std::vector<KeySym>& modifiers = {})
    {
        client_->key(keysym, modifiers);
    }

    // The text last delivered to the bar window by a selection owner.
    std::string delivered_text()
    {
        Display* display = client_->display();
        Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
        Atom type;
        int format;
        unsigned long count, remaining;
        unsigned char* data = nullptr;
        std::string text;
        if (XGetWindowProperty(display, bar_, utf8, 0, 4096, False, AnyPropertyType, &type,
                               &format, &count, &remaining, &data) == Success &&
            data) {
            text.assign(reinterpret_cast<char*>(data), count);
            XFree(data);
        }
        return text;
    }
    // Waits until the owner has answered one more request and, when it
    // serves text, until that text is on the bar window: the notify that
    // follows it is then on its way ahead of any later key.
    void wait_for_paste(const XClient::SelectionOwner& owner, int served_before,
                        const std::string& text = "")
    {
        ASSERT_TRUE(wait_until([&] { return owner.requests_served() > served_before; }));
        if (!text.empty()) {
            ASSERT_TRUE(wait_until([&] { return delivered_text() == text; }));
        }
        client_->sync();
    }

    std::unique_ptr<Process> menu_;
    Window bar_ = None;
};

const KeySym control = XK_Control_L, shift = XK_Shift_L, alt = XK_Alt_L;

TEST_F(KeysEndToEnd, ReturnPrintsTheSelectionAndPutsItOnTopOfTheHistory)
{
    TempDir dir;
    write_file(dir / "history", "beta\nalpha\n");
    start({"-hist", dir / "history"}, "alpha\ngamma\n");
    client_->type("gam");
    key(XK_Return);
    Outcome result = finish();
    EXPECT_EQ(result.out, "gamma\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(read_file(dir / "history"), "gamma\nbeta\nalpha\n");
}

TEST_F(KeysEndToEnd, EveryAcceptKeyPrintsTheSelection)
{
    const std::pair<KeySym, std::vector<KeySym>> keys[] = {
        {XK_Return, {}}, {XK_KP_Enter, {}}, {XK_j, {control}}, {XK_m, {control}}};
    for (const auto& [keysym, modifiers] : keys) {
        TempDir dir;
        start({"-hist", dir / "history"}, "one\ntwo\nthree\n");
        key(XK_Down);
        key(keysym, modifiers);
        Outcome result = finish();
        EXPECT_EQ(result.out, "two\n") << XKeysymToString(keysym);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(read_file(dir / "history"), "two\n");
    }
}

TEST_F(KeysEndToEnd, ShiftedAcceptPrintsTheTypedText)
{
    // Control-J and Control-M are typed with Shift, which stays in force.
    const std::pair<KeySym, std::vector<KeySym>> keys[] = {
        {XK_Return, {shift}}, {XK_J, {control}}, {XK_M, {control}}};
    for (const auto& [keysym, modifiers] : keys) {
        TempDir dir;
        start({"-hist", dir / "history"}, "alpha\nalps\n");
        client_->type("al");
        key(keysym, modifiers);
        Outcome result = finish();
        EXPECT_EQ(result.out, "al\n") << XKeysymToString(keysym);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(read_file(dir / "history"), "al\n");
    }
}

TEST_F(KeysEndToEnd, CancelKeysPrintNothingAndLeaveTheHistory)
{
    const std::pair<KeySym, std::vector<KeySym>> keys[] = {
        {XK_Escape, {}}, {XK_c, {control}}, {XK_g, {control}}};
    for (const auto& [keysym, modifiers] : keys) {
        TempDir dir;
        write_file(dir / "history", "old\n");
        start({"-hist", dir / "history"}, "alpha\n");
        client_->type("al");
        key(keysym, modifiers);
        Outcome result = finish();
        EXPECT_EQ(result.out, "") << XKeysymToString(keysym);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(read_file(dir / "history"), "old\n");
    }
}

TEST_F(KeysEndToEnd, PrintAllStartsAtTheSelectionAndLeavesTheHistory)
{
    TempDir dir;
    write_file(dir / "history", "old\n");
    start({"-r", "-hist", dir / "history"}, "m1\nm2\nm3\nm4\nm5\n");
    client_->type("m");  // leaves out the history line
    key(XK_Down);
    key(XK_Down);
    key(XK_Return);
    Outcome result = finish();
    EXPECT_EQ(result.out, "m3\nm4\nm5\nm1\nm2\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(dir / "history"), "old\n");
}

TEST_F(KeysEndToEnd, AltKeysMoveTheSelectionAndThePage)
{
    const std::string items = "it0\nit1\nit2\nit3\nit4\nit5\nit6\nit7\nit8\n";
    start({"-l", "3"}, items);
    key(XK_G, {alt});
    key(XK_Return);
    EXPECT_EQ(finish().out, "it8\n");

    // Each sequence ends somewhere else if any one of its keys is lost or
    // bound to another action.
    start({"-l", "3"}, items);
    for (KeySym keysym : {XK_l, XK_l, XK_l, XK_j, XK_k, XK_l, XK_l, XK_h})
        key(keysym, {alt});
    key(XK_Return);
    // Down to it3 on the second page, page back to it0, page forward to
    // it3, down to it5, up to it4.
    EXPECT_EQ(finish().out, "it4\n");

    start({"-l", "3"}, items);
    for (KeySym keysym : {XK_l, XK_l, XK_g, XK_l})
        key(keysym, {alt});
    key(XK_Return);
    Outcome result = finish();
    EXPECT_EQ(result.out, "it1\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(KeysEndToEnd, UnlistedChordsAreDropped)
{
    start({}, "zzz\n");
    key(XK_Return, {control});
    key(XK_Return, {alt});
    client_->type("ab");
    const std::pair<KeySym, KeySym> chords[] = {
        {XK_l, control}, {XK_bracketleft, control}, {XK_1, control}, {XK_Left, control},
        {XK_x, control}, {XK_a, alt}, {XK_x, alt}, {XK_Left, alt}, {XK_Escape, alt}};
    for (auto [keysym, modifier] : chords)
        key(keysym, {modifier});
    key(XK_Return);
    Outcome result = finish();
    EXPECT_EQ(result.out, "ab\n");
    EXPECT_EQ(result.status, 0);
}

TEST_F(KeysEndToEnd, ShiftTabIsolatedLeftTabCyclesBackward)
{
    start({}, "file\nfind\nfig\nother\n");
    client_->type("fi");
    key(XK_ISO_Left_Tab);  // sent as Shift with the Tab key
    key(XK_ISO_Left_Tab);
    key(XK_Return, {shift});
    EXPECT_EQ(finish().out, "find\n");

    start({}, "file\nfind\nfig\nother\n");
    client_->type("fi");
    key(XK_Tab);
    key(XK_i, {control});
    key(XK_Return, {shift});
    EXPECT_EQ(finish().out, "find\n");
}

TEST_F(KeysEndToEnd, EditingChordsChangeTheTypedText)
{
    start({"-noinput"}, "");
    client_->type("ls /usr/local");
    key(XK_w, {control});      // ls /usr/
    key(XK_a, {control});      // start
    key(XK_f, {control});
    key(XK_f, {control});
    key(XK_k, {control});      // ls
    key(XK_u, {control});      // (empty)
    client_->type("xyz");
    key(XK_b, {control});
    key(XK_h, {control});      // xz
    key(XK_e, {control});
    key(XK_d, {control});      // nothing at the end
    key(XK_Return);
    Outcome result = finish();
    EXPECT_EQ(result.out, "xz\n");
}

TEST_F(KeysEndToEnd, PasteInsertsTheFirstLineOfPrimaryOrClipboard)
{
    TempDir dir;
    XClient::SelectionOwner primary(server_->display_name(), "PRIMARY", "one\ntwo\n");
    XClient::SelectionOwner clipboard(server_->display_name(), "CLIPBOARD", "clip");
    start({"-noinput", "-hist", dir / "history"}, "");
    client_->type("[");
    key(XK_y, {control});
    wait_for_paste(primary, 0, "one\ntwo\n");
    client_->type("]");
    key(XK_Y, {control});  // Control-Shift-y
    wait_for_paste(clipboard, 0, "clip");
    key(XK_Return);
    Outcome result = finish();
    EXPECT_EQ(result.out, "[one]clip\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(read_file(dir / "history"), "[one]clip\n");
}

TEST_F(KeysEndToEnd, OversizedPasteAndRefusedConversionInsertNothing)
{
    XClient::SelectionOwner primary(server_->display_name(), "PRIMARY",
                                    std::string(1100, 'x'));
    XClient::SelectionOwner refusing(server_->display_name(), "CLIPBOARD", "", true);
    start({"-noinput"}, "");
    client_->type("ok");
    key(XK_y, {control});
    wait_for_paste(primary, 0, std::string(1100, 'x'));
    key(XK_y, {control, shift});
    wait_for_paste(refusing, 0);
    client_->type("!");
    key(XK_Return);
    Outcome result = finish();
    EXPECT_EQ(result.out, "ok!\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
}

TEST_F(KeysEndToEnd, FastTypingLosesNoKey)
{
    std::string text;
    const std::string alphabet = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJ-=[];',./ ";
    for (size_t i = 0; text.size() < 200; ++i)
        text += alphabet[(i * 11) % alphabet.size()];
    start({"-noinput"}, "");
    client_->type(text);
    key(XK_Return, {shift});
    Outcome result = finish();
    EXPECT_EQ(result.out, text + "\n");
    EXPECT_EQ(result.status, 0);
}

TEST_F(KeysEndToEnd, KeysTypedBeforeTheEntriesEndArriveInOrder)
{
    start({"-f"}, "alpha\n", {}, true);
    ASSERT_TRUE(wait_until([] { return client_->keyboard_grabbed(); })) << menu_->err();
    client_->type("alp");
    client_->sync();
    menu_->write_stdin("alpine\nbeta\n");
    menu_->close_stdin();
    wait_for_bar();
    client_->type("i");
    key(XK_Return, {shift});
    EXPECT_EQ(finish().out, "alpi\n");
}

TEST_F(KeysEndToEnd, UnwritableOutputIsAFailure)
{
    Process::Options options;
    options.stdout_path = "/dev/full";
    start({}, "alpha\n", options);
    key(XK_Return);
    Outcome result = finish();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "cannot write output: No space left on device\n");
}

}  // namespace
