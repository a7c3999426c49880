#pragma once

// A menu on plain data for the key and editing tests: entries made from
// labels, a prefix filter that counts its runs, a fake font and an output
// stream in memory. No display is involved.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ravlin/base/menu_state.h"
#include "ravlin/base/text_measurer.h"
#include "ravlin/control/key_bindings.h"
#include "ravlin/control/settings.h"
#include "ravlin/drawing/page_bounds.h"
#include "ravlin/items/filters.h"

namespace menu_fixture {

// Every byte is 10 pixels wide and the font 10 high, so a label of n bytes
// takes 10 * n + 10 pixels.
class FakeMeasurer final : public TextMeasurer {
public:
    int32_t text_extent(const char*, int32_t n) const override { return 10 * n; }
    int32_t font_height() const override { return 10; }
};

inline int filter_runs = 0;

// Entries that start with the input, in array order.
inline void prefix_filter(MenuState& m, const Settings& s)
{
    ++filter_runs;
    m.match_head = m.match_tail = nullptr;
    size_t length = std::strlen(m.input);
    if (m.entries)
        for (Entry* e = m.entries; e->label; ++e)
            if (std::strncmp(e->label, m.input, length) == 0)
                chain_append(e, m.match_head, m.match_tail);
    m.selected = m.page_first = m.match_head;
    compute_page_bounds(m, s);
}

struct Layout {
    uint32_t lines = 0;        // 0: horizontal
    int32_t bar_width = 2000;  // horizontal: room for the page
    int32_t input_width = 100;
};

class Menu {
public:
    explicit Menu(const std::vector<std::string>& labels, Layout layout = {})
        : state_(std::make_unique<MenuState>()), labels_(labels)
    {
        for (std::string& label : labels_)
            entries_.push_back({label.data(), nullptr, nullptr});
        entries_.push_back({nullptr, nullptr, nullptr});
        m.entries = labels_.empty() ? nullptr : entries_.data();
        m.measurer = &measurer_;
        m.line_height = 10;
        m.bar_width = layout.bar_width;
        m.input_width = layout.input_width;
        s.lines = layout.lines;
        s.match.filter = prefix_filter;
        m.output = open_memstream(&output_data_, &output_size_);
        s.match.filter(m, s);
        filter_runs = 0;
    }
    ~Menu()
    {
        if (m.output)
            std::fclose(m.output);
        std::free(output_data_);
    }
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    // Sets the input and the cursor directly and rebuilds the match list.
    void set_input(const std::string& text, int32_t cursor)
    {
        std::memset(m.input, 0, sizeof m.input);
        std::memcpy(m.input, text.data(), text.size());
        m.cursor = cursor;
        s.match.filter(m, s);
        filter_runs = 0;
    }
    void set_input(const std::string& text) { set_input(text, static_cast<int32_t>(text.size())); }

    Entry* entry(const std::string& label)
    {
        for (Entry& e : entries_)
            if (e.label && label == e.label)
                return &e;
        return nullptr;
    }
    // Puts the page at first and the selection at selected.
    void show(const std::string& first, const std::string& selected)
    {
        m.page_first = entry(first);
        m.selected = entry(selected);
        compute_page_bounds(m, s);
    }

    KeyOutcome key(KeySymbol keysym, unsigned int modifiers = 0, const std::string& text = "")
    {
        return dispatch_key(m, s, keysym, modifiers, text.data(), static_cast<int32_t>(text.size()));
    }
    // Types ASCII text key by key, as the lookup would deliver it.
    void type(const std::string& text)
    {
        for (char c : text)
            key(static_cast<KeySymbol>(static_cast<unsigned char>(c)), 0, std::string(1, c));
    }

    std::string input() const { return m.input; }
    std::string selected() const { return m.selected ? m.selected->label : "(none)"; }
    // The labels from page_first up to page_next, blank-separated.
    std::string page() const { return join(m.page_first, m.page_next); }
    std::string matches() const { return join(m.match_head, nullptr); }
    std::string output()
    {
        std::fflush(m.output);
        return std::string(output_data_ ? output_data_ : "", output_size_);
    }

private:
    static std::string join(const Entry* from, const Entry* to)
    {
        std::string text;
        for (const Entry* e = from; e && e != to; e = e->after)
            text += (text.empty() ? "" : " ") + std::string(e->label);
        return text;
    }

    std::unique_ptr<MenuState> state_;
    std::vector<std::string> labels_;
    std::vector<Entry> entries_;
    FakeMeasurer measurer_;
    char* output_data_ = nullptr;
    size_t output_size_ = 0;

public:
    MenuState& m = *state_;
    Settings s;
};

}  // namespace menu_fixture
