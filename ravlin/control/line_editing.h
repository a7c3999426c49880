#pragma once

#include <cstdint>

struct MenuState;
struct Settings;

// Index of the next character start from the cursor, stepping +1 or -1.
int32_t char_boundary(const MenuState& m, int step);
// n > 0 inserts bytes at the cursor, n < 0 deletes -n bytes before it, n == 0
// only refilters. A change that would exceed 1023 bytes is dropped whole.
void splice_input(MenuState& m, const Settings& s, const char* bytes, int32_t n);
// Inserts a key's text unless its first byte is a control character.
void type_text(MenuState& m, const Settings& s, const char* key_text, int32_t key_text_length);

// Each returns false when it changed nothing (no redraw is needed).
bool delete_before_cursor(MenuState& m, const Settings& s);
bool delete_at_cursor(MenuState& m, const Settings& s);
void delete_to_end(MenuState& m, const Settings& s);
void delete_to_start(MenuState& m, const Settings& s);
void delete_word(MenuState& m, const Settings& s);

enum class Direction { forward, backward };
// Tab / Shift-Tab through the match list; false when nothing is selected.
bool cycle_completion(MenuState& m, const Settings& s, Direction direction);

// Inserts the first line of pasted data at the cursor.
void paste_text(MenuState& m, const Settings& s, const char* data);
