// Times the real ravlin binary from outside, as a user feels it: start-up,
// every keystroke of a typed query and its erasure, and peak memory, on a
// private Xvfb, beside whole runs of fzf --filter, grep -F and wc -l over
// the same file. Nothing inside ravlin is hooked.
//
//   menu_latency [--runs R] [--modes LIST] [--type TEXT] [--font NAME]
//                [--no-peers] [--peers LIST] [--wrapper CMD] [--trace]
//                [--before OTHER] RAVLIN FILE...
//
// LIST is comma-separated ravlin flag sets, "-" for none (default "-,-i,-t,-z").
// --peers names the peers to run, comma-separated (default all four:
// "grep -F,grep -Fi,fzf --filter,wc -l"). TEXT (default "libx11") is typed one key at a time and then erased with
// as many BackSpaces. --wrapper runs ravlin under a command (a profiler,
// say; the timings then mean nothing). --trace prints every X event of the
// first run. --before runs every mode with a second binary too (another
// build, to hold a change against), recorded as mode "before:MODE", in the
// same rounds. Every figure is a median over R runs (default 11) with its
// minimum and maximum; the runs go round all files and modes in turn, so a
// burst of load on the machine touches them alike.
//
// How the clock is read:
// - start-up: from just before fork to the MapNotify of the bar window, and
//   to the first damage of the bar after the map. Mapping makes the server
//   paint the window background, which is damage of its own, reported while
//   the map request is processed; so the first drawing is the first damage
//   reported after the map's own (see first_drawing).
// - a keystroke: from sending the XTest key press to the first damage of
//   the bar that the server reports after it processed the press. An event
//   carries the serial of the last request of ours the server had processed
//   when it made the event, so a damage event whose serial is at least the
//   press's serial was made after the press was handed to the menu: a late
//   repaint of an earlier key cannot be taken for this one. The menu paints
//   into an off-screen canvas and copies it to the bar in one request, so
//   its first damage marks the finished repaint.
// - peak memory: VmHWM of /proc/PID/status after the last key's repaint,
//   before Escape ends the menu.
// Damage is watched on the root window, which reports the drawing of every
// window below it: a damage object made on the bar after it appears could
// miss drawing that the server had already done.

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

double now_ms()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The private server, ended on every way out, so none outlives the tool.
pid_t server_pid = -1;

void end_server()
{
    if (server_pid > 0) {
        kill(server_pid, SIGTERM);
        waitpid(server_pid, nullptr, 0);
        server_pid = -1;
    }
}

[[noreturn]] void die(const std::string& message)
{
    std::fprintf(stderr, "menu_latency: %s\n", message.c_str());
    end_server();
    std::exit(1);
}

void on_signal(int signal)
{
    if (server_pid > 0)
        kill(server_pid, SIGTERM);
    _exit(128 + signal);
}

