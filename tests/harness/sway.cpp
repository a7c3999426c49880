#include "harness/sway.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace harness {

namespace fs = std::filesystem;

namespace {

constexpr const char* user = "65534";

bool on_path(const std::string& program)
{
    return run({"sh", "-c", "command -v " + program}).status == 0;
}

XClient::Image parse_ppm(const std::string& data)
{
    XClient::Image image;
    // "P6\n<width> <height>\n255\n" then RGB triples.
    int width = 0, height = 0, max = 0, consumed = 0;
    if (std::sscanf(data.c_str(), "P6 %d %d %d%n", &width, &height, &max, &consumed) != 3 ||
        max != 255)
        return image;
    size_t start = static_cast<size_t>(consumed) + 1;
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (data.size() < start + count * 3)
        return image;
    image.width = width;
    image.height = height;
    image.pixels.resize(count);
    for (size_t i = 0; i < count; ++i) {
        auto byte = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(data[start + i * 3 + k])); };
        image.pixels[i] = byte(0) << 16 | byte(1) << 8 | byte(2);
    }
    return image;
}

void copy_program(const std::string& from, const std::string& to_dir)
{
    fs::path target = fs::path(to_dir) / fs::path(from).filename();
    fs::copy_file(from, target, fs::copy_options::overwrite_existing);
    chmod(target.c_str(), 0755);
}

}  // namespace

std::optional<std::string> Sway::unavailable()
{
    if (geteuid() != 0)
        return "the Wayland tests run sway as another user, which needs root";
    for (const char* program : {"sway", "swaymsg", "grim", "wtype", "wl-copy", "setpriv"})
        if (!on_path(program))
            return std::string(program) + " is not installed (scripts/setup installs it)";
    return std::nullopt;
}

Sway::Sway(const Options& options)
{
    for (const std::string& dir : {runtime_dir_.path(), bin_dir_.path()})
        chown(dir.c_str(), 65534, 65534);
    chmod(runtime_dir_.path().c_str(), 0700);
    chmod(bin_dir_.path().c_str(), 0755);
    copy_program(RAVLIN_BIN, bin_dir());
    copy_program(fs::path(RAVLIN_BIN).parent_path() / "ravlin-wayland.so", bin_dir());
    copy_program(PATHTEST_BIN, bin_dir());
    copy_program(std::string(SOURCE_DIR) + "/ravlin-run/ravlin-run", bin_dir());
    // The leak suppressions, where that user can read them.
    if (const char* value = std::getenv("LSAN_OPTIONS")) {
        leak_options_ = value;
        size_t at = leak_options_.find("suppressions=");
        if (at != std::string::npos) {
            size_t start = at + std::strlen("suppressions="), end = leak_options_.find(':', start);
            std::string file = leak_options_.substr(start, end == std::string::npos ? end : end - start);
            copy_program(file, bin_dir());
            leak_options_.replace(start, file.size(), bin_dir() + "/" + fs::path(file).filename().string());
        }
    }

    std::string config = "output HEADLESS-1 resolution 1280x720 position 0 0 bg #3f3f3f solid_color\n";
    for (const std::string& line : options.config)
        config += line + "\n";
    write_file(runtime_dir_ / "config", config);
    chmod((runtime_dir_ / "config").c_str(), 0644);

    std::vector<std::string> argv = as_user({"WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
                                             "WLR_LIBINPUT_NO_DEVICES=1"});
    argv.insert(argv.end(), {"sway", "-c", runtime_dir_ / "config"});
    Process::Options process_options;
    process_options.pipe_stdin = false;
    sway_ = std::make_unique<Process>(argv, process_options);
    bool up = wait_until(
        [&] {
            for (const auto& entry : fs::directory_iterator(runtime_dir()))
                {
                    std::string name = entry.path().filename();
                    if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos)
                        display_ = name;
                    if (name.rfind("sway-ipc.", 0) == 0)
                        ipc_socket_ = entry.path();
                }
            return (!display_.empty() && !ipc_socket_.empty()) || !sway_->running();
        },
        20000ms);
    if (!up || display_.empty() || ipc_socket_.empty())
        throw std::runtime_error("sway did not start: " + sway_->err());
    // With no keyboard on the seat, each wtype brings one and takes it away
    // again, and a client can miss the first key while it gets hold of the
    // new keyboard. A virtual keyboard kept for the session avoids that.
    keyboard_ = start({"wtype", "-s", "86400000"});
    if (options.second_output) {
        swaymsg({"create_output"});
        swaymsg({"output HEADLESS-2 resolution 1920x1080 position 1280 0 bg #3f3f3f solid_color"});
        wait_until([&] { return screenshot().width == 1280 + 1920; });
    }
}

