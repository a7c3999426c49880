// A typical session of each program under valgrind's memcheck: any memory
// error or definite leak fails the run. The suppressions file says why each
// of its entries belongs to a library rather than to us.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include "harness/server_test.h"

using namespace harness;

namespace {

std::vector<std::string> under_valgrind(std::vector<std::string> argv)
{
    std::vector<std::string> command = {
        "valgrind", "--quiet", "--error-exitcode=99", "--leak-check=full",
        "--errors-for-leak-kinds=definite", "--show-leak-kinds=definite",
        "--child-silent-after-fork=yes", "--suppressions=" SOURCE_DIR "/tests/valgrind.supp"};
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

class Valgrind : public ServerTest {
protected:
    void SetUp() override
    {
#ifdef RAVLIN_SANITIZED
        GTEST_SKIP() << "valgrind cannot run sanitized programs";
#endif
        if (run({"valgrind", "--version"}).status != 0)
            GTEST_SKIP() << "valgrind is not installed";
    }
};

TEST_F(Valgrind, MenuSessionHasNoErrorsNorDefiniteLeaks)
{
    TempDir dir;
    write_file(dir / "history", "old\n");
    write_file(dir / "notes.txt", "");
    XClient::SelectionOwner primary(server_->display_name(), "PRIMARY", "pasted\nmore\n");
    Process::Options options;
    options.env = {server_->env(), "LC_ALL=C.UTF-8"};
    Process menu(under_valgrind({RAVLIN_BIN, "-l", "3", "-i", "-fn", "DejaVu Sans Mono:size=11",
                                 "-hist", dir / "history"}),
                 options);
    // Characters the font lacks come from fallback fonts.
    std::string entries = "entry \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80\n";
    for (int i = 0; i < 30; ++i)
        entries += "entry " + std::to_string(i) + "\n";
    menu.write_stdin(entries);
    menu.close_stdin();
    ASSERT_NE(client_->wait_for_window("ravlin", "Ravlin", 60000ms), static_cast<Window>(None))
        << menu.err();

    client_->type("ent");
    for (KeySym keysym : {XK_Down, XK_Next, XK_Prior, XK_End, XK_End, XK_Home, XK_Tab, XK_Tab})
        client_->key(keysym);
    client_->key(XK_u, {XK_Control_L});
    client_->type("x " + dir.path() + "/no");
    client_->key(XK_Tab);
    client_->key(XK_u, {XK_Control_L});
    client_->key(XK_y, {XK_Control_L});
    ASSERT_TRUE(wait_until([&] { return primary.requests_served() > 0; }, 60000ms));
    client_->sync();
    client_->key(XK_Return, {XK_Shift_L});

    std::optional<int> status = menu.wait(120000ms);
    EXPECT_EQ(status, 0) << menu.err();
    EXPECT_EQ(menu.out(), "pasted\n");
    EXPECT_EQ(read_file(dir / "history"), "pasted\nold\n");
}

TEST_F(Valgrind, PathTestListingHasNoErrorsNorDefiniteLeaks)
{
    Result listing = run(under_valgrind({PATHTEST_BIN, "-l", "-x", "/usr/bin", "/nonexistent"}));
    EXPECT_EQ(listing.status, 0) << listing.err;
    EXPECT_NE(listing.out.find("env\n"), std::string::npos);
}

}  // namespace
