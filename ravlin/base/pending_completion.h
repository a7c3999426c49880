#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The words of one expansion as they arrive, each ended by a NUL. Only what
// the completion uses is kept: the first word (while it could still fit in
// the input) and how far every later word agrees with it, so a pattern that
// matches millions of names costs no more memory than one that matches two.
struct CompletionWords {
    static constexpr size_t first_limit = 1024;  // more never fits the input

    std::string first;        // the first word, cut at first_limit bytes
    size_t first_size = 0;    // its whole length
    size_t first_blanks = 0;  // its blanks, each of which gets a backslash
    bool have_first = false;  // the first word is complete
    size_t shared = 0;        // bytes of first that every later word starts with
    size_t at = 0;            // bytes seen of the word being read

    void feed(const char* bytes, size_t n);
};

// A completion in flight: the child expanding the word, the pipe it writes
// to, and the input as it was when Tab was pressed. The result is applied
// only if the input is still that when the child is done.
struct PendingCompletion {
    pid_t child = -1;  // -1 when nothing is in flight
    int fd = -1;       // read end of the child's pipe, non-blocking
    std::chrono::steady_clock::time_point deadline;
    char input[1024] = {};
    int32_t cursor = 0;
    CompletionWords words;
    struct sigaction old_child_action = {};
    // Killed children not yet seen to end (one stuck in an unanswered file
    // system call ignores even SIGKILL): reaped later without waiting, or
    // left to the system when the menu exits.
    std::vector<pid_t> left_behind;
};
