// Finding programs the way execvp does.
#pragma once

#include <string>
#include <string_view>

// The path of the executable regular file a command name stands for: a
// name with a slash is taken as it is, another is looked up in the
// directories of search_path (an empty entry is the current directory).
// Empty when there is none.
std::string find_program(std::string_view name, std::string_view search_path);
