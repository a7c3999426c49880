#pragma once

#include <cstdio>

struct MenuState;
struct Settings;

// Opens the history file for reading, or returns null. A FIFO without a
// writer reads as empty instead of blocking, and a regular file is read
// under a shared lock so that a rewrite in place is never seen half done.
FILE* open_history(const char* path);

// Rewrites the history file with chosen on top, then the remembered lines
// that differ from it (nothing when chosen is empty or no file is named),
// with the guarantees of rewrite_file: never torn or empty, links followed,
// devices and FIFOs written without waiting, failures silent.
void save_history(const MenuState& m, const Settings& s, const char* chosen);
