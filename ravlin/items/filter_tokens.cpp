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

void filter_tokens(MenuState& m, const Settings& s)
{
    char copy[sizeof m.input];
    size_t length = strnlen(m.input, sizeof copy - 1);
    std::memcpy(copy, m.input, length);
    copy[length] = '\0';

    char** tokens = nullptr;
    int count = 0;
    split_tokens(copy, [&](char* token) {
        size_t bytes = static_cast<size_t>(count + 1) * sizeof(char*);
        void* grown = std::realloc(tokens, bytes);
        if (!grown)
            fail("cannot realloc %u bytes\n", static_cast<unsigned>(bytes));
        tokens = static_cast<char**>(grown);
        tokens[count++] = token;
    });

    m.match_head = m.match_tail = nullptr;
    if (count == 0)
        chain_all(m.entries, m.match_head, m.match_tail);
    else if (!search_loaded(m, s, {.kind = FilterKind::tokens, .tokens = tokens, .token_count = count}))
        for_each_holding_tokens(m.entries, loaded_layout(m), s.match, tokens, count,
                                [&](Entry* e, const char*) { chain_append(e, m.match_head, m.match_tail); });
    std::free(tokens);

    m.selected = m.page_first = m.match_head;
}
