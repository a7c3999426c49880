#pragma once

#include <string>

// The user's home directory: $HOME when it is an absolute path, else the
// home directory of the password entry, else empty (nowhere to keep files).
std::string home_directory();

// A base directory of the user: $variable when it is an absolute path,
// else below_home inside the home directory ("~/.local/state" for
// XDG_STATE_HOME), else empty.
std::string xdg_directory(const char* variable, const char* below_home);

// Like mkdir -p, with every directory it makes private (mode 700), as the
// base directories of the user are meant to be.
void make_private_dirs(const std::string& dir);
