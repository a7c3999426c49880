#include "ravlin/items/filters.h"

#include "ravlin/control/menu_state.h"
#include "ravlin/control/settings.h"
#include "ravlin/drawing/page_bounds.h"

void chain_append(Entry* entry, Entry*& head, Entry*& tail)
{
    entry->before = tail;
    entry->after = nullptr;
    if (tail)
        tail->after = entry;
    else
        head = entry;
    tail = entry;
}

static void filter_all(MenuState& m, const Settings& s)
{
    m.match_head = m.match_tail = nullptr;
    if (m.entries)
        for (Entry* e = m.entries; e->label; ++e)
            chain_append(e, m.match_head, m.match_tail);
    m.selected = m.page_first = m.match_head;
    compute_page_bounds(m, s);
}

void filter_ranked(MenuState& m, const Settings& s) { filter_all(m, s); }
void filter_tokens(MenuState& m, const Settings& s) { filter_all(m, s); }
void filter_fuzzy(MenuState& m, const Settings& s) { filter_all(m, s); }
