// Asking the menu program which line the user wants.
#pragma once

#include <string>
#include <vector>

struct MenuChoice {
    int status = 1;    // the menu's exit status: 0 when a line was accepted
    std::string line;  // the first line it printed, without its newline
};

// Runs program with args, the lines on its standard input, and waits for it.
// Standard error is shared, so the menu's own messages reach the user.
MenuChoice ask_menu(const std::string& program, const std::vector<std::string>& args,
                    const std::vector<std::string>& lines);
