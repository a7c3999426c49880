#pragma once

#include <cstddef>
#include <cstdint>

struct Entry;
struct MenuState;
struct Settings;

// Splits the match list into pages around page_first: sets page_next to the
// first entry after its page (null at the end) and page_prev to the first
// entry of the page before it (page_first itself when nothing comes before).
// Measures only through m.measurer, and keeps what a row's page entries take
// (page_widths, for measured_page) for the drawing.
void compute_page_bounds(MenuState& m, const Settings& s);

// How many entries a list page holds: the lines asked for, but no more
// than the highest window X allows can show below the input line.
int32_t list_rows(const MenuState& m, const Settings& s);

// The room a page has for entries: list lines times the line height, or in
// the row what the prompt, the input field and the two arrows leave over.
// The marks are measured once for each measurer (MenuState::marks_measurer).
int32_t entry_space(MenuState& m, const Settings& s);

// Measures the padded widths of "<" and ">" unless they are known for
// m.measurer.
void measure_marks(MenuState& m);

// What one entry takes of that room: a line, or in the row its padded width
// but never more than the whole room.
int32_t entry_size(const MenuState& m, const Settings& s, const Entry& e, int32_t space);

// The padded width of e, the entry at index of the current row page: kept
// by compute_page_bounds, measured only when it was not.
int32_t page_entry_width(const MenuState& m, const Entry* e, size_t index);
