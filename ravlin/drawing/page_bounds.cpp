#include "ravlin/drawing/page_bounds.h"

#include <algorithm>

#include "ravlin/base/menu_state.h"
#include "ravlin/base/settings.h"
#include "ravlin/base/window_limits.h"

int32_t list_rows(const MenuState& m, const Settings& s)
{
    // The window is never higher than X allows: rows below its bottom could
    // never be seen, nor the selection when it moved among them.
    int64_t fit = m.line_height > 0 ? max_window_extent / m.line_height - 1 : 0;
    return static_cast<int32_t>(std::clamp<int64_t>(fit, 0, s.lines));
}

void measure_marks(MenuState& m)
{
    if (m.marks_measurer == m.measurer)
        return;
    m.left_mark_width = padded_width(*m.measurer, "<");
    m.right_mark_width = padded_width(*m.measurer, ">");
    m.marks_measurer = m.measurer;
}

int32_t entry_space(MenuState& m, const Settings& s)
{
    if (s.lines != 0)
        return static_cast<int32_t>(static_cast<int64_t>(list_rows(m, s)) * m.line_height);
    measure_marks(m);
    return m.bar_width -
           (m.prompt_width + m.input_width + m.left_mark_width + m.right_mark_width);
}

int32_t entry_size(const MenuState& m, const Settings& s, const Entry& e, int32_t space)
{
    if (s.lines != 0)
        return m.line_height;
    return std::min(padded_width(*m.measurer, e.label), space);
}

int32_t page_entry_width(const MenuState& m, const Entry* e, size_t index)
{
    if (m.measured_page == m.page_first && index < m.page_widths.size())
        return m.page_widths[index];
    return padded_width(*m.measurer, e->label);
}

void compute_page_bounds(MenuState& m, const Settings& s)
{
    int32_t space = entry_space(m, s);
    m.page_next = m.page_first;
    if (!m.page_first) {
        m.page_prev = nullptr;
        return;
    }
    // Totals are kept wide: with negative space they fall with every entry,
    // and every entry must keep fitting however long the list is.
    int64_t total = 0;
    bool row = s.lines == 0;
    m.page_widths.clear();
    m.measured_page = row ? m.page_first : nullptr;
    while (m.page_next) {
        if (!row) {
            total += m.line_height;
        } else {
            int32_t width = padded_width(*m.measurer, m.page_next->label);
            total += std::min(width, space);
            if (total <= space)
                m.page_widths.push_back(width);
        }
        if (total > space)
            break;
        m.page_next = m.page_next->after;
    }
    m.page_prev = m.page_first;
    total = 0;
    while (Entry* before = m.page_prev->before) {
        total += entry_size(m, s, *before, space);
        if (total > space)
            break;
        m.page_prev = before;
    }
}
