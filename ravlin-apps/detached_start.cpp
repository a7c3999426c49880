#include "detached_start.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace {

[[noreturn]] void report(int fd, StartFailure::Step step)
{
    StartFailure failure{step, errno};
    ssize_t written = write(fd, &failure, sizeof failure);
    (void)written;
    _exit(127);
}

}  // namespace

StartFailure start_detached(const std::vector<std::string>& argv, const std::string& directory)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    // Closed by the exec (close-on-exec), written to when a step fails.
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0)
        return {StartFailure::fork, errno};
    pid_t middle = fork();
    if (middle < 0) {
        int error = errno;
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        return {StartFailure::fork, error};
    }
    if (middle == 0) {
        close(pipe_fds[0]);
        setsid();
        pid_t program = fork();
        if (program < 0)
            report(pipe_fds[1], StartFailure::fork);
        if (program > 0)
            _exit(0);
        // Not the session leader, so no terminal it opens becomes its own.
        // Ignored signals survive exec: the launcher ignores SIGPIPE, and
        // whoever started the launcher may have ignored others.
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        for (int number = 1; number < NSIG; ++number)
            sigaction(number, &action, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        int null = open("/dev/null", O_RDONLY);
        if (null > 0) {
            dup2(null, 0);
            close(null);
        }
        if (!directory.empty() && chdir(directory.c_str()) != 0)
            report(pipe_fds[1], StartFailure::directory);
        execvp(args[0], args.data());
        report(pipe_fds[1], StartFailure::program);
    }
    close(pipe_fds[1]);
    int status = 0;  // kept when an ignored SIGCHLD let the kernel reap it
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    StartFailure failure;
    ssize_t n;
    while ((n = read(pipe_fds[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    close(pipe_fds[0]);
    if (n == 0 && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        return {StartFailure::fork, ECHILD};
    return n == sizeof failure ? failure : StartFailure{};
}

std::vector<std::string> in_terminal(const std::vector<std::string>& argv, const char* terminal)
{
    std::vector<std::string> command = {terminal && *terminal ? terminal : "x-terminal-emulator",
                                        "-e"};
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}
