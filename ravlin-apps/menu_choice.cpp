#include "menu_choice.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

MenuChoice ask_menu(const std::string& program, const std::vector<std::string>& args,
                    const std::vector<std::string>& lines)
{
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::string input;
    for (const std::string& line : lines)
        input.append(line).push_back('\n');

    int to_menu[2], from_menu[2];
    if (pipe2(to_menu, O_CLOEXEC) != 0)
        return {};
    if (pipe2(from_menu, O_CLOEXEC) != 0) {
        close(to_menu[0]);
        close(to_menu[1]);
        return {};
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(to_menu[0], 0);
        dup2(from_menu[1], 1);
        signal(SIGPIPE, SIG_DFL);
        execv(argv[0], argv.data());
        fprintf(stderr, "ravlin-apps: cannot run %s: %s\n", argv[0], strerror(errno));
        _exit(127);
    }
    close(to_menu[0]);
    close(from_menu[1]);
    MenuChoice choice;
    if (pid > 0) {
        // A menu that stops reading early (-noinput, an error) only ends the
        // writing: SIGPIPE is ignored, so the write fails with EPIPE.
        std::string_view rest = input;
        while (!rest.empty()) {
            ssize_t n = write(to_menu[1], rest.data(), rest.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            rest.remove_prefix(static_cast<size_t>(n));
        }
    }
    close(to_menu[1]);
    std::string output;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(from_menu[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        output.append(buffer, static_cast<size_t>(n));
    }
    close(from_menu[0]);
    if (pid < 0)
        return choice;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    choice.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    choice.line = output.substr(0, output.find('\n'));
    return choice;
}
