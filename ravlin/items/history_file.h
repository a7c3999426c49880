#pragma once

struct MenuState;
struct Settings;

// Rewrites the history file with chosen on top, then the remembered lines
// that differ from it (nothing when chosen is empty or no file is named).
// A regular file is replaced whole through a new file beside it, so it is
// never left torn or empty; a symbolic link keeps pointing at it; a device
// or FIFO is written in place. Failures are silent and leave the old file.
void save_history(const MenuState& m, const Settings& s, const char* chosen);