// Forks and execs argv with standard input from in_path (or /dev/null) and
// standard output to out_fd (or /dev/null); extra_env is put first.
pid_t spawn(const std::vector<std::string>& argv, const std::string& in_path, int out_fd,
            const std::vector<std::string>& extra_env = {})
{
    int in = open(in_path.empty() ? "/dev/null" : in_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        die("cannot open " + in_path + ": " + std::strerror(errno));
    pid_t pid = fork();
    if (pid < 0)
        die("fork failed");
    if (pid == 0) {
        for (const std::string& e : extra_env)
            putenv(const_cast<char*>(e.c_str()));
        int out = out_fd >= 0 ? out_fd : open("/dev/null", O_WRONLY);
        dup2(in, 0);
        dup2(out, 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(in);
    return pid;
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, separator))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

// A private Xvfb on a display number it chooses itself.
class Server {
public:
    Server()
    {
        int fds[2];
        if (pipe(fds) != 0)
            die("pipe failed");
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24",
                   "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        server_pid = pid;
        signal(SIGINT, on_signal);
        signal(SIGTERM, on_signal);
        signal(SIGHUP, on_signal);
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty())
            die("Xvfb did not start (is it installed?)");
        name_ = ":" + number;
    }
    ~Server() { end_server(); }
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

struct Sample {
    double mapped_ms = 0;
    double drawn_ms = 0;
    std::vector<double> keys_ms;
    double peak_kib = 0;
};

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool meets(const XRectangle& r) const
    {
        return r.x < x + w && x < r.x + r.width && r.y < y + h && y < r.y + r.height;
    }
};

class Driver {
public:
    Driver(const std::string& display_name, bool trace) : trace_(trace)
    {
        display_ = XOpenDisplay(display_name.c_str());
        if (!display_)
            die("cannot open display " + display_name);
        int event, error, major, minor;
        if (!XTestQueryExtension(display_, &event, &error, &major, &minor))
            die("the server has no XTEST");
        if (!XDamageQueryExtension(display_, &damage_event_, &error))
            die("the server has no DAMAGE");
        XDamageQueryVersion(display_, &major, &minor);
        root_ = DefaultRootWindow(display_);
        XSelectInput(display_, root_, SubstructureNotifyMask);
        XDamageCreate(display_, root_, XDamageReportRawRectangles);
        XAutoRepeatOff(display_);
        XSync(display_, False);
    }
    ~Driver() { XCloseDisplay(display_); }

    // One run of the menu: start-up, the keys, the peak, Escape. Empty when
    // the menu did not come up or answer within the deadline.
    std::optional<Sample> run(const std::vector<std::string>& argv, const std::string& file,
                              const std::vector<KeySym>& keys, double patience_ms)
    {
        XSync(display_, False);
        drain();
        Sample sample;
        double start = now_ms();
        pid_t pid = spawn(argv, file, -1, {"DISPLAY=" + std::string(DisplayString(display_))});
        start_ = start;
        child_ = pid;
        child_gone_ = false;

        bar_ = None;
        bool mapped = false;
        std::map<Window, Rect> created;
        // The bar is the first window made by the menu that gets mapped.
        bool ok = wait([&](XEvent& e) {
            if (e.type == CreateNotify && e.xcreatewindow.parent == root_)
                created[e.xcreatewindow.window] = {e.xcreatewindow.x, e.xcreatewindow.y,
                                                   e.xcreatewindow.width, e.xcreatewindow.height};
            if (e.type == MapNotify && created.count(e.xmap.window)) {
                bar_ = e.xmap.window;
                bar_rect_ = created[bar_];
                sample.mapped_ms = now_ms() - start;
                mapped = true;
                return true;
            }
            return false;
        }, start + patience_ms);
        ok = ok && first_drawing(sample, start + patience_ms);
        // The map's Expose reaches the menu's loop after its first drawing
        // and is repaired with one more copy; a key sent before that copy
        // would take it for its own repaint.
        if (ok)
            wait([&](XEvent& e) { return bar_damage(e); }, now_ms() + patience_ms / 15);

        for (KeySym key : keys) {
            if (!ok)
                break;
            KeyCode code = XKeysymToKeycode(display_, key);
            unsigned long serial = NextRequest(display_);
            double sent = now_ms();
            // Released at once: a key held while a slow menu works would
            // repeat.
            XTestFakeKeyEvent(display_, code, True, CurrentTime);
            XTestFakeKeyEvent(display_, code, False, CurrentTime);
            XFlush(display_);
            ok = wait([&](XEvent& e) { return bar_damage(e) && e.xany.serial >= serial; },
                      sent + patience_ms);
            sample.keys_ms.push_back(now_ms() - sent);
        }
        if (ok)
            sample.peak_kib = peak_kib(pid);

        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, XK_Escape), True, CurrentTime);
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, XK_Escape), False, CurrentTime);
        XFlush(display_);
        if (!reap(pid, now_ms() + patience_ms)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            ok = false;
        }
        if (child_gone_ && !ok)
            std::fprintf(stderr, "menu_latency: %s ended early\n", argv[0].c_str());
        trace_ = false;
        if (!ok || !mapped)
            return std::nullopt;
        return sample;
    }

