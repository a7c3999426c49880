// Starting a program that outlives the launcher.
#pragma once

#include <string>
#include <vector>

struct StartFailure {
    enum Step { none, fork, directory, program } step = none;
    int error = 0;  // errno of the step that failed
};

// Runs argv (argv[0] looked up in $PATH) in a session of its own, with
// standard input from /dev/null, in directory unless it is empty, and
// default signal handling. The launcher forks twice and reaps the middle
// process, so nothing is left for it to wait for; it learns whether the
// directory could be entered and the program run before it returns.
StartFailure start_detached(const std::vector<std::string>& argv, const std::string& directory);

// The command that runs argv in a terminal emulator: $TERMINAL when set,
// else x-terminal-emulator, with -e and then argv.
std::vector<std::string> in_terminal(const std::vector<std::string>& argv, const char* terminal);
