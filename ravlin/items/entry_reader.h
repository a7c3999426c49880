#pragma once

#include <cstddef>
#include <cstdio>

struct MenuState;
struct Settings;
struct LineReader;

// Reads the history file (when -hist names one) and then the given input
// stream into MenuState::entries, fills the history table, sets input_width
// and lowers Settings::lines to the number of entries.
void load_entries(MenuState& m, Settings& s, FILE* input);
