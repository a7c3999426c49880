#pragma once

#include <cstdio>

struct MenuState;
struct Settings;
struct LineReader;
struct LoadedEntries;

// Reads the history file (when -hist names one) and then the given input
// stream into MenuState::entries, fills the history table, sets input_width
// and lowers Settings::lines to the number of entries. Lines past the
// twentieth of the history file are offered but not remembered.
void load_entries(MenuState& m, Settings& s, FILE* input);
// The same with a reader made by the caller, whose buffer and block sizes
// may have been chosen small to reach their edges in tests.
void load_entries(MenuState& m, Settings& s, FILE* input, LineReader& reader);

// How load_entries laid out the labels of m.entries; null when the array
// was made some other way (by hand, in tests and benchmarks).
const LoadedEntries* loaded_layout(const MenuState& m);

// Releases the entry array and labels that load_entries made and clears
// entries, for tests and benchmarks that load many times. The program never
// calls it: its labels live until exit.
void release_entries(MenuState& m);
