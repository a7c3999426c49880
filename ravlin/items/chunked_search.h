#pragma once

#include <cstddef>

#include "ravlin/items/match_set.h"

struct MenuState;
struct Settings;

// The filters' search over an array that load_entries made, cut into
// chunks of consecutive entries that the worker threads take in turn. Each
// chunk links its matches into chains of its own, one per class, and the
// chains are joined in chunk order, class by class: the same list, in the
// same order, that one pass over the array gives.
//
// The search keeps what it found (MatchSets, beside the array): an input
// asked for a moment ago is linked again from its set, and an input that
// narrows an earlier one is searched only where that set's entries lie.

// What the filter looks for. The token filters give at least one token;
// the fuzzy filter gives its input, at least one byte, and the label bytes
// each input byte accepts (see subsequence_scan.h).
struct SearchFor {
    FilterKind kind;
    char* const* tokens = nullptr;
    int token_count = 0;
    const char* input = nullptr;
    size_t input_length = 0;
    const unsigned char (*spellings)[2] = nullptr;
};

// Sets match_head and match_tail to the list of what. False, with nothing
// changed, when the entries are not a loaded array or the slots are not a
// built-in set of primitives whose rules the block searches follow; the
// filter then asks the slots entry by entry.
bool search_loaded(MenuState& m, const Settings& s, const SearchFor& what);

// Drops the sets the searches kept, so that the next search starts from
// the whole array: for benchmarks that time one input again and again.
void forget_searches(MenuState& m);

// The bytes of sets kept beside each array searched from now on; 0, the
// default, keeps 8 MiB or eight sets, whichever is more. At least the
// newest set and the one a search reads are kept.
void set_match_sets_budget(size_t bytes);

// Entries per chunk (rounded up to a multiple of 32); 0, the default,
// picks it from the size of the array and the number of threads. Tests
// make it small, to cut small arrays into many chunks.
void set_search_chunk_entries(size_t entries);
