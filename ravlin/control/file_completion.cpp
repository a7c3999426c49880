#include "ravlin/control/file_completion.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wordexp.h>

#include <cerrno>
#include <cstring>

#include "ravlin/control/menu_state.h"
#include "ravlin/items/utf8.h"

namespace {

bool write_all(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Runs in the child: expands and writes the words, each ended by a NUL.
[[noreturn]] void expand_in_child(const char* word, int out)
{
    // The C library prints on standard error for ${X:?msg} and may die on
    // ${X:?}; neither may show, nor leave a core file behind.
    int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0)
        dup2(null_fd, STDERR_FILENO);
    rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);

    wordexp_t expansion;
    if (wordexp(word, &expansion, WRDE_NOCMD) != 0)
        _exit(1);
    for (size_t i = 0; i < expansion.we_wordc; ++i)
        if (!write_all(out, expansion.we_wordv[i], std::strlen(expansion.we_wordv[i]) + 1))
            _exit(1);
    _exit(0);
}

bool is_name_byte(char c)
{
    return c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// ${NAME?} and ${NAME:?} either crash the C library's expansion or report
// on standard error and expand anyway, so such words are never expanded.
// Quoting is not looked at: a quoted one is refused too.
bool uses_error_operator(const char* word)
{
    for (const char* p = std::strstr(word, "${"); p; p = std::strstr(p + 1, "${")) {
        const char* q = p + 2;
        if (*q == '#')
            ++q;
        if (is_name_byte(*q)) {
            while (is_name_byte(*q))
                ++q;
        } else if (*q && std::strchr("@*#?-$!", *q)) {
            ++q;
        }
        if (*q == ':')
            ++q;
        if (*q == '?')
            return true;
    }
    return false;
}

}  // namespace

std::optional<std::vector<std::string>> expand_word(const char* word)
{
    if (uses_error_operator(word))
        return std::nullopt;
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0)
        return std::nullopt;
    // An ignored SIGCHLD, inherited from whoever started the menu, would
    // reap the child before its status could be read.
    struct sigaction default_action = {}, old_action;
    default_action.sa_handler = SIG_DFL;
    sigaction(SIGCHLD, &default_action, &old_action);
    pid_t child = fork();
    if (child < 0) {
        sigaction(SIGCHLD, &old_action, nullptr);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        return std::nullopt;
    }
    if (child == 0) {
        close(pipe_fds[0]);
        expand_in_child(word, pipe_fds[1]);
    }
    close(pipe_fds[1]);

    std::string data;
    char buffer[4096];
    for (;;) {
        ssize_t got = read(pipe_fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        data.append(buffer, static_cast<size_t>(got));
    }
    close(pipe_fds[0]);

    int status = 0;
    pid_t waited;
    while ((waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    sigaction(SIGCHLD, &old_action, nullptr);
    if (waited < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;

    std::vector<std::string> words;
    size_t start = 0;
    for (size_t end; (end = data.find('\0', start)) != std::string::npos; start = end + 1)
        words.emplace_back(data, start, end - start);
    return words;
}

void complete_file_name(MenuState& m)
{
    char* blank = std::strchr(m.input, ' ');
    if (!blank)
        return;
    char* word = blank + 1;
    size_t room = sizeof m.input - 1 - static_cast<size_t>(word - m.input);

    std::string pattern = std::string(word) + '*';
    if (pattern.size() > room)
        return;
    std::optional<std::vector<std::string>> words = expand_word(pattern.c_str());
    if (!words || words->empty())
        return;

    std::string escaped;
    for (char c : words->front()) {
        if (c == ' ')
            escaped += '\\';
        escaped += c;
    }
    // Refused whole rather than cut: the input never holds a partial name.
    if (escaped.size() > room)
        return;
    std::memcpy(word, escaped.c_str(), escaped.size() + 1);

    // Shorten the completion to the start that every further name shares.
    for (size_t i = 1; i < words->size(); ++i) {
        const char* other = (*words)[i].c_str();
        char* completion = word;
        for (; *other; ++other, ++completion) {
            if (*completion == '\\')
                ++completion;
            if (*completion != *other) {
                // Names that part inside a character keep none of it.
                while (completion > word && is_utf8_continuation(*completion))
                    --completion;
                *completion = '\0';
                break;
            }
        }
    }
    m.cursor = static_cast<int32_t>(std::strlen(m.input));
}
