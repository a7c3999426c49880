#pragma once

#include <cstdio>

struct MenuState;
struct Settings;

// Opens the history file for reading, or returns null. A FIFO without a
// writer reads as empty instead of blocking, and a regular file is read
// under a shared lock so that a rewrite in place is never seen half done.
FILE* open_history(const char* path);

// Rewrites the history file with chosen on top, then the remembered lines
// that differ from it (nothing when chosen is empty or no file is named).
// A regular file is replaced whole through a new file beside it, so it is
// never left torn or empty; a symbolic link keeps pointing at it. Where the
// directory refuses that, a file we may write is rewritten in place under
// an exclusive lock. A device or FIFO is written in place without waiting
// for a reader. Failures are silent and leave the old file.
void save_history(const MenuState& m, const Settings& s, const char* chosen);
