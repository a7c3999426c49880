#pragma once

// A private headless sway for the Wayland tests. sway will not run as
// root, so it and every client of a test run as the unprivileged user
// 65534 with a private XDG_RUNTIME_DIR, and the programs under test are
// copied to a folder that user can read. Keys go in through wtype (a
// virtual keyboard), pixels come back through grim, selections are owned
// by wl-copy.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace harness {

class Sway {
public:
    struct Options {
        // Lines added to the configuration (output modes, key repeat...).
        std::vector<std::string> config;
        bool second_output = false;  // HEADLESS-2, 1920x1080, right of HEADLESS-1
    };
    // Why a Sway cannot be had here (not root, sway or its tools missing),
    // or nothing when it can.
    static std::optional<std::string> unavailable();

    explicit Sway(const Options& options);
    ~Sway();  // kills sway by its pid; its clients go with it
    Sway(const Sway&) = delete;
    Sway& operator=(const Sway&) = delete;

    // The environment a client of this compositor runs with.
    std::vector<std::string> client_env() const;
    // Where the copies of ravlin, its Wayland module and ravlin-run are.
    const std::string& bin_dir() const { return bin_dir_.path(); }
    const std::string& runtime_dir() const { return runtime_dir_.path(); }

    // Starts argv as the unprivileged user in this session.
    std::unique_ptr<Process> start(const std::vector<std::string>& argv,
                                   const std::vector<std::string>& env = {},
                                   Process::Options options = {});
    Result run(const std::vector<std::string>& argv, const std::string& input = "");
    // The menu with args, the entries on its standard input, then closed
    // unless keep_input_open.
    std::unique_ptr<Process> start_menu(const std::vector<std::string>& args,
                                        const std::string& entries,
                                        const std::vector<std::string>& env = {},
                                        bool keep_input_open = false);

    // wtype with these arguments: text, or -M/-m/-k/-P/-p key actions.
    void wtype(const std::vector<std::string>& args);
    // The whole screen (or one output), 0xRRGGBB.
    XClient::Image screenshot(const std::string& output = "");
    XClient::Image wait_for_screenshot(const std::function<bool(const XClient::Image&)>& ready,
                                       std::chrono::milliseconds timeout = 10000ms,
                                       const std::string& output = "");
    // The layer surface's namespace appears in sway's tree once it is
    // mapped; then its rectangle is known too.
    std::string swaymsg(const std::vector<std::string>& args);

private:
    std::vector<std::string> as_user(const std::vector<std::string>& env) const;

    TempDir runtime_dir_;
    TempDir bin_dir_;
    std::unique_ptr<Process> sway_;
    std::unique_ptr<Process> keyboard_;
    std::string display_;
    std::string ipc_socket_;
    std::string leak_options_;  // LSAN_OPTIONS, with the copied suppressions
};

}  // namespace harness
