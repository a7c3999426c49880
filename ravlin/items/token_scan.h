#pragma once

#include <cstring>

#include "ravlin/base/entry.h"
#include "ravlin/items/byte_scan.h"
#include "ravlin/items/case_fold.h"
#include "ravlin/items/label_store.h"
#include "ravlin/items/match_functions.h"

// Index of the entry in [low, high) whose label holds position at, given
// that the labels of that stretch lie in increasing order in memory.
// Gallops from low, since the next hit is most often close by.
inline size_t entry_holding(const Entry* entries, size_t low, size_t high, const char* at)
{
    // Invariant: entries[low].label <= at; find the last such index.
    size_t step = 1;
    while (low + step < high && entries[low + step].label <= at) {
        low += step;
        step *= 2;
    }
    size_t limit = low + step < high ? low + step : high;  // first index known or assumed past at
    while (limit - low > 1) {
        size_t middle = low + (limit - low) / 2;
        if (entries[middle].label <= at)
            low = middle;
        else
            limit = middle;
    }
    return low;
}

// Calls visit(entry, first_at), in array order, for every entry whose label
// holds every token by match.substr_find; with no tokens, for every entry.
// first_at is the first occurrence of the first token in the label when the
// search found it on the way, else null.
//
// When layout describes entries and the slots hold one of the two built-in
// sets of primitives, the longest token is searched across whole runs of
// labels instead of label by label; each hit is mapped back to its entry,
// which then gets the other tokens through the slot, and the search goes on
// at the next label. A token has no NUL, so a hit never spans two labels,
// and a search that starts at a label's first byte finds the first
// occurrence in it: the result is the same.
template <class Visit>
void for_each_holding_tokens(Entry* entries, const LoadedEntries* layout, const MatchFunctions& match,
                             char* const* tokens, int token_count, Visit visit)
{
    if (!entries)
        return;
    const CaseFold* fold = nullptr;
    bool whole_runs = false;
    if (layout && token_count > 0) {
        PrimitiveSet set = primitive_set(match);
        if (set == PrimitiveSet::exact) {
            whole_runs = true;
        } else if (set == PrimitiveSet::nocase) {
            fold = &current_case_fold();
            whole_runs = fold->nul_only_folds_to_nul;
        }
    }

    if (!whole_runs) {
        for (Entry* e = entries; e->label; ++e) {
            int k = 0;
            while (k < token_count && match.substr_find(e->label, tokens[k]))
                ++k;
            if (k == token_count)
                visit(e, nullptr);
        }
        return;
    }

    int key = 0;
    size_t key_length = 0;
    for (int k = 0; k < token_count; ++k) {
        size_t length = std::strlen(tokens[k]);
        if (length > key_length) {
            key = k;
            key_length = length;
        }
    }
    NeedleScanner scanner(tokens[key], key_length, fold);
    for (const LabelRun& run : layout->labels.runs) {
        size_t low = run.first;
        size_t high = run.first + run.count;
        scanner.scan(run.begin, run.end, [&](const char* hit) -> const char* {
            size_t i = entry_holding(entries, low, high, hit);
            Entry* e = entries + i;
            int k = 0;
            while (k < token_count && (k == key || match.substr_find(e->label, tokens[k])))
                ++k;
            if (k == token_count)
                visit(e, key == 0 ? hit : nullptr);
            // Labels lie back to back: the next begins after this one's NUL.
            low = i + 1;
            return low < high ? entries[low].label : nullptr;
        });
    }
}
