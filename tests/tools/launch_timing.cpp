// Times how long the bar takes to appear: ravlin-run with a warm cache
// against ravlin alone given the same list on its standard input, on a
// private virtual display. Each run is timed from the start of the process
// to the MapNotify of the bar, then cancelled with Escape; the two kinds
// alternate. Both read the same history, of 20 lines by default as after
// some use. Prints the medians and their ratio.
//   launch_timing [RUNS [HISTORY_LINES]]   (default 30 20)
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "harness/harness.h"

using namespace harness;

namespace {

// Milliseconds until a window of class "ravlin" is mapped; negative on timeout.
double wait_for_map(Display* display, Clock::time_point start)
{
    auto deadline = start + 5000ms;
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify)
                continue;
            XClassHint hint{};
            if (XGetClassHint(display, event.xmap.window, &hint)) {
                bool ours = std::string(hint.res_name ? hint.res_name : "") == "ravlin";
                XFree(hint.res_name);
                XFree(hint.res_class);
                if (ours)
                    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            }
        }
        if (Clock::now() > deadline)
            return -1;
        int fd = ConnectionNumber(display);
        fd_set read_set;
        FD_ZERO(&read_set);
        FD_SET(fd, &read_set);
        timeval pause{0, 2000};
        select(fd + 1, &read_set, nullptr, nullptr, &pause);
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? std::atoi(argv[1]) : 30;
    size_t history_lines = argc > 2 ? static_cast<size_t>(std::atoi(argv[2])) : 20;
    TempDir dir;
    mkdir((dir / "tools").c_str(), 0755);
    symlink(RAVLIN_BIN, (dir / "tools/ravlin").c_str());
    symlink(PATHTEST_BIN, (dir / "tools/pathtest").c_str());
    std::string path = dir / "tools" + ":/usr/local/bin:/usr/bin:/bin:/usr/local/sbin:/usr/sbin:/sbin";
    std::string history = dir / "state/ravlin/run-history";

    XServer server;
    XClient client(server.display_name());
    Display* display = client.display();
    XSelectInput(display, client.root(), SubstructureNotifyMask);
    XSync(display, True);

    Process::Options options;
    options.env = {server.env(), "PATH=" + path, "HOME=" + dir / "home",
                   "XDG_CACHE_HOME=" + dir / "cache", "XDG_STATE_HOME=" + dir / "state",
                   "LC_ALL=C.UTF-8"};
    options.pipe_stdin = false;

    auto timed = [&](const std::vector<std::string>& argv, const std::string* input) {
        Process::Options these = options;
        these.pipe_stdin = input != nullptr;
        auto start = Clock::now();
        Process process(argv, these);
        if (input) {
            process.write_stdin(*input);
            process.close_stdin();
        }
        double ms = wait_for_map(display, start);
        client.key(XK_Escape);
        process.wait();
        XSync(display, True);  // the unmap and destroy of this run
        return ms;
    };

    const std::string script = SOURCE_DIR "/ravlin-run/ravlin-run";
    timed({script}, nullptr);  // builds the cache
    std::string cache = read_file(dir / "cache/ravlin/run");
    std::string list = cache.substr(cache.find('\n') + 1);
    std::vector<std::string> names;
    for (size_t at = 0, end; (end = list.find('\n', at)) != std::string::npos; at = end + 1)
        names.push_back(list.substr(at, end - at));
    std::string recent;
    for (size_t i = 0; i < history_lines && !names.empty(); ++i)
        recent += names[i * names.size() / history_lines] + "\n";
    if (history_lines)
        write_file(history, recent);
    std::vector<double> launcher, alone;
    for (int i = 0; i < runs; ++i) {
        launcher.push_back(timed({script}, nullptr));
        alone.push_back(timed({RAVLIN_BIN, "-hist", history}, &list));
    }
    if (std::min(*std::min_element(launcher.begin(), launcher.end()),
                 *std::min_element(alone.begin(), alone.end())) < 0) {
        std::cerr << "a bar did not appear\n";
        return 1;
    }
    std::printf("%zu entries, %zu history lines, %d runs each, time to the bar mapped (median)\n",
                names.size(), history_lines, runs);
    std::printf("ravlin-run, warm cache: %.2f ms\n", median(launcher));
    std::printf("ravlin < list:          %.2f ms\n", median(alone));
    std::printf("ratio:                  %.2f\n", median(launcher) / median(alone));
    return 0;
}