Sway::~Sway()
{
    keyboard_.reset();
    if (sway_ && sway_->running()) {
        ::kill(sway_->pid(), SIGTERM);
        if (!sway_->wait(5000ms))
            sway_->kill_now();
    }
}

std::vector<std::string> Sway::as_user(const std::vector<std::string>& env) const
{
    std::vector<std::string> argv = {"setpriv", std::string("--reuid=") + user,
                                     std::string("--regid=") + user, "--clear-groups", "env", "-i",
                                     "HOME=" + runtime_dir(), "XDG_RUNTIME_DIR=" + runtime_dir(),
                                     "PATH=" + bin_dir() + ":/usr/bin:/bin"};
    // Sanitizer settings reach the menu, so its reports fail the test.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char* value = std::getenv(name))
            argv.push_back(std::string(name) + "=" + value);
    if (!leak_options_.empty())
        argv.push_back("LSAN_OPTIONS=" + leak_options_);
    argv.insert(argv.end(), env.begin(), env.end());
    return argv;
}

std::vector<std::string> Sway::client_env() const
{
    return {"WAYLAND_DISPLAY=" + display_, "LANG=C.UTF-8"};
}

std::unique_ptr<Process> Sway::start(const std::vector<std::string>& argv,
                                     const std::vector<std::string>& env, Process::Options options)
{
    std::vector<std::string> all = client_env();
    all.insert(all.end(), env.begin(), env.end());
    std::vector<std::string> command = as_user(all);
    command.insert(command.end(), argv.begin(), argv.end());
    return std::make_unique<Process>(command, options);
}

Result Sway::run(const std::vector<std::string>& argv, const std::string& input)
{
    std::vector<std::string> command = as_user(client_env());
    command.insert(command.end(), argv.begin(), argv.end());
    return harness::run(command, input);
}

std::unique_ptr<Process> Sway::start_menu(const std::vector<std::string>& args,
                                          const std::string& entries,
                                          const std::vector<std::string>& env,
                                          bool keep_input_open)
{
    std::vector<std::string> argv = {bin_dir() + "/ravlin"};
    argv.insert(argv.end(), args.begin(), args.end());
    auto menu = start(argv, env);
    menu->write_stdin(entries);
    if (!keep_input_open)
        menu->close_stdin();
    return menu;
}

void Sway::wtype(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {"wtype"};
    argv.insert(argv.end(), args.begin(), args.end());
    Result r = run(argv);
    if (r.status != 0)
        throw std::runtime_error("wtype failed: " + r.err);
}

XClient::Image Sway::screenshot(const std::string& output)
{
    std::vector<std::string> argv = {"grim", "-t", "ppm"};
    if (!output.empty())
        argv.insert(argv.end(), {"-o", output});
    argv.push_back("-");
    return parse_ppm(run(argv).out);
}

XClient::Image Sway::wait_for_screenshot(const std::function<bool(const XClient::Image&)>& ready,
                                         std::chrono::milliseconds timeout,
                                         const std::string& output)
{
    XClient::Image image;
    wait_until(
        [&] {
            image = screenshot(output);
            return !image.pixels.empty() && ready(image);
        },
        timeout);
    return image;
}

std::string Sway::swaymsg(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {"swaymsg", "-s", ipc_socket_};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv).out;
}

}  // namespace harness
