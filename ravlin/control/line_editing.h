#pragma once

#include <cstdint>

struct MenuState;
struct Settings;

// The input line lives in MenuState (input, cursor, saved_input). All
// changes of its text go through splice_input, which keeps it at most 1023
// bytes and rebuilds the match list (rebuild_matches).

// Runs the filter slot over the input and splits its matches into pages
// from the first one.
void rebuild_matches(MenuState& m, const Settings& s);

// Index of the next character start from the cursor, stepping +1 or -1.
// Callers step back only when the cursor is above 0 and forward only when
// the cursor is not on the terminating NUL.
int32_t char_boundary(const MenuState& m, int step);
// n > 0 inserts bytes at the cursor, n < 0 deletes -n bytes before it, n == 0
// only refilters. A change that would exceed 1023 bytes is dropped whole,
// without refiltering.
void splice_input(MenuState& m, const Settings& s, const char* bytes, int32_t n);
// Inserts a key's text unless its first byte is a control character; a key
// that brought no text inserts nothing.
void type_text(MenuState& m, const Settings& s, const char* key_text, int32_t key_text_length);

// Each returns false when it changed nothing (no redraw is needed).
bool delete_before_cursor(MenuState& m, const Settings& s);
bool delete_at_cursor(MenuState& m, const Settings& s);
// These two always refilter, even when no text goes.
void delete_to_end(MenuState& m, const Settings& s);
void delete_to_start(MenuState& m, const Settings& s);
// Blanks before the cursor, then everything back to a blank or a slash.
void delete_word(MenuState& m, const Settings& s);

enum class Direction { forward, backward };
// Tab / Shift-Tab through the match list; false when nothing is selected.
bool cycle_completion(MenuState& m, const Settings& s, Direction direction);

// Inserts the first line of pasted data (NUL-terminated) at the cursor.
void paste_text(MenuState& m, const Settings& s, const char* data);
