#include "ravlin/control/key_bindings.h"

#include <X11/keysym.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ravlin/base/menu_state.h"
#include "ravlin/control/file_completion.h"
#include "ravlin/control/line_editing.h"
#include "ravlin/control/platform.h"
#include "ravlin/control/settings.h"
#include "ravlin/drawing/page_bounds.h"
#include "ravlin/drawing/render_bar.h"

namespace {

// A chord either stands for another key, or has done its work and goes on
// as the key itself, or ends the key press with an outcome of its own.
struct Chord {
    KeySymbol keysym;
    bool dropped;
    KeyOutcome outcome;
};

constexpr Chord as_key(KeySymbol keysym) { return {keysym, false, KeyOutcome::redraw}; }
constexpr Chord stop(KeyOutcome outcome) { return {0, true, outcome}; }

Chord fold_control(MenuState& m, const Settings& s, KeySymbol keysym, unsigned int modifiers)
{
    switch (keysym) {
    case XK_a: return as_key(XK_Home);
    case XK_b: return as_key(XK_Left);
    case XK_c: return as_key(XK_Escape);
    case XK_d: return as_key(XK_Delete);
    case XK_e: return as_key(XK_End);
    case XK_f: return as_key(XK_Right);
    case XK_g: return as_key(XK_Escape);
    case XK_h: return as_key(XK_BackSpace);
    case XK_i: return as_key(XK_Tab);
    case XK_j:
    case XK_m:
    case XK_J:
    case XK_M: return as_key(XK_Return);
    case XK_n: return as_key(XK_Down);
    case XK_p: return as_key(XK_Up);
    // The deletions go on as the unbound letter, whose control character
    // then inserts nothing.
    case XK_k: delete_to_end(m, s); return as_key(keysym);
    case XK_u: delete_to_start(m, s); return as_key(keysym);
    case XK_w: delete_word(m, s); return as_key(keysym);
    case XK_y:
    case XK_Y:
        return stop((modifiers & key_shift) ? KeyOutcome::paste_clipboard
                                            : KeyOutcome::paste_primary);
    default: return stop(KeyOutcome::none);
    }
}

Chord fold_mod1(KeySymbol keysym)
{
    switch (keysym) {
    case XK_g: return as_key(XK_Home);
    case XK_G: return as_key(XK_End);
    case XK_h: return as_key(XK_Up);
    case XK_j: return as_key(XK_Prior);
    case XK_k: return as_key(XK_Next);
    case XK_l: return as_key(XK_Down);
    default: return stop(KeyOutcome::none);
    }
}

void print_line(MenuState& m, const char* text)
{
    errno = 0;
    if ((std::fputs(text, m.output) == EOF || std::fputc('\n', m.output) == EOF) &&
        m.output_errno == 0)
        m.output_errno = errno ? errno : EIO;
}

// The result goes out before the history is touched: a caller that never
// gets the line must not find it on top of the history either. The history
// itself is saved once the keyboard is free again (run_menu): its syncs
// must hold back neither the result nor the user's next keys.
KeyOutcome accept(MenuState& m, const Settings& s, unsigned int modifiers)
{
    const char* chosen = nullptr;
    if ((modifiers & key_shift) || !m.selected) {
        print_line(m, chosen = m.input);
    } else if (s.print_all) {
        // From the selection to the end, then round from the head.
        for (Entry* e = m.selected; e; e = e->after)
            print_line(m, e->label);
        for (Entry* e = m.match_head; e && e != m.selected; e = e->after)
            print_line(m, e->label);
    } else {
        print_line(m, chosen = m.selected->label);
    }
    flush_output(m);
    if (chosen && m.output_errno == 0)
        m.history_line = chosen;
    m.exit_status = 0;
    m.finished = true;
    return KeyOutcome::finished;
}

KeyOutcome cancel(MenuState& m)
{
    m.exit_status = 1;
    m.finished = true;
    return KeyOutcome::finished;
}

void show_page(MenuState& m, const Settings& s, Entry* first)
{
    m.page_first = first;
    compute_page_bounds(m, s);
}

KeyOutcome home(MenuState& m, const Settings& s)
{
    if (m.selected == m.match_head) {
        m.cursor = 0;
    } else {
        m.selected = m.match_head;
        show_page(m, s, m.match_head);
    }
    return KeyOutcome::redraw;
}

KeyOutcome end(MenuState& m, const Settings& s)
{
    if (m.input[m.cursor] != '\0') {
        m.cursor = static_cast<int32_t>(std::strlen(m.input));
        return KeyOutcome::redraw;
    }
    if (m.page_next) {
        // The page before the one that starts at the last match may stop
        // short of it; walk on until a page shows it.
        show_page(m, s, m.match_tail);
        show_page(m, s, m.page_prev);
        while (m.page_next)
            show_page(m, s, m.page_first->after);
    }
    m.selected = m.match_tail;
    return KeyOutcome::redraw;
}

KeyOutcome up(MenuState& m, const Settings& s)
{
    if (m.selected && m.selected->before) {
        m.selected = m.selected->before;
        if (m.selected->after == m.page_first)
            show_page(m, s, m.page_prev);
    }
    return KeyOutcome::redraw;
}

KeyOutcome down(MenuState& m, const Settings& s)
{
    if (m.selected && m.selected->after) {
        m.selected = m.selected->after;
        if (m.selected == m.page_next)
            show_page(m, s, m.page_next);
    }
    return KeyOutcome::redraw;
}

KeyOutcome left(MenuState& m, const Settings& s)
{
    if (m.cursor > 0 && (!m.selected || !m.selected->before || s.lines > 0)) {
        m.cursor = char_boundary(m, -1);
        return KeyOutcome::redraw;
    }
    if (s.lines > 0)
        return KeyOutcome::none;
    return up(m, s);
}

KeyOutcome right(MenuState& m, const Settings& s)
{
    if (m.input[m.cursor] != '\0') {
        m.cursor = char_boundary(m, +1);
        return KeyOutcome::redraw;
    }
    if (s.lines > 0)
        return KeyOutcome::none;
    return down(m, s);
}

KeyOutcome turn_page(MenuState& m, const Settings& s, Entry* first)
{
    if (!first)
        return KeyOutcome::none;
    m.selected = first;
    show_page(m, s, first);
    return KeyOutcome::redraw;
}

KeyOutcome redraw_if(bool changed)
{
    return changed ? KeyOutcome::redraw : KeyOutcome::none;
}

}  // namespace

