#include "ravlin/drawing/render_bar.h"

#include <algorithm>

#include "ravlin/base/menu_state.h"
#include "ravlin/base/settings.h"
#include "ravlin/base/utf8.h"
#include "ravlin/drawing/canvas.h"
#include "ravlin/drawing/page_bounds.h"
#include "ravlin/drawing/text_fitting.h"

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
void render_row(MenuState& m, const Settings& s, Rect cell)
{
    Canvas& canvas = *m.canvas;
    int32_t height = m.measurer->font_height();
    measure_marks(m);
    int32_t right_arrow = m.right_mark_width;
    cell.x += m.input_width;
    cell.w = m.left_mark_width;
    if (m.page_first && m.page_first->before)
        paint_text_fitted(canvas, cell, "<", m.normal_colors, fit_text_length, cell.w - height);
    size_t index = 0;
    for (Entry* e = m.page_first; e && e != m.page_next; e = e->after, ++index) {
        cell.x += cell.w;
        int32_t width = page_entry_width(m, e, index);
        cell.w = std::min(width, m.bar_width - (cell.x + right_arrow));
        bool selected = e == m.selected;
        paint_text_fitted(canvas, cell, e->label, selected ? m.selected_colors : m.normal_colors,
                          fit_text_length, width - height);
        // With no room left the width is negative: there is nothing to mark.
        if (selected && cell.w > 0)
            canvas.fill_rect(cell.x, cell.y + cell.h - s.underline_height,
                             static_cast<uint32_t>(cell.w),
                             static_cast<uint32_t>(s.underline_height), m.underline_colors.bg);
    }
    cell.w = right_arrow;
    cell.x = m.bar_width - cell.w;
    if (m.page_next)
        paint_text_fitted(canvas, cell, ">", m.normal_colors, fit_text_length, cell.w - height);
}

// One entry per line below the input field, indented like it.
void render_list(MenuState& m, Rect cell)
{
    cell.w = m.bar_width - cell.x;
    for (Entry* e = m.page_first; e && e != m.page_next; e = e->after) {
        cell.y += cell.h;
        paint_text_fitted(*m.canvas, cell, e->label,
                          e == m.selected ? m.selected_colors : m.normal_colors);
    }
}

}  // namespace

void render_bar(MenuState& m, const Settings& s)
{
    Canvas& canvas = *m.canvas;
    int32_t font_height = canvas.font_height();
    int32_t mark = cursor_mark(m.input, m.cursor, s.mask_input);

    Rect cell = {0, 0, 0, m.line_height};
    canvas.fill_rect(0, 0, static_cast<uint32_t>(m.bar_width), static_cast<uint32_t>(m.bar_height),
                     m.normal_colors.bg);

    if (s.prompt && *s.prompt) {
        cell.w = m.prompt_width;
        paint_text_fitted(canvas, cell, s.prompt, m.selected_colors);
        canvas.fill_rect(cell.x, cell.y + cell.h - s.underline_height,
                         static_cast<uint32_t>(cell.w), static_cast<uint32_t>(s.underline_height),
                         m.underline_colors.bg);
        cell.x = cell.w;
    }

    bool row = s.lines == 0;
    cell.w = row && m.match_head ? m.input_width : m.bar_width - cell.x;
    char mask[1024];
    const char* field = s.mask_input ? mask_text(mask, mark) : m.input;
    paint_text_fitted(canvas, cell, field, m.normal_colors);
    // Measured on the whole text, not on the fitted copy, to the pen: a
    // typed blank moves the cursor on.
    int32_t cursor_x = font_height / 2 + canvas.text_advance(field, mark);
    if (cursor_x < cell.w)
        canvas.fill_rect(cell.x + cursor_x, cell.y + (cell.h - font_height) / 2 + 1, 1,
                         static_cast<uint32_t>(font_height - 1), m.normal_colors.fg);

    if (!(s.quiet && !m.input[0])) {
        if (!row)
            render_list(m, cell);
        else if (m.match_head)
            render_row(m, s, cell);
    }
    canvas.present();
}
