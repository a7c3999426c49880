// Random key sequences over random entries, through the whole key logic and
// the real filters, with the menu's invariants checked after every key:
// the input is NUL-terminated within 1023 bytes, the cursor lies within it
// (on a character start while the text is valid UTF-8), the match list is
// well linked with match_tail its last, and the selection and the page lie
// inside it.
//
// Input: one byte of options, the entries (lines) up to a NUL, then keys of
// two bytes each: which key, and its modifiers; a typed or pasted key takes
// its text from the bytes that follow it, up to a byte below 0x08.

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "ravlin/control/key_bindings.h"
#include "ravlin/control/line_editing.h"
#include "tests/items_reference.h"

using namespace items_reference;

namespace {

constexpr KeySym bound_keys[] = {
    XK_Home, XK_Left, XK_Up, XK_Right, XK_Down, XK_Prior, XK_Next, XK_End, XK_Return,
    XK_KP_Enter, XK_Escape, XK_Tab, XK_ISO_Left_Tab, XK_BackSpace, XK_Delete,
    // Letters that chords bind.
    XK_a, XK_b, XK_c, XK_d, XK_e, XK_f, XK_g, XK_G, XK_h, XK_i, XK_j, XK_J, XK_k, XK_l, XK_m,
    XK_M, XK_n, XK_p, XK_u, XK_w, XK_y, XK_Y,
};
constexpr size_t bound_count = sizeof bound_keys / sizeof bound_keys[0];

void check(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool valid_utf8(const char* text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        int follow = *p < 0x80 ? 0 : (*p >> 5) == 6 ? 1 : (*p >> 4) == 14 ? 2 : (*p >> 3) == 30 ? 3 : -1;
        if (follow < 0)
            return false;
        ++p;
        for (; follow > 0; --follow, ++p)
            if ((*p & 0xC0) != 0x80)
                return false;
    }
    return true;
}

// clean: the input has been valid UTF-8 ever since it was last empty. Bytes
// of broken text may join into a valid character around the cursor, which
// says nothing about the editing.
void check_invariants(const MenuState& m, bool& clean)
{
    size_t length = strnlen(m.input, sizeof m.input);
    check(length <= 1023, "input NUL-terminated within 1023 bytes");
    check(m.cursor >= 0 && static_cast<size_t>(m.cursor) <= length, "cursor within the input");
    clean = length == 0 || (clean && valid_utf8(m.input));
    if (clean)
        check((static_cast<unsigned char>(m.input[m.cursor]) & 0xC0) != 0x80,
              "cursor on a character start");

    check((m.match_head == nullptr) == (m.match_tail == nullptr), "head and tail together");
    std::unordered_set<const Entry*> listed;
    const Entry* last = nullptr;
    for (const Entry* e = m.match_head; e; e = e->after) {
        check(e->before == last, "before links back");
        check(listed.insert(e).second, "no entry twice");
        last = e;
    }
    check(last == m.match_tail, "match_tail is the last");
    check(m.selected == nullptr ? m.match_head == nullptr : listed.count(m.selected) == 1,
          "selection inside the list");
    check(m.page_first == nullptr ? m.match_head == nullptr : listed.count(m.page_first) == 1,
          "page inside the list");
    if (m.page_first) {
        check(m.page_prev && listed.count(m.page_prev), "previous page inside the list");
        bool reached = m.page_next == nullptr;
        for (const Entry* e = m.page_first; e && !reached; e = e->after)
            reached = e->after == m.page_next;
        check(reached || m.page_next == m.page_first, "next page after this one");
    }
}

// Text for a typed key or a paste: the bytes up to one below 0x08.
std::string take_text(const uint8_t*& p, const uint8_t* end)
{
    std::string text;
    while (p < end && *p >= 0x08 && text.size() < 64)
        text += static_cast<char>(*p++);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    uint8_t options = *p++;
    const uint8_t* entries_end = static_cast<const uint8_t*>(std::memchr(p, 0, end - p));
    if (!entries_end)
        entries_end = end;
    std::string entries(reinterpret_cast<const char*>(p), entries_end - p);
    p = entries_end < end ? entries_end + 1 : end;

    auto m = make_state();
    Settings s;
    s.lines = (options & 0x07) * 2;  // 0 is the row
    s.print_all = options & 0x08;
    s.mask_input = options & 0x80;
    if (options & 0x10)
        s.match.filter = filter_tokens;
    if (options & 0x20)
        s.match.filter = filter_fuzzy;
    if (options & 0x40)
        use_nocase_primitives(s.match);
    m->bar_width = 200 + (options & 0x07) * 150;
    m->input_width = m->bar_width / 3;
    m->output = std::fopen("/dev/null", "w");
    if (!entries.empty()) {
        FILE* f = fmemopen(entries.data(), entries.size(), "r");
        load_entries(*m, s, f);
        std::fclose(f);
    }
    rebuild_matches(*m, s);
    bool clean = true;
    check_invariants(*m, clean);

    while (end - p >= 2) {
        uint8_t which = *p++;
        uint8_t modifier_bits = *p++;
        unsigned int modifiers = (modifier_bits & 1 ? ShiftMask : 0) |
                                 (modifier_bits & 2 ? ControlMask : 0) |
                                 (modifier_bits & 4 ? Mod1Mask : 0);
        KeySym keysym;
        std::string text;
        if (which < 0xC0) {
            keysym = bound_keys[which % bound_count];
        } else {
            text = take_text(p, end);
            keysym = text.empty() ? NoSymbol : static_cast<unsigned char>(text[0]);
        }
        KeyOutcome outcome = dispatch_key(*m, s, keysym, modifiers, text.data(),
                                          static_cast<int32_t>(text.size()));
        if (outcome == KeyOutcome::paste_primary || outcome == KeyOutcome::paste_clipboard) {
            std::string pasted = take_text(p, end);
            paste_text(*m, s, pasted.c_str());
        }
        if (outcome == KeyOutcome::finished)
            m->finished = false;
        check_invariants(*m, clean);
    }
    std::fclose(m->output);
    release_entries(*m);
    return 0;
}