private:
    // The first damage of the bar reported after the one that the map
    // itself makes (the server painting the background): ravlin's first
    // copy of its canvas. The map's damage comes in the same request as the
    // MapNotify, so it is the first bar damage that follows it.
    bool first_drawing(Sample& sample, double deadline)
    {
        int seen = 0;
        return wait([&](XEvent& e) {
            if (!bar_damage(e))
                return false;
            auto* d = reinterpret_cast<XDamageNotifyEvent*>(&e);
            // Rectangles of one drawing request come as a burst flagged "more".
            bool last_of_request = !d->more;
            if (last_of_request)
                ++seen;
            if (seen == 2) {
                sample.drawn_ms = now_ms() - start_;
                return true;
            }
            return false;
        }, deadline);
    }

    bool bar_damage(XEvent& e) const
    {
        if (e.type != damage_event_ + XDamageNotify)
            return false;
        auto* d = reinterpret_cast<XDamageNotifyEvent*>(&e);
        return bar_ != None && bar_rect_.meets(d->area);
    }

    void show(XEvent& e) const
    {
        double t = now_ms() - start_;
        if (e.type == damage_event_ + XDamageNotify) {
            auto* d = reinterpret_cast<XDamageNotifyEvent*>(&e);
            std::fprintf(stderr, "%9.3f ms  serial %lu  damage %dx%d+%d+%d%s\n", t, e.xany.serial,
                         d->area.width, d->area.height, d->area.x, d->area.y, d->more ? " more" : "");
        } else {
            std::fprintf(stderr, "%9.3f ms  serial %lu  event %d window 0x%lx\n", t, e.xany.serial,
                         e.type, e.xany.window);
        }
    }

    // Reads events until done(event) holds or the deadline passes.
    template <class Done>
    bool wait(Done done, double deadline)
    {
        for (;;) {
            while (XPending(display_)) {
                XEvent e;
                XNextEvent(display_, &e);
                if (trace_)
                    show(e);
                // Unmapping exposes the root behind the bar: no drawing of its own.
                if (e.type == UnmapNotify && e.xunmap.window == bar_)
                    bar_ = None;
                if (done(e))
                    return true;
            }
            double left = deadline - now_ms();
            if (left <= 0 || child_gone_)
                return false;
            // A menu that ended (a usage error, say) will draw nothing more.
            if (waitpid(child_, nullptr, WNOHANG) == child_) {
                child_gone_ = true;
                continue;
            }
            pollfd p{ConnectionNumber(display_), POLLIN, 0};
            poll(&p, 1, std::min(static_cast<int>(left) + 1, 100));
        }
    }

    void drain()
    {
        while (XPending(display_)) {
            XEvent e;
            XNextEvent(display_, &e);
        }
    }

    bool reap(pid_t pid, double deadline)
    {
        if (child_gone_)
            return true;
        while (now_ms() < deadline) {
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                return true;
            drain();
            usleep(200);
        }
        return false;
    }

    static double peak_kib(pid_t pid)
    {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("VmHWM:", 0) == 0)
                return std::atof(line.c_str() + 6);
        return 0;
    }

    Display* display_;
    Window root_;
    int damage_event_ = 0;
    Window bar_ = None;
    Rect bar_rect_;
    double start_ = 0;
    pid_t child_ = -1;
    bool child_gone_ = false;
    bool trace_;
};

// The whole run of a peer, its output drained through a pipe (grep stops
// at the first match when its output is /dev/null).
double time_peer(const std::vector<std::string>& argv, const std::string& in_path)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        die("pipe failed");
    double start = now_ms();
    pid_t pid = spawn(argv, in_path, fds[1]);
    close(fds[1]);
    char buffer[65536];
    while (read(fds[0], buffer, sizeof buffer) > 0) {
    }
    close(fds[0]);
    int status;
    waitpid(pid, &status, 0);
    double took = now_ms() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
        die("peer " + argv[0] + " failed");
    return took;
}

