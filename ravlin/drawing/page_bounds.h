#pragma once

#include <cstdint>

struct Entry;
struct MenuState;
struct Settings;

// Splits the match list into pages around page_first: sets page_next to the
// first entry after its page (null at the end) and page_prev to the first
// entry of the page before it (page_first itself when nothing comes before).
// Measures only through m.measurer.
void compute_page_bounds(MenuState& m, const Settings& s);

// How many entries a list page holds: the lines asked for, but no more
// than the highest window X allows can show below the input line.
int32_t list_rows(const MenuState& m, const Settings& s);

// The room a page has for entries: list lines times the line height, or in
// the row what the prompt, the input field and the two arrows leave over.
int32_t entry_space(const MenuState& m, const Settings& s);

// What one entry takes of that room: a line, or in the row its padded width
// but never more than the whole room.
int32_t entry_size(const MenuState& m, const Settings& s, const Entry& e, int32_t space);
