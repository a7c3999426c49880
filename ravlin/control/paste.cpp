#include "ravlin/control/paste.h"

#include <algorithm>
#include <cstring>

#include "ravlin/base/menu_state.h"
#include "ravlin/control/line_editing.h"
#include "ravlin/drawing/render_bar.h"

void receive_paste(MenuState& m, const Settings& s, const char* text, size_t n)
{
    // One byte more than the input holds tells a first line that fits from
    // one that does not.
    char line[sizeof m.input + 1];
    size_t kept = std::min(n, sizeof m.input);
    std::memcpy(line, text, kept);
    line[kept] = '\0';
    paste_text(m, s, line);
    render_bar(m, s);
}
