#pragma once

#include "ravlin/items/entry.h"

struct MenuState;
struct Settings;

// Each filter walks the whole entry array, relinks the matching entries
// into the match list, puts the selection and the page start on the first
// match and recomputes the page bounds.
void filter_ranked(MenuState& m, const Settings& s);
void filter_tokens(MenuState& m, const Settings& s);
void filter_fuzzy(MenuState& m, const Settings& s);

// Appends entry to the chain given by head and tail.
void chain_append(Entry* entry, Entry*& head, Entry*& tail);
