#include "ravlin/drawing/render_bar.h"

#include "ravlin/control/menu_state.h"
#include "ravlin/control/settings.h"

char* mask_text(char* buffer, int32_t n)
{
    int32_t i = 0;
    for (; i < n; ++i)
        buffer[i] = '*';
    buffer[i] = '\0';
    return buffer;
}

void render_bar(MenuState& m, const Settings&)
{
    Surface& surface = *m.surface;
    surface.x = surface.y = 0;
    surface.h = m.line_height;
    paint_rect(surface, 0, 0, m.bar_width, m.bar_height, true, m.normal_colors->bg);
    flush_canvas(surface, m.bar_window, m.bar_width, m.bar_height);
}
