#pragma once

// Test harness: private X servers, the programs under test as child
// processes with pipes, and a client connection that finds their windows,
// sends real key events through XTest and reads properties and pixels.

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace harness {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Polls condition until it holds or the timeout passes; no fixed sleeps
// beyond a short back-off between polls.
bool wait_until(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = 10000ms);

// A child process with its standard streams on pipes.
class Process {
public:
    struct Options {
        std::vector<std::string> env;  // extra NAME=VALUE entries
        std::vector<std::string> unset_env;
        bool pipe_stdin = true;        // else stdin is /dev/null
        std::string stdout_path;       // redirect stdout to this file instead of a pipe
        std::string working_directory;
        std::vector<int> closed_fds;   // descriptors the program starts without
        // The child leads a process group of its own, and kill_now ends the
        // whole group (a daemon with the helpers it started).
        bool own_group = false;
    };
    Process(const std::vector<std::string>& argv, const Options& options);
    explicit Process(const std::vector<std::string>& argv) : Process(argv, Options{}) {}
    ~Process();  // kills the child (by pid) when it still runs
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }
    // False when the reader went away before taking everything.
    bool write_stdin(const std::string& data);
    int stdin_fd() const { return stdin_fd_; }
    void close_stdin();
    // Waits for the exit; returns the status (128+signal when killed), or
    // nothing when the timeout passed.
    std::optional<int> wait(std::chrono::milliseconds timeout = 10000ms);
    bool running();
    void kill_now();
    // Sends a signal to the child, or to its group when it has its own.
    void signal(int number);
    // Everything written so far (drained without blocking).
    const std::string& out();
    const std::string& err();

private:
    void drain();
    pid_t pid_ = -1;
    int stdin_fd_ = -1, stdout_fd_ = -1, stderr_fd_ = -1;
    std::string out_, err_;
    std::optional<int> status_;
    bool own_group_ = false;
};

// Runs a command to its end and returns (status, stdout, stderr).
struct Result {
    int status;
    std::string out, err;
};
Result run(const std::vector<std::string>& argv, const std::string& input = "",
           const Process::Options& options = {});

// A private X server on a free display number (chosen by the server itself
// through -displayfd), killed by pid on destruction.
class XServer {
public:
    struct Options {
        std::string geometry = "1280x800x24";
        std::vector<std::string> extra_args;  // e.g. {"-extension", "XINERAMA"}
        // When set: a Xephyr nested in a private Xvfb, with these -screen args,
        // e.g. {"1920x1080+0+0", "1280x1024+1920+0"}, and +xinerama.
        std::vector<std::string> xephyr_screens;
    };
    explicit XServer(const Options& options);
    XServer() : XServer(Options{}) {}
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const std::string& display_name() const { return display_name_; }  // ":N"
    std::string env() const { return "DISPLAY=" + display_name_; }

private:
    std::unique_ptr<Process> host_;    // Xvfb hosting Xephyr, when nested
    std::unique_ptr<Process> server_;
    std::string display_name_;
};

// Starts the menu on server (in C.UTF-8 unless options.env says otherwise)
// with args, the entries written to its standard input, which is closed
// afterwards unless keep_input_open.
std::unique_ptr<Process> start_menu(const XServer& server, const std::vector<std::string>& args,
                                    const std::string& entries, Process::Options options = {},
                                    bool keep_input_open = false);

// A client connection to a test server.
class XClient {
public:
    explicit XClient(const std::string& display_name);
    ~XClient();
    Display* display() const { return display_; }
    Window root() const { return DefaultRootWindow(display_); }

    // Top-level windows whose WM_CLASS matches (empty instance matches any).
    std::vector<Window> windows_by_class(const std::string& instance, const std::string& class_name);
    // Waits until exactly such a window is mapped and viewable; None on timeout.
    Window wait_for_window(const std::string& instance, const std::string& class_name,
                           std::chrono::milliseconds timeout = 10000ms);
    bool window_exists(Window window);
    bool is_viewable(Window window);
    // True while another client holds the keyboard grab.
    bool keyboard_grabbed();
    // Holds the keyboard grab itself (to test a refused grab).
    bool grab_keyboard();
    void ungrab_keyboard();

    struct Geometry {
        int x, y;
        unsigned width, height;
    };
    Geometry geometry(Window window);
    std::pair<std::string, std::string> wm_class(Window window);
    std::optional<uint32_t> cardinal_property(Window window, const std::string& name);
    bool override_redirect(Window window);
    // Stacking order of the root's children, bottom first.
    std::vector<Window> stacking_order();

    // Pixels of the window, read back from the server (0xRRGGBB).
    struct Image {
        int width = 0, height = 0;
        std::vector<uint32_t> pixels;
        uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
        // Writes a binary PPM (for debugging failures).
        void save_ppm(const std::string& path) const;
    };
    Image capture(Window window);
    // Waits until capture(window) satisfies the predicate; returns the last capture.
    Image wait_for_image(Window window, const std::function<bool(const Image&)>& ready,
                         std::chrono::milliseconds timeout = 5000ms);

    // Real key events through XTest. Keysyms without a keycode are mapped
    // onto a spare keycode first.
    void key(KeySym keysym, const std::vector<KeySym>& modifiers = {});
    void type(const std::string& ascii_text);
    // Sends the events and waits until the server has processed them.
    void sync();

    // A selection owner serving UTF8_STRING (or refusing when text is empty
    // and refuse is set), served by a background thread of its own connection.
    class SelectionOwner;

private:
    KeyCode keycode_for(KeySym keysym, bool& needs_shift);
    Display* display_;
    int spare_keycode_ = 0;
};

class XClient::SelectionOwner {
public:
    // selection: "PRIMARY" or "CLIPBOARD"; refuse answers every request with
    // property None.
    SelectionOwner(const std::string& display_name, const std::string& selection,
                   const std::string& text, bool refuse = false);
    ~SelectionOwner();
    int requests_served() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Reads a whole file; empty when it does not exist.
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
// A temporary directory removed with its contents on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace harness
