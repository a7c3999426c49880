// Paging of the match list with a fake font: every byte 10 pixels wide and
// the font 10 high, so a label of n bytes has a padded width of 10 * n + 10
// and each arrow takes 20.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ravlin/base/menu_state.h"
#include "ravlin/control/settings.h"
#include "ravlin/drawing/page_bounds.h"

namespace {

class FakeFont final : public TextMeasurer {
public:
    int32_t text_extent(const char*, int32_t n) const override { return 10 * n; }
    int32_t font_height() const override { return 10; }
};

class Pages {
public:
    // Every label is matched, in order.
    explicit Pages(const std::vector<std::string>& labels) : labels_(labels)
    {
        for (std::string& label : labels_)
            entries_.push_back({label.data(), nullptr, nullptr});
        entries_.push_back({nullptr, nullptr, nullptr});
        for (size_t i = 0; i + 1 < entries_.size(); ++i) {
            entries_[i].before = i ? &entries_[i - 1] : nullptr;
            entries_[i].after = i + 2 < entries_.size() ? &entries_[i + 1] : nullptr;
        }
        m.entries = entries_.data();
        m.match_head = labels_.empty() ? nullptr : &entries_.front();
        m.measurer = &font_;
        m.line_height = 10;
        m.prompt_width = 100;
        m.input_width = 100;
    }

    // "first..last next prev" after computing the bounds with the page at
    // the entry of that index (-1: no page).
    std::string at(int first)
    {
        m.page_first = first < 0 ? nullptr : &entries_[static_cast<size_t>(first)];
        m.page_next = m.page_prev = &entries_.back();  // must be overwritten
        compute_page_bounds(m, s);
        std::string page;
        for (Entry* e = m.page_first; e && e != m.page_next; e = e->after)
            page += (page.empty() ? "" : " ") + std::string(e->label);
        return "[" + page + "] next " + name(m.page_next) + " prev " + name(m.page_prev);
    }

    MenuState m;
    Settings s;

private:
    static std::string name(const Entry* e)
    {
        if (!e)
            return "null";
        return e->label ? e->label : "(terminator)";
    }
    std::vector<std::string> labels_;
    std::vector<Entry> entries_;
    FakeFont font_;
};

// Nine-byte labels take 100 pixels each.
std::vector<std::string> hundreds(int count)
{
    std::vector<std::string> labels;
    for (int i = 0; i < count; ++i)
        labels.push_back("entry-" + std::string(i < 9 ? "00" : "0") + std::to_string(i + 1));
    return labels;
}

TEST(PageBounds, RowTakesEntriesWhileTheirSizesFitTheSpace)
{
    Pages pages(hundreds(20));
    // Space: 1060 - (100 + 100 + 20 + 20) = 820, room for eight entries.
    pages.m.bar_width = 1060;
    EXPECT_EQ(pages.at(0),
              "[entry-001 entry-002 entry-003 entry-004 entry-005 entry-006 entry-007 entry-008] "
              "next entry-009 prev entry-001");
    EXPECT_EQ(pages.at(8),
              "[entry-009 entry-010 entry-011 entry-012 entry-013 entry-014 entry-015 entry-016] "
              "next entry-017 prev entry-001");
    EXPECT_EQ(pages.at(16), "[entry-017 entry-018 entry-019 entry-020] next null prev entry-009");
    // An entry that brings the total exactly to the space is on the page.
    pages.m.bar_width = 1040;
    EXPECT_EQ(pages.at(0),
              "[entry-001 entry-002 entry-003 entry-004 entry-005 entry-006 entry-007 entry-008] "
              "next entry-009 prev entry-001");
    pages.m.bar_width = 1039;
    EXPECT_EQ(pages.at(0),
              "[entry-001 entry-002 entry-003 entry-004 entry-005 entry-006 entry-007] "
              "next entry-008 prev entry-001");
    // Backward: the earliest entry whose run up to the page start fits.
    EXPECT_EQ(pages.at(10),
              "[entry-011 entry-012 entry-013 entry-014 entry-015 entry-016 entry-017] "
              "next entry-018 prev entry-004");
}

TEST(PageBounds, WideEntryFormsAPageOfItsOwn)
{
    Pages pages({"a", std::string(200, 'w'), "b", "c"});
    pages.m.bar_width = 540;  // space 300: the wide entry counts as exactly 300
    EXPECT_EQ(pages.at(0), "[a] next " + std::string(200, 'w') + " prev a");
    EXPECT_EQ(pages.at(1), "[" + std::string(200, 'w') + "] next b prev a");
    EXPECT_EQ(pages.at(2), "[b c] next null prev " + std::string(200, 'w'));
}

TEST(PageBounds, WithoutPageStartBothBoundsAreNull)
{
    Pages pages(hundreds(3));
    pages.m.bar_width = 1060;
    EXPECT_EQ(pages.at(-1), "[] next null prev null");
    Pages none({});
    EXPECT_EQ(none.at(-1), "[] next null prev null");
}

TEST(PageBounds, NegativeSpaceFitsEveryEntry)
{
    Pages pages(hundreds(5));
    pages.m.bar_width = 200;  // the prompt, field and arrows need 240
    EXPECT_EQ(pages.at(0),
              "[entry-001 entry-002 entry-003 entry-004 entry-005] next null prev entry-001");
    EXPECT_EQ(pages.at(3), "[entry-004 entry-005] next null prev entry-001");
}

TEST(PageBounds, ListPagesHoldAsManyEntriesAsLines)
{
    Pages pages(hundreds(8));
    pages.s.lines = 3;
    pages.m.bar_width = 10;  // the row's space plays no part in a list
    EXPECT_EQ(pages.at(0), "[entry-001 entry-002 entry-003] next entry-004 prev entry-001");
    EXPECT_EQ(pages.at(3), "[entry-004 entry-005 entry-006] next entry-007 prev entry-001");
    EXPECT_EQ(pages.at(6), "[entry-007 entry-008] next null prev entry-004");
    EXPECT_EQ(pages.at(1), "[entry-002 entry-003 entry-004] next entry-005 prev entry-001");
    EXPECT_EQ(pages.at(7), "[entry-008] next null prev entry-005");
}

}  // namespace

TEST(PageBounds, ListPageHoldsOnlyTheRowsTheHighestWindowCanShow)
{
    std::vector<std::string> labels;
    for (int i = 0; i < 5000; ++i)
        labels.push_back("e" + std::to_string(i));
    Pages pages(labels);
    pages.s.lines = 5000;
    pages.at(0);
    int rows = 0;
    for (Entry* e = pages.m.page_first; e != pages.m.page_next; e = e->after)
        ++rows;
    // 32767 pixels of window: the input line and 3275 rows of 10.
    EXPECT_EQ(rows, 3275);
}
