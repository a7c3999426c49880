#include <cctype>
#include <cstring>

#include "ravlin/base/menu_state.h"
#include "ravlin/base/settings.h"
#include "ravlin/items/case_fold.h"
#include "ravlin/items/chunked_search.h"
#include "ravlin/items/entry_reader.h"
#include "ravlin/items/filters.h"
#include "ravlin/items/match_functions.h"
#include "ravlin/items/subsequence_scan.h"

namespace {

// The label bytes that the built-in char_find slots accept for each input
// byte: the byte itself, and under -i its other case when it is alphabetic
// (isalpha of the signed char, as char_find_nocase decides). False when a
// byte has more than two spellings or a byte other than NUL folds to NUL:
// then only the slot itself can answer.
bool spellings_of(const char* input, size_t n, PrimitiveSet set, unsigned char (*spellings)[2])
{
    const CaseFold* fold = set == PrimitiveSet::nocase ? &current_case_fold() : nullptr;
    if (fold && !fold->nul_only_folds_to_nul)
        return false;
    for (size_t k = 0; k < n; ++k) {
        unsigned char b = static_cast<unsigned char>(input[k]);
        spellings[k][0] = spellings[k][1] = b;
        if (fold && std::isalpha(static_cast<signed char>(input[k]))) {
            if (fold->class_size[b] > 2)
                return false;
            spellings[k][1] = fold->partner[b];
        }
    }
    return true;
}

}  // namespace

void filter_fuzzy(MenuState& m, const Settings& s)
{
    const char* input = m.input;
    size_t length = std::strlen(input);
    auto char_find = s.match.char_find;

    m.match_head = m.match_tail = nullptr;
    const LoadedEntries* layout = loaded_layout(m);
    PrimitiveSet set = primitive_set(s.match);
    unsigned char spellings[sizeof m.input][2];
    if (length == 0 && set != PrimitiveSet::other) {
        // The search for the terminator always succeeds.
        chain_all(m.entries, m.match_head, m.match_tail);
    } else if (layout && set != PrimitiveSet::other && subsequence_scan_available() &&
               spellings_of(input, length, set, spellings) &&
               search_loaded(m, s, {.kind = FilterKind::fuzzy, .input = input, .input_length = length,
                                    .spellings = spellings})) {
        // Searched across whole runs of labels, on every thread.
    } else if (m.entries) {
        for (Entry* e = m.entries; e->label; ++e) {
            // Each byte is looked for after the previous hit; the bytes go
            // over as signed chars, so a multibyte character matches only
            // byte for byte. The last step finds the label's terminator.
            const char* at = char_find(e->label, static_cast<signed char>(input[0]));
            size_t k = 0;
            while (at && input[k]) {
                at = char_find(at + 1, static_cast<signed char>(input[k + 1]));
                ++k;
            }
            if (k == length)
                chain_append(e, m.match_head, m.match_tail);
        }
    }

    m.selected = m.page_first = m.match_head;
}