struct Figure {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    double median() const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        size_t n = v.size();
        return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    double min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
    double max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

double median_of(std::vector<double> v)
{
    Figure f;
    f.values = std::move(v);
    return f.median();
}

size_t count_lines(const std::string& path, size_t& bytes)
{
    std::ifstream in(path, std::ios::binary);
    size_t lines = 0;
    bytes = 0;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount()) {
        std::streamsize n = in.gcount();
        bytes += static_cast<size_t>(n);
        lines += static_cast<size_t>(std::count(buffer, buffer + n, '\n'));
    }
    return lines;
}

struct Mode {
    std::string name;  // as given: "-" or flags
    std::vector<std::string> flags;
    std::string binary;
};

std::string key_name(const std::string& typed, size_t i)
{
    // The input after key i: the typed prefix, then the erasures.
    size_t n = typed.size();
    size_t length = i < n ? i + 1 : 2 * n - i - 1;
    std::string text = typed.substr(0, length);
    std::string name(1, i < n ? '+' : '-');
    name += text.empty() ? "(empty)" : text.c_str();
    return name;
}

void print_record(const char* what, size_t lines, const std::string& mode, const std::string& name,
                  const Figure& f)
{
    std::printf("%s\t%zu\t%s\t%s\t%.3f\t%.3f\t%.3f\t%zu\n", what, lines, mode.c_str(), name.c_str(),
                f.median(), f.min(), f.max(), f.values.size());
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 11;
    std::string mode_list = "-,-i,-t,-z";
    std::string typed = "libx11";
    std::string font;
    std::string wrapper;
    bool peers = true;
    bool trace = false;
    std::string before;
    std::string peer_list = "grep -F,grep -Fi,fzf --filter,wc -l";
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                die("missing value for " + a);
            return argv[++i];
        };
        if (a == "--runs")
            runs = std::max(1, std::atoi(value().c_str()));
        else if (a == "--modes")
            mode_list = value();
        else if (a == "--type")
            typed = value();
        else if (a == "--font")
            font = value();
        else if (a == "--wrapper")
            wrapper = value();
        else if (a == "--no-peers")
            peers = false;
        else if (a == "--peers")
            peer_list = value();
        else if (a == "--trace")
            trace = true;
        else if (a == "--before")
            before = value();
        else
            positional.push_back(a);
    }
    if (positional.size() < 2)
        die("usage: menu_latency [--runs R] [--modes LIST] [--type TEXT] [--font NAME] "
            "[--no-peers] [--peers LIST] [--wrapper CMD] [--trace] [--before OTHER] RAVLIN FILE...");
    std::string ravlin = positional[0];
    std::vector<std::string> files(positional.begin() + 1, positional.end());

    std::vector<Mode> modes;
    for (const std::string& m : split(mode_list, ','))
        modes.push_back({m, m == "-" ? std::vector<std::string>{} : split(m, ' '), ravlin});
    if (!before.empty())
        for (size_t i = 0, n = modes.size(); i < n; ++i)
            modes.push_back({"before:" + modes[i].name, modes[i].flags, before});

    std::vector<KeySym> keys;
    for (char c : typed) {
        char name[2] = {c, '\0'};
        KeySym k = XStringToKeysym(name);
        if (k == NoSymbol)
            die(std::string("no keysym for '") + c + "'");
        keys.push_back(k);
    }
    for (size_t i = 0; i < typed.size(); ++i)
        keys.push_back(XK_BackSpace);

    std::map<std::string, size_t> lines_of, bytes_of;
    for (const std::string& f : files)
        lines_of[f] = count_lines(f, bytes_of[f]);

    Server server;
    Driver driver(server.name(), trace);
    double patience = wrapper.empty() ? 30000 : 600000;

    // [file][mode or peer][figure]
    std::map<std::string, std::map<std::string, std::map<std::string, Figure>>> all;
    std::vector<std::string> peer_names = split(peer_list, ',');
    for (const std::string& p : peer_names)
        if (p != "grep -F" && p != "grep -Fi" && p != "fzf --filter" && p != "wc -l")
            die("no peer '" + p + "'");
    auto peer_argv = [&](const std::string& name, const std::string& file) -> std::vector<std::string> {
        if (name == "grep -F")
            return {"grep", "-F", "--", typed, file};
        if (name == "grep -Fi")
            return {"grep", "-Fi", "--", typed, file};
        if (name == "fzf --filter")
            return {"fzf", "--filter", typed};
        return {"wc", "-l"};
    };

    // One untimed round first fills the page cache and the font caches.
    for (int round = wrapper.empty() ? -1 : 0; round < runs; ++round) {
        for (const std::string& file : files) {
            // Each round starts with another mode: the first start after the
            // peers is often the slowest of a round, and that must not fall
            // on the same mode every time.
            for (size_t i = 0; i < modes.size(); ++i) {
                const Mode& mode = modes[(i + static_cast<size_t>(round + 1)) % modes.size()];
                std::vector<std::string> command;
                for (const std::string& w : split(wrapper, ' '))
                    command.push_back(w);
                command.push_back(mode.binary);
                command.insert(command.end(), mode.flags.begin(), mode.flags.end());
                if (!font.empty()) {
                    command.push_back("-fn");
                    command.push_back(font);
                }
                std::optional<Sample> s = driver.run(command, file, keys, patience);
                if (!s)
                    die("ravlin " + mode.name + " on " + file + " did not answer in time");
                if (round < 0)
                    continue;
                auto& f = all[file][mode.name];
                f["start-up: mapped"].add(s->mapped_ms);
                f["start-up: drawn"].add(s->drawn_ms);
                for (size_t k = 0; k < s->keys_ms.size(); ++k)
                    f[key_name(typed, k)].add(s->keys_ms[k]);
                f["keys: median"].add(median_of(s->keys_ms));
                f["keys: slowest"].add(*std::max_element(s->keys_ms.begin(), s->keys_ms.end()));
                f["peak memory KiB"].add(s->peak_kib);
            }
            if (!peers)
                continue;
            for (const std::string& p : peer_names) {
                double ms = time_peer(peer_argv(p, file), p.rfind("grep", 0) == 0 ? "" : file);
                if (round >= 0)
                    all[file][p]["whole run"].add(ms);
            }
        }
        std::fprintf(stderr, "menu_latency: round %d of %d done\n", round + 1, runs);
    }

    // Records: figure, lines, mode, name, median, min, max, runs (ms, or KiB
    // for memory). Each file's records start with its size, whose mode
    // field names the file.
    std::printf("# menu_latency: %d runs per figure; typed '%s' then %zu BackSpaces\n", runs,
                typed.c_str(), typed.size());
    std::printf("# what\tlines\tmode\tname\tmedian\tmin\tmax\truns\n");
    for (const std::string& file : files) {
        size_t lines = lines_of[file];
        std::string list = file.substr(file.rfind('/') + 1);
        std::printf("input\t%zu\t%s\tbytes\t%zu\t%zu\t%zu\t1\n", lines, list.c_str(), bytes_of[file],
                    bytes_of[file], bytes_of[file]);
        for (const Mode& mode : modes) {
            auto& f = all[file][mode.name];
            print_record("start", lines, mode.name, "mapped", f["start-up: mapped"]);
            print_record("start", lines, mode.name, "drawn", f["start-up: drawn"]);
            for (size_t k = 0; k < keys.size(); ++k)
                print_record("key", lines, mode.name, key_name(typed, k), f[key_name(typed, k)]);
            print_record("keys", lines, mode.name, "median", f["keys: median"]);
            print_record("keys", lines, mode.name, "slowest", f["keys: slowest"]);
            print_record("memory", lines, mode.name, "VmHWM", f["peak memory KiB"]);
        }
        if (peers)
            for (const std::string& p : peer_names)
                print_record("peer", lines, "-", p, all[file][p]["whole run"]);
    }
    return 0;
}
