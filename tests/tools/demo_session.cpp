// A scripted session on a private virtual display, for machines without
// one: the menu offers the executables on $PATH (found by pathtest), a
// query is typed, a screenshot is saved and the choice is accepted.
//   demo_session OUTPUT.png [QUERY]
#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "harness/harness.h"

using namespace harness;

int main(int argc, char** argv)
{
    std::string png = argc > 1 ? argv[1] : "ravlin-demo.png";
    std::string query = argc > 2 ? argv[2] : "sort";

    std::vector<std::string> find = {PATHTEST_BIN, "-flx"};
    std::stringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    for (std::string dir; std::getline(path, dir, ':');)
        if (!dir.empty())
            find.push_back(dir);
    Result programs = run(find, "", [] {
        Process::Options o;
        o.pipe_stdin = false;
        return o;
    }());
    // Sorted and unique, as a launcher would offer them.
    Result sorted = run({"sort", "-u"}, programs.out);

    XServer server(XServer::Options{"1024x200x24", {}, {}});
    XClient client(server.display_name());
    Process::Options o;
    o.env = {server.env()};
    Process menu({RAVLIN_BIN, "-p", "run:", "-fn", "DejaVu Sans Mono:size=11"}, o);
    menu.write_stdin(sorted.out);
    menu.close_stdin();
    Window bar = client.wait_for_window("ravlin", "Ravlin");
    if (bar == None) {
        std::cerr << "the menu did not appear\n" << menu.err();
        return 1;
    }
    std::cout << "offered " << std::count(sorted.out.begin(), sorted.out.end(), '\n')
              << " programs; typing \"" << query << "\"\n";
    client.type(query);
    client.sync();
    // The bar repaints after every key; wait until the last one shows.
    XClient::Image before = client.capture(bar);
    client.wait_for_image(bar, [&](const XClient::Image& i) { return i.pixels != before.pixels; },
                          1000ms);
    XClient::Image shot = client.capture(bar);
    std::string ppm = png + ".ppm";
    shot.save_ppm(ppm);
    Result convert = run({"convert", ppm, png});
    std::remove(ppm.c_str());
    std::cout << (convert.status == 0 ? "screenshot: " + png : "no screenshot (convert missing)")
              << "\n";
    client.key(XK_Return);
    auto status = menu.wait();
    std::cout << "ravlin printed: " << menu.out() << "exit status: " << status.value_or(-1) << "\n";
    return status.value_or(1);
}
