#pragma once

#include <cstdint>

struct MenuState;
struct Settings;

// Paints the whole bar into the canvas (prompt, input field with its cursor,
// and the current page as a row or a list) and copies it to the bar window
// in one request. Needs the canvas and page bounds computed for page_first.
void render_bar(MenuState& m, const Settings& s);

// Fills buffer with n asterisks and a NUL (only the NUL when n <= 0).
char* mask_text(char* buffer, int32_t n);

// Where the cursor bar goes, as a count into the field's text: the bytes
// before the cursor, or with masking the characters before it (one asterisk
// each).
int32_t cursor_mark(const char* input, int32_t cursor, bool masked);
