#include <cstdlib>
#include <cstring>

#include "ravlin/base/fail.h"
#include "ravlin/base/menu_state.h"
#include "ravlin/base/settings.h"
#include "ravlin/items/chunked_search.h"
#include "ravlin/items/entry_reader.h"
#include "ravlin/items/filters.h"
#include "ravlin/items/token_scan.h"
#include "ravlin/items/token_split.h"

void filter_ranked(MenuState& m, const Settings& s)
{
    // The tokens point into this copy; they are read only during the run.
    static char copy[sizeof m.input];
    size_t length = strnlen(m.input, sizeof copy - 1);
    std::memcpy(copy, m.input, length);
    copy[length] = '\0';

    // The table is kept across runs and grows one slot at a time, so typing
    // allocates only when a run has more tokens than any before it.
    int32_t count = 0;
    split_tokens(copy, [&](char* token) {
        if (count >= m.token_capacity) {
            size_t bytes = static_cast<size_t>(m.token_capacity + 1) * sizeof(char*);
            void* grown = std::realloc(m.tokens, bytes);
            if (!grown)
                fail("cannot realloc %u bytes\n", static_cast<unsigned>(bytes));
            m.tokens = static_cast<char**>(grown);
            ++m.token_capacity;
        }
        m.tokens[count++] = token;
    });
    const char* first = count ? m.tokens[0] : "";
    size_t first_length = std::strlen(first);
    const MatchFunctions& match = s.match;

    m.match_head = m.match_tail = nullptr;
    if (count == 0) {
        // Every entry, all in the exact class.
        chain_all(m.entries, m.match_head, m.match_tail);
    } else if (!search_loaded(m, s, {.kind = FilterKind::ranked, .tokens = m.tokens, .token_count = count})) {
        // Chains of locals: the stores into the entries cannot touch them.
        Entry *exact_head = nullptr, *exact_tail = nullptr;
        Entry *prefix_head = nullptr, *prefix_tail = nullptr;
        Entry *substring_head = nullptr, *substring_tail = nullptr;
        for_each_holding_tokens(m.entries, loaded_layout(m), match, m.tokens, count,
                                [&](Entry* e, const char* first_at) {
            // Where the search saw the first token begin, the class needs no
            // compare: the first occurrence is at the label's start exactly
            // when the label begins with the token, and then it equals the
            // token when a NUL follows (only NUL folds to NUL on that path).
            bool exact, prefix;
            if (first_at) {
                prefix = first_at == e->label;
                exact = prefix && e->label[first_length] == '\0';
            } else {
                exact = match.prefix_cmp(first, e->label, first_length + 1) == 0;
                prefix = !exact && match.prefix_cmp(first, e->label, first_length) == 0;
            }
            if (exact)
                chain_append(e, exact_head, exact_tail);
            else if (prefix)
                chain_append(e, prefix_head, prefix_tail);
            else
                chain_append(e, substring_head, substring_tail);
        });
        chain_join(m.match_head, m.match_tail, exact_head, exact_tail);
        chain_join(m.match_head, m.match_tail, prefix_head, prefix_tail);
        chain_join(m.match_head, m.match_tail, substring_head, substring_tail);
    }

    m.selected = m.page_first = m.match_head;
}
