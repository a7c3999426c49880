#include "ravlin/control/line_editing.h"

#include <cctype>
#include <cstring>

#include "ravlin/base/menu_state.h"
#include "ravlin/base/settings.h"
#include "ravlin/base/utf8.h"
#include "ravlin/drawing/page_bounds.h"

namespace {

constexpr int32_t input_size = sizeof MenuState::input;

// Copies a whole string and clears the rest of the buffer. Labels are
// limited to 1023 bytes when read; the bound only guards the buffer.
void copy_text(char* destination, const char* source)
{
    size_t length = strnlen(source, input_size - 1);
    std::memmove(destination, source, length);
    std::memset(destination + length, 0, input_size - length);
}

int32_t input_length(const MenuState& m)
{
    return static_cast<int32_t>(std::strlen(m.input));
}

}  // namespace

int32_t char_boundary(const MenuState& m, int step)
{
    int32_t n = m.cursor + step;
    while (n + step >= 0 && is_utf8_continuation(m.input[n]))
        n += step;
    return n;
}

void rebuild_matches(MenuState& m, const Settings& s)
{
    s.match.filter(m, s);
    compute_page_bounds(m, s);
}

void splice_input(MenuState& m, const Settings& s, const char* bytes, int32_t n)
{
    if (static_cast<int64_t>(std::strlen(m.input)) + n > input_size - 1)
        return;
    if (n < 0 && -n > m.cursor)
        return;
    int32_t moved = input_size - m.cursor - (n > 0 ? n : 0);
    std::memmove(m.input + m.cursor + n, m.input + m.cursor, static_cast<size_t>(moved));
    if (n > 0 && bytes)
        std::memcpy(m.input + m.cursor, bytes, static_cast<size_t>(n));
    m.cursor += n;
    rebuild_matches(m, s);
}

void type_text(MenuState& m, const Settings& s, const char* key_text, int32_t key_text_length)
{
    if (key_text_length <= 0)
        return;
    // A byte above 0x7F is negative as a signed char and never a control
    // character; iscntrl must not see it.
    signed char first = static_cast<signed char>(key_text[0]);
    if (first >= 0 && std::iscntrl(first))
        return;
    splice_input(m, s, key_text, key_text_length);
}

bool delete_before_cursor(MenuState& m, const Settings& s)
{
    if (m.cursor == 0)
        return false;
    splice_input(m, s, nullptr, char_boundary(m, -1) - m.cursor);
    return true;
}

bool delete_at_cursor(MenuState& m, const Settings& s)
{
    if (m.input[m.cursor] == '\0')
        return false;
    m.cursor = char_boundary(m, +1);
    return delete_before_cursor(m, s);
}

void delete_to_end(MenuState& m, const Settings& s)
{
    m.input[m.cursor] = '\0';
    rebuild_matches(m, s);
}

void delete_to_start(MenuState& m, const Settings& s)
{
    splice_input(m, s, nullptr, -m.cursor);
}

void delete_word(MenuState& m, const Settings& s)
{
    while (m.cursor > 0 && m.input[char_boundary(m, -1)] == ' ')
        delete_before_cursor(m, s);
    while (m.cursor > 0 && m.input[char_boundary(m, -1)] != ' ' &&
           m.input[char_boundary(m, -1)] != '/')
        delete_before_cursor(m, s);
}

bool cycle_completion(MenuState& m, const Settings& s, Direction direction)
{
    if (!m.selected)
        return false;
    if (std::strcmp(m.input, m.selected->label) == 0) {
        Entry* candidate = direction == Direction::forward ? m.selected->after : m.selected->before;
        if (!candidate) {
            // Past either end of the list: the typed text comes back.
            copy_text(m.input, m.saved_input);
            m.cursor = input_length(m);
            rebuild_matches(m, s);
            return true;
        }
        m.selected = candidate;
    } else {
        copy_text(m.saved_input, m.input);
        if (direction == Direction::backward)
            m.selected = m.match_tail;
    }
    // The list stays the one for the typed text while the cycle runs.
    copy_text(m.input, m.selected->label);
    m.cursor = input_length(m);
    return true;
}

void paste_text(MenuState& m, const Settings& s, const char* data)
{
    const char* newline = std::strchr(data, '\n');
    size_t n = newline ? static_cast<size_t>(newline - data) : std::strlen(data);
    // Longer than any input could hold: dropped like any splice that does not fit.
    if (n > static_cast<size_t>(input_size - 1))
        return;
    splice_input(m, s, data, static_cast<int32_t>(n));
}
