#include "ravlin/drawing/page_bounds.h"

#include "ravlin/control/menu_state.h"
#include "ravlin/control/settings.h"

void compute_page_bounds(MenuState& m, const Settings&)
{
    m.page_next = nullptr;
    m.page_prev = m.page_first;
}
