// Monitor choice and placement on a real two-head Xinerama server (Xephyr
// nested in Xvfb) and on a server without Xinerama.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include "harness/harness.h"

using namespace harness;

namespace {

constexpr int line = 15;  // "fixed" is 13 pixels high

class Monitors : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        XServer::Options o;
        o.xephyr_screens = {"1920x1080+0+0", "1280x1024+1920+0"};
        server_ = new XServer(o);
        client_ = new XClient(server_->display_name());
    }
    static void TearDownTestSuite()
    {
        delete client_;
        delete server_;
    }
    void SetUp() override
    {
        Display* d = client_->display();
        XSetInputFocus(d, PointerRoot, RevertToPointerRoot, CurrentTime);
        warp(100, 100);
    }

    static void warp(int x, int y)
    {
        XWarpPointer(client_->display(), None, client_->root(), 0, 0, 0, 0, x, y);
        client_->sync();
    }

    // A mapped top-level window holding the input focus.
    static Window focus_window(int x, int y, int width, int height)
    {
        Display* d = client_->display();
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        Window w = XCreateWindow(d, client_->root(), x, y, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect, &attributes);
        XMapWindow(d, w);
        client_->sync();
        EXPECT_TRUE(wait_until([&] { return client_->is_viewable(w); }));
        XSetInputFocus(d, w, RevertToPointerRoot, CurrentTime);
        client_->sync();
        return w;
    }

    // Runs a menu, returns its bar's geometry and cancels it.
    static XClient::Geometry bar_of(std::vector<std::string> args)
    {
        args.insert(args.begin(), RAVLIN_BIN);
        Process::Options o;
        o.env = {server_->env(), "LC_ALL=C.UTF-8"};
        Process p(args, o);
        p.write_stdin("a\nb\n");
        p.close_stdin();
        Window bar = client_->wait_for_window("ravlin", "Ravlin");
        EXPECT_NE(bar, None) << p.err();
        XClient::Geometry g = client_->geometry(bar);
        client_->key(XK_Escape);
        EXPECT_EQ(p.wait(), 1);
        return g;
    }

    static XServer* server_;
    static XClient* client_;
};

XServer* Monitors::server_;
XClient* Monitors::client_;

TEST_F(Monitors, ExplicitScreenInRangeWinsOverFocusAndPointer)
{
    warp(100, 100);
    XClient::Geometry second = bar_of({"-s", "1"});
    EXPECT_EQ(second.x, 1920);
    EXPECT_EQ(second.width, 1280u);
    // Out of range, negative or empty: automatic, here the pointer's head.
    warp(2500, 500);
    EXPECT_EQ(bar_of({"-s", "2"}).x, 1920);
    EXPECT_EQ(bar_of({"-s", "-1"}).x, 1920);
    EXPECT_EQ(bar_of({"-s", ""}).x, 0);
}

TEST_F(Monitors, FocusWindowPicksTheHeadHoldingMostOfIt)
{
    warp(100, 100);
    Window straddling = focus_window(1800, 100, 400, 200);
    EXPECT_EQ(bar_of({}).x, 1920);
    XDestroyWindow(client_->display(), straddling);
    warp(2500, 100);
    Window tie = focus_window(1820, 100, 200, 200);
    EXPECT_EQ(bar_of({}).x, 0);
    XDestroyWindow(client_->display(), tie);
    client_->sync();
}

TEST_F(Monitors, FocusOnRootOrNoneFallsBackToThePointer)
{
    Display* d = client_->display();
    warp(2500, 500);
    XSetInputFocus(d, client_->root(), RevertToPointerRoot, CurrentTime);
    client_->sync();
    EXPECT_EQ(bar_of({}).x, 1920);
    XSetInputFocus(d, None, RevertToNone, CurrentTime);
    client_->sync();
    EXPECT_EQ(bar_of({}).x, 1920);
    warp(10, 10);
    EXPECT_EQ(bar_of({}).x, 0);
}

TEST_F(Monitors, BottomOffsetCountsFromTheChosenHeadsOwnHeight)
{
    XClient::Geometry explicit_first = bar_of({"-s", "0", "-b", "-y", "10"});
    EXPECT_EQ(explicit_first.y, 1080 - line - 10);
    XClient::Geometry explicit_second = bar_of({"-s", "1", "-b", "-y", "10"});
    EXPECT_EQ(explicit_second.y, 1024 - line - 10);
    warp(2500, 10);
    XClient::Geometry automatic = bar_of({"-b", "-y", "10"});
    EXPECT_EQ(automatic.y, 1024 - line - 10);
    XClient::Geometry narrow = bar_of({"-s", "1", "-x", "50", "-w", "300", "-y", "10"});
    EXPECT_EQ(narrow.x, 1970);
    EXPECT_EQ(narrow.y, 10);
    EXPECT_EQ(narrow.width, 300u);
}

TEST(NoXinerama, WholeScreenIsTheMonitorAndTopOffsetIsIgnored)
{
    XServer::Options o;
    o.extra_args = {"-extension", "XINERAMA", "-extension", "RANDR"};
    XServer server(o);
    XClient client(server.display_name());
    int event, error;
    ASSERT_FALSE(XQueryExtension(client.display(), "XINERAMA", &event, &event, &error));
    auto bar_of = [&](std::vector<std::string> args) {
        args.insert(args.begin(), RAVLIN_BIN);
        Process::Options po;
        po.env = {server.env(), "LC_ALL=C.UTF-8"};
        Process p(args, po);
        p.close_stdin();
        Window bar = client.wait_for_window("ravlin", "Ravlin");
        EXPECT_NE(bar, None) << p.err();
        XClient::Geometry g = client.geometry(bar);
        client.key(XK_Escape);
        EXPECT_EQ(p.wait(), 1);
        return g;
    };
    XClient::Geometry top = bar_of({"-y", "10", "-x", "5", "-s", "3"});
    EXPECT_EQ(top.y, 0);
    EXPECT_EQ(top.x, 5);
    EXPECT_EQ(top.width, 1280u);
    EXPECT_EQ(bar_of({"-b", "-y", "10"}).y, 800 - line - 10);
}

}  // namespace
