#include "harness/harness.h"

#include <X11/Xatom.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace harness {

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    auto pause = 1ms;
    for (;;) {
        if (condition())
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

// ---------------------------------------------------------------- Process

namespace {

void set_nonblocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void read_available(int& fd, std::string& into)
{
    if (fd < 0)
        return;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n == 0) {
            ::close(fd);
            fd = -1;
        }
        return;
    }
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const Options& options)
{
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    if (options.pipe_stdin && pipe2(in, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    if (options.stdout_path.empty() && pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    if (pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork");
    if (pid_ == 0) {
        if (options.own_group)
            setpgid(0, 0);
        if (options.pipe_stdin) {
            dup2(in[0], 0);
        } else {
            int null = open("/dev/null", O_RDONLY);
            dup2(null, 0);
        }
        if (options.stdout_path.empty()) {
            dup2(out[1], 1);
        } else {
            int fd = open(options.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0)
                fd = open(options.stdout_path.c_str(), O_WRONLY);
            dup2(fd, 1);
        }
        dup2(err[1], 2);
        for (int fd : options.closed_fds)
            ::close(fd);
        for (const auto& name : options.unset_env)
            unsetenv(name.c_str());
        for (const auto& entry : options.env)
            putenv(strdup(entry.c_str()));
        if (!options.working_directory.empty() && chdir(options.working_directory.c_str()) != 0)
            _exit(126);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    own_group_ = options.own_group;
    if (own_group_)
        setpgid(pid_, pid_);  // also here, so that it holds before any signal
    if (options.pipe_stdin) {
        ::close(in[0]);
        stdin_fd_ = in[1];
        ::signal(SIGPIPE, SIG_IGN);
    }
    if (options.stdout_path.empty()) {
        ::close(out[1]);
        stdout_fd_ = out[0];
        set_nonblocking(stdout_fd_);
    }
    ::close(err[1]);
    stderr_fd_ = err[0];
    set_nonblocking(stderr_fd_);
}

Process::~Process()
{
    kill_now();
    close_stdin();
    if (stdout_fd_ >= 0)
        ::close(stdout_fd_);
    if (stderr_fd_ >= 0)
        ::close(stderr_fd_);
}

bool Process::write_stdin(const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(stdin_fd_, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void Process::close_stdin()
{
    if (stdin_fd_ >= 0)
        ::close(stdin_fd_);
    stdin_fd_ = -1;
}

void Process::drain()
{
    read_available(stdout_fd_, out_);
    read_available(stderr_fd_, err_);
}

bool Process::running()
{
    if (status_)
        return false;
    int status;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        drain();
        return false;
    }
    return true;
}

std::optional<int> Process::wait(std::chrono::milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    while (running()) {
        if (Clock::now() >= deadline)
            return std::nullopt;
        pollfd fds[2];
        int n = 0;
        for (int fd : {stdout_fd_, stderr_fd_})
            if (fd >= 0)
                fds[n++] = {fd, POLLIN, 0};
        if (n)
            poll(fds, static_cast<nfds_t>(n), 5);
        else
            std::this_thread::sleep_for(1ms);
        drain();
    }
    // The child is gone; take whatever is left in the pipes.
    while (stdout_fd_ >= 0 || stderr_fd_ >= 0) {
        size_t before = out_.size() + err_.size();
        drain();
        if (out_.size() + err_.size() == before)
            break;
    }
    return status_;
}

void Process::signal(int number)
{
    if (pid_ > 0)
        ::kill(own_group_ ? -pid_ : pid_, number);
}

void Process::kill_now()
{
    if (own_group_ && pid_ > 0)
        ::kill(-pid_, SIGKILL);  // the helpers too, even once the leader is gone
    if (pid_ > 0 && running()) {
        ::kill(pid_, SIGKILL);
        int status;
        waitpid(pid_, &status, 0);
        status_ = 128 + SIGKILL;
    }
}

const std::string& Process::out()
{
    drain();
    return out_;
}

const std::string& Process::err()
{
    drain();
    return err_;
}

Result run(const std::vector<std::string>& argv, const std::string& input,
           const Process::Options& options)
{
    Process process(argv, options);
    std::thread writer;
    if (options.pipe_stdin) {
        // A separate writer keeps a large input from deadlocking against output.
        writer = std::thread([&] {
            process.write_stdin(input);
            process.close_stdin();
        });
    }
    auto status = process.wait(60000ms);
    if (writer.joinable())
        writer.join();
    Result result{status.value_or(-1), process.out(), process.err()};
    return result;
}

// ---------------------------------------------------------------- XServer

namespace {

// Starts a server with -displayfd and returns its display name.
std::string start_server(std::unique_ptr<Process>& holder, std::vector<std::string> argv,
                         const std::vector<std::string>& env)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe");
    argv.insert(argv.begin() + 1, {"-displayfd", std::to_string(fds[1])});
    Process::Options options;
    options.env = env;
    options.pipe_stdin = false;
    holder = std::make_unique<Process>(argv, options);
    ::close(fds[1]);
    std::string number;
    auto deadline = Clock::now() + 20000ms;
    while (Clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
            char c;
            ssize_t n = ::read(fds[0], &c, 1);
            if (n <= 0)
                break;
            if (c == '\n')
                break;
            number += c;
        }
        if (!holder->running())
            break;
    }
    ::close(fds[0]);
    if (number.empty())
        throw std::runtime_error("X server did not start: " + argv[0] + ": " + holder->err());
    return ":" + number;
}

}  // namespace

XServer::XServer(const Options& options)
{
    if (options.xephyr_screens.empty()) {
        std::vector<std::string> argv = {"Xvfb", "-screen", "0", options.geometry, "-nolisten",
                                         "tcp", "-noreset"};
        argv.insert(argv.end(), options.extra_args.begin(), options.extra_args.end());
        display_name_ = start_server(server_, argv, {});
        return;
    }
    std::string host_display =
        start_server(host_, {"Xvfb", "-screen", "0", "3840x1200x24", "-nolisten", "tcp"}, {});
    std::vector<std::string> argv = {"Xephyr", "+xinerama", "-nolisten", "tcp", "-noreset"};
    for (const auto& screen : options.xephyr_screens) {
        argv.push_back("-screen");
        argv.push_back(screen);
    }
    argv.insert(argv.end(), options.extra_args.begin(), options.extra_args.end());
    display_name_ = start_server(server_, argv, {"DISPLAY=" + host_display});
}

XServer::~XServer()
{
    for (auto* process : {server_.get(), host_.get()}) {
        if (!process || !process->running())
            continue;
        ::kill(process->pid(), SIGTERM);
        if (!process->wait(5000ms))
            process->kill_now();
    }
}

std::unique_ptr<Process> start_menu(const XServer& server, const std::vector<std::string>& args,
                                    const std::string& entries, Process::Options options,
                                    bool keep_input_open)
{
    std::vector<std::string> argv = {RAVLIN_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    // Before the caller's own entries, which win (another locale, say).
    options.env.insert(options.env.begin(), {server.env(), "LC_ALL=C.UTF-8"});
    auto menu = std::make_unique<Process>(argv, options);
    if (options.pipe_stdin) {
        menu->write_stdin(entries);
        if (!keep_input_open)
            menu->close_stdin();
    }
    return menu;
}

// ---------------------------------------------------------------- XClient

XClient::XClient(const std::string& display_name)
{
    display_ = XOpenDisplay(display_name.c_str());
    if (!display_)
        throw std::runtime_error("cannot open " + display_name);
}

XClient::~XClient()
{
    XCloseDisplay(display_);
}

namespace {

// Queries about windows that vanish meanwhile must not abort the test.
int ignore_errors(Display*, XErrorEvent*)
{
    return 0;
}

struct ErrorsIgnored {
    ErrorsIgnored(Display* display) : display_(display), previous_(XSetErrorHandler(ignore_errors)) {}
    ~ErrorsIgnored()
    {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    Display* display_;
    int (*previous_)(Display*, XErrorEvent*);
};

}  // namespace

std::vector<Window> XClient::windows_by_class(const std::string& instance,
                                              const std::string& class_name)
{
    ErrorsIgnored guard(display_);
    std::vector<Window> found;
    Window root_return, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, root(), &root_return, &parent, &children, &count))
        return found;
    for (unsigned int i = 0; i < count; ++i) {
        XClassHint hint{};
        if (!XGetClassHint(display_, children[i], &hint))
            continue;
        bool match = (instance.empty() || instance == (hint.res_name ? hint.res_name : "")) &&
                     class_name == (hint.res_class ? hint.res_class : "");
        if (hint.res_name)
            XFree(hint.res_name);
        if (hint.res_class)
            XFree(hint.res_class);
        if (match)
            found.push_back(children[i]);
    }
    if (children)
        XFree(children);
    return found;
}

bool XClient::is_viewable(Window window)
{
    ErrorsIgnored guard(display_);
    XWindowAttributes attributes;
    return XGetWindowAttributes(display_, window, &attributes) &&
           attributes.map_state == IsViewable;
}

bool XClient::window_exists(Window window)
{
    ErrorsIgnored guard(display_);
    XWindowAttributes attributes;
    return XGetWindowAttributes(display_, window, &attributes) != 0;
}

Window XClient::wait_for_window(const std::string& instance, const std::string& class_name,
                                std::chrono::milliseconds timeout)
{
    Window window = None;
    wait_until(
        [&] {
            for (Window w : windows_by_class(instance, class_name))
                if (is_viewable(w)) {
                    window = w;
                    return true;
                }
            return false;
        },
        timeout);
    return window;
}

bool XClient::keyboard_grabbed()
{
    int result = XGrabKeyboard(display_, root(), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (result == GrabSuccess) {
        XUngrabKeyboard(display_, CurrentTime);
        XSync(display_, False);
        return false;
    }
    return result == AlreadyGrabbed || result == GrabFrozen;
}

bool XClient::grab_keyboard()
{
    bool ok = XGrabKeyboard(display_, root(), False, GrabModeAsync, GrabModeAsync, CurrentTime) ==
              GrabSuccess;
    XSync(display_, False);
    return ok;
}

void XClient::ungrab_keyboard()
{
    XUngrabKeyboard(display_, CurrentTime);
    XSync(display_, False);
}

XClient::Geometry XClient::geometry(Window window)
{
    Window root_return;
    int x = 0, y = 0;
    unsigned int width = 0, height = 0, border, depth;
    XGetGeometry(display_, window, &root_return, &x, &y, &width, &height, &border, &depth);
    return {x, y, width, height};
}

std::pair<std::string, std::string> XClient::wm_class(Window window)
{
    XClassHint hint{};
    std::pair<std::string, std::string> result;
    if (XGetClassHint(display_, window, &hint)) {
        result = {hint.res_name ? hint.res_name : "", hint.res_class ? hint.res_class : ""};
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    return result;
}

std::optional<uint32_t> XClient::cardinal_property(Window window, const std::string& name)
{
    Atom atom = XInternAtom(display_, name.c_str(), False);
    Atom type;
    int format;
    unsigned long count, remaining;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, atom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                           &remaining, &data) != Success ||
        !data || count != 1 || format != 32) {
        if (data)
            XFree(data);
        return std::nullopt;
    }
    uint32_t value = static_cast<uint32_t>(*reinterpret_cast<unsigned long*>(data));
    XFree(data);
    return value;
}

bool XClient::override_redirect(Window window)
{
    XWindowAttributes attributes;
    return XGetWindowAttributes(display_, window, &attributes) && attributes.override_redirect;
}

std::vector<Window> XClient::stacking_order()
{
    std::vector<Window> order;
    Window root_return, parent, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, root(), &root_return, &parent, &children, &count)) {
        order.assign(children, children + count);
        if (children)
            XFree(children);
    }
    return order;
}

XClient::Image XClient::capture(Window window)
{
    Image image;
    // A window that went away meanwhile gives an empty picture.
    ErrorsIgnored guard(display_);
    Geometry g = geometry(window);
    if (g.width == 0 || g.height == 0)
        return image;
    XImage* x_image = XGetImage(display_, window, 0, 0, g.width, g.height, AllPlanes, ZPixmap);
    if (!x_image)
        return image;
    image.width = static_cast<int>(g.width);
    image.height = static_cast<int>(g.height);
    image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.pixels[static_cast<size_t>(y * image.width + x)] =
                static_cast<uint32_t>(XGetPixel(x_image, x, y) & 0xffffff);
    XDestroyImage(x_image);
    return image;
}

void XClient::Image::save_ppm(const std::string& path) const
{
    std::ofstream file(path, std::ios::binary);
    file << "P6\n" << width << " " << height << "\n255\n";
    for (uint32_t p : pixels) {
        char rgb[3] = {static_cast<char>(p >> 16), static_cast<char>(p >> 8), static_cast<char>(p)};
        file.write(rgb, 3);
    }
}

XClient::Image XClient::wait_for_image(Window window, const std::function<bool(const Image&)>& ready,
                                       std::chrono::milliseconds timeout)
{
    Image image;
    wait_until(
        [&] {
            image = capture(window);
            return !image.pixels.empty() && ready(image);
        },
        timeout);
    return image;
}

KeyCode XClient::keycode_for(KeySym keysym, bool& needs_shift)
{
    needs_shift = false;
    KeyCode code = XKeysymToKeycode(display_, keysym);
    if (code) {
        // Prefer the unshifted position; use Shift when only the second one has it.
        if (XkbKeycodeToKeysym(display_, code, 0, 0) != keysym &&
            XkbKeycodeToKeysym(display_, code, 0, 1) == keysym)
            needs_shift = true;
        return code;
    }
    int min_code, max_code;
    XDisplayKeycodes(display_, &min_code, &max_code);
    if (!spare_keycode_) {
        int per_code;
        KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(min_code),
                                          max_code - min_code + 1, &per_code);
        for (int c = max_code; c >= min_code && !spare_keycode_; --c) {
            bool empty = true;
            for (int i = 0; i < per_code; ++i)
                if (map[(c - min_code) * per_code + i] != NoSymbol)
                    empty = false;
            if (empty)
                spare_keycode_ = c;
        }
        XFree(map);
    }
    KeySym syms[2] = {keysym, keysym};
    XChangeKeyboardMapping(display_, spare_keycode_, 2, syms, 1);
    XSync(display_, False);
    return static_cast<KeyCode>(spare_keycode_);
}

void XClient::key(KeySym keysym, const std::vector<KeySym>& modifiers)
{
    bool needs_shift;
    KeyCode code = keycode_for(keysym, needs_shift);
    std::vector<KeyCode> held;
    for (KeySym m : modifiers) {
        bool unused;
        held.push_back(keycode_for(m, unused));
    }
    if (needs_shift && std::find(modifiers.begin(), modifiers.end(), XK_Shift_L) == modifiers.end()) {
        bool unused;
        held.push_back(keycode_for(XK_Shift_L, unused));
    }
    for (KeyCode m : held)
        XTestFakeKeyEvent(display_, m, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        XTestFakeKeyEvent(display_, *it, False, CurrentTime);
    XFlush(display_);
}

void XClient::type(const std::string& text)
{
    for (unsigned char c : text) {
        KeySym keysym = c == '\n' ? XK_Return : c == '\t' ? XK_Tab : static_cast<KeySym>(c);
        key(keysym);
    }
}

void XClient::sync()
{
    XSync(display_, False);
}

// ---------------------------------------------------------- SelectionOwner

struct XClient::SelectionOwner::Impl {
    Display* display = nullptr;
    Window window = None;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<int> served{0};
};

XClient::SelectionOwner::SelectionOwner(const std::string& display_name,
                                        const std::string& selection, const std::string& text,
                                        bool refuse)
    : impl_(std::make_unique<Impl>())
{
    Display* display = XOpenDisplay(display_name.c_str());
    if (!display)
        throw std::runtime_error("cannot open " + display_name);
    impl_->display = display;
    impl_->window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    Atom selection_atom = XInternAtom(display, selection.c_str(), False);
    XSetSelectionOwner(display, selection_atom, impl_->window, CurrentTime);
    XSync(display, False);
    if (XGetSelectionOwner(display, selection_atom) != impl_->window)
        throw std::runtime_error("could not own " + selection);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Impl* impl = impl_.get();
    impl->thread = std::thread([impl, text, refuse, utf8] {
        Display* d = impl->display;
        while (!impl->stop) {
            pollfd p{ConnectionNumber(d), POLLIN, 0};
            if (!XPending(d) && poll(&p, 1, 20) <= 0)
                continue;
            while (XPending(d)) {
                XEvent event;
                XNextEvent(d, &event);
                if (event.type != SelectionRequest)
                    continue;
                XSelectionRequestEvent& request = event.xselectionrequest;
                XSelectionEvent reply{};
                reply.type = SelectionNotify;
                reply.display = d;
                reply.requestor = request.requestor;
                reply.selection = request.selection;
                reply.target = request.target;
                reply.time = request.time;
                reply.property = None;
                if (!refuse && request.target == utf8 && request.property != None) {
                    XChangeProperty(d, request.requestor, request.property, utf8, 8,
                                    PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(text.data()),
                                    static_cast<int>(text.size()));
                    reply.property = request.property;
                }
                XSendEvent(d, request.requestor, False, NoEventMask,
                           reinterpret_cast<XEvent*>(&reply));
                // Counted only once the server has the reply and the property.
                XSync(d, False);
                ++impl->served;
            }
        }
    });
}

XClient::SelectionOwner::~SelectionOwner()
{
    impl_->stop = true;
    if (impl_->thread.joinable())
        impl_->thread.join();
    XCloseDisplay(impl_->display);
}

int XClient::SelectionOwner::requests_served() const
{
    return impl_->served;
}

// ---------------------------------------------------------------- files

std::string read_file(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream buffer;
    buffer << file.rdbuf();
    return buffer.str();
}

void write_file(const std::string& path, const std::string& content)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
}

TempDir::TempDir()
{
    char pattern[] = "/tmp/ravlin-test-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace harness
