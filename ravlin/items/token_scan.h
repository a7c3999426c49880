#pragma once

#include <cstring>

#include "ravlin/items/byte_scan.h"
#include "ravlin/items/case_fold.h"
#include "ravlin/items/entry.h"
#include "ravlin/items/label_store.h"
#include "ravlin/items/match_functions.h"

// Index of the entry in [low, high) whose label holds position at, given
// that the labels of that stretch lie in increasing order in memory.
// Gallops from low, since the next hit is most often close by.
size_t entry_holding(const Entry* entries, size_t low, size_t high, const char* at);

// Calls visit(entry), in array order, for every entry whose label holds
// every token by match.substr_find; with no tokens, for every entry.
//
// When layout describes entries and the slots hold one of the two built-in
// sets of primitives, the longest token is searched across whole blocks of
// labels instead of label by label; each hit is mapped back to its entry,
// which then gets the other tokens through the slot. A token has no NUL, so
// a hit never spans two labels, and the result is the same.
template <class Visit>
void for_each_holding_tokens(Entry* entries, const LoadedEntries* layout, const MatchFunctions& match,
                             char* const* tokens, int token_count, Visit visit)
{
    if (!entries)
        return;
    const LoadedEntries* loaded = token_count > 0 ? layout : nullptr;
    const CaseFold* fold = nullptr;
    bool whole_blocks = false;
    PrimitiveSet set = primitive_set(match);
    if (loaded && set == PrimitiveSet::exact) {
        whole_blocks = true;
    } else if (loaded && set == PrimitiveSet::nocase) {
        fold = &current_case_fold();
        whole_blocks = fold->nul_only_folds_to_nul;
    }

    if (!whole_blocks) {
        for (Entry* e = entries; e->label; ++e) {
            int k = 0;
            while (k < token_count && match.substr_find(e->label, tokens[k]))
                ++k;
            if (k == token_count)
                visit(e);
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
    for (const LabelRun& run : loaded->labels.runs) {
        size_t low = run.first;
        size_t high = run.first + run.count;
        const char* from = run.begin;
        while (const char* hit = scanner.find(from, run.end)) {
            size_t i = entry_holding(entries, low, high, hit);
            Entry* e = entries + i;
            int k = 0;
            while (k < token_count && (k == key || match.substr_find(e->label, tokens[k])))
                ++k;
            if (k == token_count)
                visit(e);
            from = hit + std::strlen(hit) + 1;
            low = i + 1;
        }
    }
}
