#pragma once

// Helpers for the launcher tests: a scratch home with its XDG directories,
// small executable scripts, and a stand-in for the menu that records what it
// was offered and prints a chosen line, so a listing can be compared whole.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace launcher_fixture {

using namespace harness;

inline void write_script(const std::string& path, const std::string& body)
{
    write_file(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
}

// A menu that saves its arguments (one per line) and its standard input
// in $RECORD, else beside itself, removes $REMOVE when set, then prints
// $CHOICE and exits 0, or exits 1 without one.
inline void write_recording_menu(const std::string& dir)
{
    write_script(dir + "/ravlin",
                 "here=${RECORD:-${0%/*}}\n"
                 "printf '%s\\n' \"$@\" > \"$here/menu-args\"\n"
                 "cat > \"$here/menu-input\"\n"
                 "[ -z \"$REMOVE\" ] || rm -f \"$REMOVE\"\n"
                 "[ -n \"$CHOICE\" ] || exit 1\n"
                 "printf '%s\\n' \"$CHOICE\"\n");
}

// A program that records how it was started: its arguments, working
// directory, standard input, session, process ID and ignored signals, one
// per line in $MARK (written
// whole, then renamed, so a reader never sees half). It then waits for a
// line on $MARK.release when that FIFO exists, so the test can see it
// outlive the launcher.
inline void write_marking_program(const std::string& path)
{
    write_script(path,
                 "read -r stat < /proc/$$/stat\n"
                 "set -- \"$@\" \"cwd=$PWD\" \"stdin=$(readlink /proc/$$/fd/0)\"\n"
                 "set -- \"$@\" \"sid=$(echo \"$stat\" | cut -d' ' -f6)\" \"pid=$$\"\n"
                 "set -- \"$@\" \"ignored=$(sed -n 's/^SigIgn:\t//p' /proc/$$/status)\"\n"
                 "printf '%s\\n' \"$@\" > \"$MARK.tmp\" && mv \"$MARK.tmp\" \"$MARK\"\n"
                 "[ -p \"$MARK.release\" ] && read -r _ < \"$MARK.release\"\n"
                 "echo done > \"$MARK.done\"\n");
}

inline std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Lets a marking program go on: a line into its FIFO, once it reads it.
inline void release_marked(const std::string& mark)
{
    int fd = -1;
    wait_until([&] { return (fd = open((mark + ".release").c_str(), O_WRONLY | O_NONBLOCK)) >= 0; });
    if (fd >= 0) {
        ssize_t written = write(fd, "\n", 1);
        (void)written;
        close(fd);
    }
}

// After a failed test: ends a marking program still waiting on its FIFO.
inline void stop_marked(const std::string& mark)
{
    if (!read_file(mark + ".done").empty())
        return;
    for (const std::string& line : lines_of(read_file(mark)))
        if (line.rfind("pid=", 0) == 0)
            kill(std::stoi(line.substr(4)), SIGKILL);
}

inline bool has_line(const std::string& text, const std::string& line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// Sets the modification time of a directory an hour back, so that only
// changes a test makes count as new.
inline void make_old(const std::string& path)
{
    struct timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Runs argv in a private mount namespace whose /etc/passwd gives this user
// the home directory home (which may be relative, as good as none), with
// HOME and the XDG base directories unset. Nothing when no such namespace can be
// made (not root, no unshare).
inline std::optional<Result> run_with_password_home(const TempDir& dir, const std::string& home,
                                                    std::vector<std::string> argv,
                                                    Process::Options options)
{
    std::string id = std::to_string(getuid()) + ":" + std::to_string(getgid());
    write_file(dir / "passwd", "user:x:" + id + ":user:" + home + ":/bin/sh\n");
    options.unset_env.insert(options.unset_env.end(), {"HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                                                        "XDG_DATA_HOME", "XDG_CONFIG_HOME"});
    argv.insert(argv.begin(), {"unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                               "mount --bind \"$0\" /etc/passwd || exit 99; exec \"$@\"",
                               dir / "passwd"});
    Result result = run(argv, "", options);
    if (result.status == 99 || result.err.rfind("unshare:", 0) == 0)
        return std::nullopt;
    return result;
}

}  // namespace launcher_fixture
