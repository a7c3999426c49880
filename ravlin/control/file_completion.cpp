#include "ravlin/control/file_completion.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wordexp.h>

#include <cerrno>
#include <cstring>

#include "ravlin/base/menu_state.h"
#include "ravlin/base/utf8.h"
#include "ravlin/base/write_all.h"

namespace {

using Clock = std::chrono::steady_clock;

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

// Reaps the child if it has ended, without waiting for it: a child stuck in
// the kernel (a file system that never answers) would keep the menu, and
// its keyboard grab, waiting for as long as the mount does.
bool reap(pid_t child, int& status)
{
    status = 0;  // kept when an ignored SIGCHLD let the kernel reap it
    pid_t reaped;
    while ((reaped = waitpid(child, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    return reaped != 0;
}

// Children killed but not yet seen to end: reaped whenever we pass by.
void reap_left_behind(PendingCompletion& c)
{
    int status;
    std::erase_if(c.left_behind, [&](pid_t child) { return reap(child, status); });
}

void forget_child(PendingCompletion& c)
{
    if (c.fd >= 0)
        close(c.fd);
    sigaction(SIGCHLD, &c.old_child_action, nullptr);
    c.child = -1;
    c.fd = -1;
}

// After the last word: applies the completion once the child has ended.
// True when the input changed.
bool finish_completion(MenuState& m)
{
    PendingCompletion& c = m.completion;
    int status;
    if (!reap(c.child, status))
        return false;  // on its way out; looked at again shortly
    forget_child(c);
    // Keys typed meanwhile win over a completion of what is gone.
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || c.cursor != m.cursor ||
        std::strcmp(c.input, m.input) != 0)
        return false;
    apply_completion(m, c.words);
    return true;
}

// Reads what the child has written so far, a bounded amount at a time so
// that keys are not kept waiting behind a child that writes without end.
// True when the input changed because the child is done.
bool read_completion(MenuState& m)
{
    PendingCompletion& c = m.completion;
    char buffer[65536];
    for (int chunk = 0; chunk < 16; ++chunk) {
        ssize_t got = read(c.fd, buffer, sizeof buffer);
        if (got > 0) {
            c.words.feed(buffer, static_cast<size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;  // nothing more for now
        close(c.fd);
        c.fd = -1;
        return finish_completion(m);
    }
    return false;
}

}  // namespace

void CompletionWords::feed(const char* bytes, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        char c = bytes[i];
        if (!have_first) {
            if (c == '\0') {
                have_first = true;
                shared = first.size();
                continue;
            }
            if (first.size() < first_limit)
                first += c;
            ++first_size;
            first_blanks += c == ' ';
            continue;
        }
        if (c == '\0') {
            shared = std::min(shared, at);
            at = 0;
            continue;
        }
        if (at < shared && first[at] != c)
            shared = at;
        ++at;
    }
}

void apply_completion(MenuState& m, const CompletionWords& words)
{
    char* blank = std::strchr(m.input, ' ');
    if (!blank || !words.have_first)
        return;
    char* word = blank + 1;
    size_t room = sizeof m.input - 1 - static_cast<size_t>(word - m.input);
    // Refused whole rather than cut: the input never holds a partial name.
    if (words.first_size + words.first_blanks > room)
        return;
    size_t cut = words.shared;
    // Names that part inside a character keep none of it.
    if (cut < words.first.size())
        while (cut > 0 && is_utf8_continuation(words.first[cut]))
            --cut;
    for (size_t i = 0; i < cut; ++i) {
        if (words.first[i] == ' ')
            *word++ = '\\';
        *word++ = words.first[i];
    }
    *word = '\0';
    m.cursor = static_cast<int32_t>(std::strlen(m.input));
}

void start_file_completion(MenuState& m)
{
    cancel_file_completion(m);
    reap_left_behind(m.completion);
    const char* blank = std::strchr(m.input, ' ');
    if (!blank)
        return;
    const char* word = blank + 1;
    size_t room = sizeof m.input - 1 - static_cast<size_t>(word - m.input);
    std::string pattern = std::string(word) + '*';
    if (pattern.size() > room || uses_error_operator(pattern.c_str()))
        return;

    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0)
        return;
    PendingCompletion& c = m.completion;
    // An ignored SIGCHLD, inherited from whoever started the menu, would
    // reap the child before its status could be read.
    struct sigaction default_action = {};
    default_action.sa_handler = SIG_DFL;
    sigaction(SIGCHLD, &default_action, &c.old_child_action);
    pid_t child = fork();
    if (child < 0) {
        sigaction(SIGCHLD, &c.old_child_action, nullptr);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        return;
    }
    if (child == 0) {
        close(pipe_fds[0]);
        expand_in_child(pattern.c_str(), pipe_fds[1]);
    }
    close(pipe_fds[1]);
    fcntl(pipe_fds[0], F_SETFL, fcntl(pipe_fds[0], F_GETFL) | O_NONBLOCK);
    c.child = child;
    c.fd = pipe_fds[0];
    c.deadline = Clock::now() + completion_time_limit;
    std::memcpy(c.input, m.input, sizeof c.input);
    c.cursor = m.cursor;
    c.words = CompletionWords();
}

bool wait_for_completion(MenuState& m, int other_fd)
{
    PendingCompletion& c = m.completion;
    if (c.child < 0)
        return false;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(c.deadline - Clock::now());
    if (left.count() <= 0) {
        cancel_file_completion(m);
        return false;
    }
    // With every word read the child is ending: it is looked at every
    // millisecond, since there is nothing to wait on without a signal.
    int timeout = c.fd >= 0 ? static_cast<int>(left.count()) : 1;
    pollfd fds[2] = {{other_fd, POLLIN, 0}, {c.fd, POLLIN, 0}};
    int count = (other_fd >= 0 ? 1 : 0) + (c.fd >= 0 ? 1 : 0);
    pollfd* first = other_fd >= 0 ? &fds[0] : &fds[1];
    if (poll(first, static_cast<nfds_t>(count), timeout) < 0)
        return false;
    if (c.fd < 0)
        return finish_completion(m);
    if (fds[1].revents)
        return read_completion(m);
    return false;
}

void cancel_file_completion(MenuState& m)
{
    PendingCompletion& c = m.completion;
    if (c.child < 0)
        return;
    kill(c.child, SIGKILL);
    int status;
    if (!reap(c.child, status))
        c.left_behind.push_back(c.child);
    forget_child(c);
}

void complete_file_name(MenuState& m)
{
    start_file_completion(m);
    while (m.completion.child >= 0)
        wait_for_completion(m, -1);
}
