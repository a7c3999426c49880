#include <cstring>

#include "ravlin/control/menu_state.h"
#include "ravlin/control/settings.h"
#include "ravlin/drawing/page_bounds.h"
#include "ravlin/items/filters.h"

void filter_fuzzy(MenuState& m, const Settings& s)
{
    const char* input = m.input;
    size_t length = std::strlen(input);
    auto char_find = s.match.char_find;

    m.match_head = m.match_tail = nullptr;
    if (m.entries) {
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
    compute_page_bounds(m, s);
}
