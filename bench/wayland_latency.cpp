// Times the real ravlin binary on a private headless sway: start-up and
// every keystroke of a typed query and its erasure, as on X11 in
// menu_latency, so the two platforms can be set side by side.
//
//   wayland_latency [--runs R] [--type TEXT] FILE...
//
// A Wayland client's drawing cannot be watched from another client, so
// the clock is read from libwayland's own log of the menu's messages
// (WAYLAND_DEBUG=1, one line per request and event with a microsecond
// stamp of the real-time clock), which hooks nothing inside ravlin:
// - start-up: from just before the menu is started to its first
//   wl_surface.commit with a buffer attached: the first picture handed to
//   the compositor;
// - a keystroke: from the wl_keyboard.key press event the menu read to its
//   next commit with a buffer: the redrawn bar handed to the compositor.
// The compositor's own time (input to client, commit to screen) is not in
// these figures; on X11 the server's share is. Every figure is a median
// over R runs (default 11) with its minimum and maximum.

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "harness/sway.h"

using namespace harness;

namespace {

// The log's stamp: microseconds of the real-time clock in 32 bits.
uint32_t now_stamp()
{
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<uint32_t>(t.tv_sec * 1000000L + t.tv_nsec / 1000);
}

struct Logged {
    uint32_t stamp;
    bool key_press;  // a wl_keyboard.key event with state pressed
    bool picture;    // a commit after an attach of a buffer
};

// Reads the lines of the log from offset on.
std::vector<Logged> parse(const std::string& log, size_t& offset, bool& attached)
{
    std::vector<Logged> found;
    for (size_t end; (end = log.find('\n', offset)) != std::string::npos; offset = end + 1) {
        std::string line = log.substr(offset, end - offset);
        unsigned ms = 0, us = 0;
        int consumed = 0;
        if (std::sscanf(line.c_str(), "[%u.%u]%n", &ms, &us, &consumed) != 2)
            continue;
        uint32_t stamp = ms * 1000u + us;
        std::string rest = line.substr(static_cast<size_t>(consumed));
        if (rest.find("-> wl_surface@") != std::string::npos) {
            if (rest.find(".attach(wl_buffer@") != std::string::npos)
                attached = true;
            if (rest.find(".commit()") != std::string::npos && attached) {
                found.push_back({stamp, false, true});
                attached = false;
            }
        } else if (rest.find("wl_keyboard@") != std::string::npos &&
                   rest.find(".key(") != std::string::npos && rest.find(", 1)") != std::string::npos) {
            found.push_back({stamp, true, false});
        }
    }
    return found;
}

struct Figure {
    std::vector<double> ms;
    std::string text() const
    {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        char out[96];
        std::snprintf(out, sizeof out, "%.1f (%.1f-%.1f)", v[v.size() / 2], v.front(), v.back());
        return out;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    int runs = 11;
    std::string query = "libx11";
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (a == "--type" && i + 1 < argc)
            query = argv[++i];
        else
            files.push_back(a);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: wayland_latency [--runs R] [--type TEXT] FILE...\n");
        return 2;
    }
    if (auto reason = Sway::unavailable()) {
        std::fprintf(stderr, "wayland_latency: %s\n", reason->c_str());
        return 1;
    }
    Sway sway({{"output HEADLESS-1 resolution 1920x1080"}});
    for (const std::string& file : files) {
        // The user the menu runs as reads the list from a copy.
        std::string copy = sway.bin_dir() + "/entries";
        std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
        Figure startup, keys;
        for (int run = 0; run < runs; ++run) {
            Process::Options options;
            options.pipe_stdin = false;
            uint32_t started = now_stamp();
            auto menu = sway.start({"sh", "-c", "exec \"$0\" < \"$1\"", sway.bin_dir() + "/ravlin", copy},
                                   {"WAYLAND_DEBUG=1"}, options);
            size_t offset = 0;
            bool attached = false;
            std::vector<Logged> seen;
            auto wait_for = [&](auto done) {
                return wait_until([&] {
                    std::vector<Logged> more = parse(menu->err(), offset, attached);
                    seen.insert(seen.end(), more.begin(), more.end());
                    return done();
                }, 60000ms);
            };
            auto first_picture = [&](size_t from) {
                for (size_t i = from; i < seen.size(); ++i)
                    if (seen[i].picture)
                        return i;
                return seen.size();
            };
            if (!wait_for([&] { return first_picture(0) < seen.size(); })) {
                std::fprintf(stderr, "no picture: %s\n", menu->err().c_str());
                return 1;
            }
            startup.ms.push_back((seen[first_picture(0)].stamp - started) / 1000.0);
            std::vector<std::vector<std::string>> strokes;
            for (char c : query)
                strokes.push_back({std::string(1, c)});
            for (size_t i = 0; i < query.size(); ++i)
                strokes.push_back({"-k", "BackSpace"});
            for (const auto& stroke : strokes) {
                size_t from = seen.size();
                sway.wtype(stroke);
                size_t press = 0, picture = 0;
                bool drawn = wait_for([&] {
                    for (press = from; press < seen.size() && !seen[press].key_press; ++press) {
                    }
                    picture = first_picture(press);
                    return picture < seen.size();
                });
                if (!drawn) {
                    std::fprintf(stderr, "no redraw after a key\n");
                    return 1;
                }
                keys.ms.push_back((seen[picture].stamp - seen[press].stamp) / 1000.0);
            }
            sway.wtype({"-k", "Escape"});
            menu->wait();
        }
        std::string lines = std::filesystem::path(file).filename();
        std::printf("%s\tstart-up to first picture (ms)\t%s\n", lines.c_str(), startup.text().c_str());
        std::printf("%s\tkeystroke to next picture (ms)\t%s\n", lines.c_str(), keys.text().c_str());
    }
    return 0;
}
