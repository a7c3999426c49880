#include "ravlin/drawing/render_bar.h"

#include <algorithm>

#include "ravlin/control/menu_state.h"
#include "ravlin/control/settings.h"
#include "ravlin/drawing/page_bounds.h"
#include "ravlin/items/utf8.h"

char* mask_text(char* buffer, int32_t n)
{
    int32_t i = 0;
    for (; i < n; ++i)
        buffer[i] = '*';
    buffer[i] = '\0';
    return buffer;
}

int32_t cursor_mark(const char* input, int32_t cursor, bool masked)
{
    if (!masked)
        return cursor;
    int32_t characters = 0;
    for (int32_t i = 0; i < cursor; ++i)
        if (i == 0 || !is_utf8_continuation(input[i]))
            ++characters;
    return characters;
}

namespace {

// The row after the input field: "<", the entries of the page, ">". The
// widths are the ones the page bounds measured.
void render_row(MenuState& m, const Settings& s)
{
    Surface& surface = *m.surface;
    int32_t height = m.measurer->font_height();
    measure_marks(m);
    int32_t right_arrow = m.right_mark_width;
    surface.x += m.input_width;
    surface.w = m.left_mark_width;
    if (m.page_first && m.page_first->before)
        paint_text_fitted(surface, "<", *m.normal_colors, fit_text_length, surface.w - height);
    size_t index = 0;
    for (Entry* e = m.page_first; e && e != m.page_next; e = e->after, ++index) {
        surface.x += surface.w;
        int32_t width = page_entry_width(m, e, index);
        surface.w = std::min(width, m.bar_width - (surface.x + right_arrow));
        bool selected = e == m.selected;
        paint_text_fitted(surface, e->label, selected ? *m.selected_colors : *m.normal_colors,
                          fit_text_length, width - height);
        // With no room left the width is negative: there is nothing to mark.
        if (selected && surface.w > 0)
            paint_rect(surface, 0, surface.h - s.underline_height,
                       static_cast<uint32_t>(surface.w),
                       static_cast<uint32_t>(s.underline_height), true,
                       m.underline_colors->bg);
    }
    surface.w = right_arrow;
    surface.x = m.bar_width - surface.w;
    if (m.page_next)
        paint_text_fitted(surface, ">", *m.normal_colors, fit_text_length, surface.w - height);
}

// One entry per line below the input field, indented like it.
void render_list(MenuState& m)
{
    Surface& surface = *m.surface;
    surface.w = m.bar_width - surface.x;
    for (Entry* e = m.page_first; e && e != m.page_next; e = e->after) {
        surface.y += surface.h;
        paint_text_fitted(surface, e->label,
                          e == m.selected ? *m.selected_colors : *m.normal_colors);
    }
}

}  // namespace

void render_bar(MenuState& m, const Settings& s)
{
    Surface& surface = *m.surface;
    const LoadedFont& font = surface.font;
    int32_t mark = cursor_mark(m.input, m.cursor, s.mask_input);

    surface.x = surface.y = 0;
    surface.h = m.line_height;
    paint_rect(surface, 0, 0, static_cast<uint32_t>(m.bar_width),
               static_cast<uint32_t>(m.bar_height), true, m.normal_colors->bg);

    if (s.prompt && *s.prompt) {
        surface.w = m.prompt_width;
        paint_text_fitted(surface, s.prompt, *m.selected_colors);
        paint_rect(surface, 0, surface.h - s.underline_height, static_cast<uint32_t>(surface.w),
                   static_cast<uint32_t>(s.underline_height), true, m.underline_colors->bg);
        surface.x = surface.w;
    }

    bool row = s.lines == 0;
    surface.w = row && m.match_head ? m.input_width : m.bar_width - surface.x;
    char mask[1024];
    const char* field = s.mask_input ? mask_text(mask, mark) : m.input;
    paint_text_fitted(surface, field, *m.normal_colors);
    // Measured on the whole text, not on the fitted copy, to the pen: a
    // typed blank moves the cursor on.
    int32_t cursor_x = font.height / 2 + m.measurer->text_advance(field, mark);
    if (cursor_x < surface.w)
        paint_rect(surface, cursor_x, (surface.h - font.height) / 2 + 1, 1,
                   static_cast<uint32_t>(font.height - 1), true, m.normal_colors->fg);

    if (!(s.quiet && !m.input[0])) {
        if (!row)
            render_list(m);
        else if (m.match_head)
            render_row(m, s);
    }
    flush_canvas(surface, m.bar_window, static_cast<uint32_t>(m.bar_width),
                 static_cast<uint32_t>(m.bar_height));
}
