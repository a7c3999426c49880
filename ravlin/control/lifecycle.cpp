#include "ravlin/control/lifecycle.h"

#include <cerrno>
#include <cstdio>

#include "ravlin/base/fail.h"
#include "ravlin/base/menu_state.h"
#include "ravlin/base/settings.h"
#include "ravlin/base/standard_descriptors.h"
#include "ravlin/control/file_completion.h"
#include "ravlin/control/line_editing.h"
#include "ravlin/control/placement.h"
#include "ravlin/control/platform.h"
#include "ravlin/control/settings.h"
#include "ravlin/drawing/render_bar.h"
#include "ravlin/items/case_fold.h"
#include "ravlin/items/entry_reader.h"
#include "ravlin/items/history_file.h"
#include "ravlin/items/worker_pool.h"

namespace {

// The last platform has the last word: it fails with its own message when
// it cannot open either.
const Platform* open_platform(MenuState& m, std::span<const Platform* const> platforms)
{
    for (const Platform* platform : platforms)
        if (platform && platform->open(m))
            return platform;
    fail("cannot open display\n");
}

}  // namespace

int run_menu(int argc, char** argv, std::span<const Platform* const> platforms)
{
    static Settings s;
    static MenuState m;
    // Done first: the display connection most likely takes the next free
    // descriptor, and the result would then go into the X socket.
    int filled = open_standard_descriptors();
    if (filled < 0)
        fail("cannot open /dev/null:");
    m.output_closed = filled & (1 << 1);
    parse_command_line(argc, argv, s);

    const Platform& platform = *(m.platform = open_platform(m, platforms));
    refresh_case_fold();
    platform.apply_resources(m, s);
    apply_defaults(s);

    platform.load_font(m, s.font_name ? s.font_name : "fixed");
    m.normal_colors = platform.load_colors(m, s.normal_fg_color, s.normal_bg_color);
    m.selected_colors = platform.load_colors(m, s.selected_fg_color, s.selected_bg_color);
    m.shade_colors = platform.load_colors(m, s.shade_color, s.shade_color);
    m.underline_colors = platform.load_colors(m, s.underline_color, s.underline_color);

    if (s.no_input) {
        platform.grab_keyboard(m, s);
    } else if (s.grab_first) {
        platform.grab_keyboard(m, s);
        load_entries(m, s, stdin);
    } else {
        load_entries(m, s, stdin);
        platform.grab_keyboard(m, s);
    }

    uint32_t font_line = static_cast<uint32_t>(m.measurer->font_height() + 2);
    uint32_t line_height = s.min_line_height > font_line ? s.min_line_height : font_line;
    m.line_height = static_cast<int32_t>(line_height);
    m.bar_height = static_cast<int32_t>(clamp_window_extent(
        static_cast<int32_t>(line_height * (s.lines + 1))));
    platform.place_bar(m, s);

    m.prompt_width = s.prompt && *s.prompt ? padded_width(*m.measurer, s.prompt) : 0;
    if (m.input_width > m.bar_width / 3)
        m.input_width = m.bar_width / 3;

    rebuild_matches(m, s);

    platform.show_bar(m, s);
    render_bar(m, s);
    // The searches' helper threads, once the menu is on the screen.
    start_workers();

    platform.run_event_loop(m, s);
    cancel_file_completion(m);

    platform.release_keyboard(m, s);
    platform.close(m, s);
    if (m.history_line)
        save_history(m, s, m.history_line);

    if (m.output_errno) {
        errno = m.output_errno;
        fail("cannot write output:");
    }
    return m.exit_status;
}
