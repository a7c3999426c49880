#pragma once

#include "ravlin/base/entry.h"
#include "ravlin/items/chain.h"

struct MenuState;
struct Settings;

// Each filter walks the whole entry array, relinks the matching entries
// into the match list (match_head .. match_tail), puts the selection and the
// page start on the first match and recomputes the page bounds. They compare
// text only through the primitives in Settings::match.

// The input's blank-separated tokens must all occur in a label; matches are
// listed as exact, then prefix, then substring matches of the first token.
void filter_ranked(MenuState& m, const Settings& s);
// Every token must occur in a label; array order.
void filter_tokens(MenuState& m, const Settings& s);
// The input's bytes must occur in a label in order; array order.
void filter_fuzzy(MenuState& m, const Settings& s);