KeyOutcome dispatch_key(MenuState& m, const Settings& s, KeySymbol keysym, unsigned int modifiers,
                        const char* key_text, int32_t key_text_length)
{
    if (modifiers & (key_control | key_mod1)) {
        Chord chord = (modifiers & key_control) ? fold_control(m, s, keysym, modifiers)
                                                : fold_mod1(keysym);
        if (chord.dropped)
            return chord.outcome;
        keysym = chord.keysym;
    }

    switch (keysym) {
    case XK_Home: return home(m, s);
    case XK_Left: return left(m, s);
    case XK_Up: return up(m, s);
    case XK_Right: return right(m, s);
    case XK_Down: return down(m, s);
    case XK_Prior: return turn_page(m, s, m.page_prev);
    case XK_Next: return turn_page(m, s, m.page_next);
    case XK_End: return end(m, s);
    case XK_Return:
    case XK_KP_Enter: return accept(m, s, modifiers);
    case XK_Escape: return cancel(m);
    case XK_Tab:
        if (std::strchr(m.input, ' '))
            return KeyOutcome::complete_file_name;
        return redraw_if(cycle_completion(m, s, Direction::forward));
    case XK_ISO_Left_Tab: return redraw_if(cycle_completion(m, s, Direction::backward));
    case XK_BackSpace: return redraw_if(delete_before_cursor(m, s));
    case XK_Delete: return redraw_if(delete_at_cursor(m, s));
    default:
        type_text(m, s, key_text, key_text_length);
        return KeyOutcome::redraw;
    }
}

void flush_output(MenuState& m)
{
    // A standard output that was closed at the start holds /dev/null, which
    // would take the result without a word.
    if (m.output_closed && m.output_errno == 0)
        m.output_errno = EBADF;
    errno = 0;
    if (std::fflush(m.output) == EOF && m.output_errno == 0)
        m.output_errno = errno ? errno : EIO;
    if (std::ferror(m.output) && m.output_errno == 0)
        m.output_errno = EIO;
}

void handle_key(MenuState& m, const Settings& s, const KeyEvent& key)
{
    switch (dispatch_key(m, s, key.symbol, key.modifiers, key.text, key.text_length)) {
    case KeyOutcome::redraw:
        render_bar(m, s);
        break;
    case KeyOutcome::none:
    case KeyOutcome::finished:
        break;
    case KeyOutcome::complete_file_name:
        start_file_completion(m);
        break;
    case KeyOutcome::paste_primary:
        m.platform->request_paste(m, Selection::primary);
        break;
    case KeyOutcome::paste_clipboard:
        m.platform->request_paste(m, Selection::clipboard);
        break;
    }
}
