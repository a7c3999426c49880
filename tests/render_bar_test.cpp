// The bar as a real server shows it: render_bar paints into the canvas of a
// surface on a private Xvfb and copies it to a mapped window, whose pixels
// are read back. Each picture is compared whole with a scene painted from
// the layout of the bar (element rectangles, their colours and texts), and
// the parts that matter most are also checked pixel by pixel.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ravlin/base/menu_state.h"
#include "ravlin/control/settings.h"
#include "ravlin/drawing/page_bounds.h"
#include "ravlin/drawing/render_bar.h"
#include "ravlin/drawing/text_fitting.h"
#include "ravlin/items/filters.h"
#include "surface_fixture.h"

namespace {

using surface_fixture::Drawing;
using surface_fixture::Pixels;

const char* const fonts[] = {surface_fixture::core_font, surface_fixture::xft_font};

// -nb, -nf, -sb, -sf, -uc
const char* const normal_bg = "#000080";
const char* const normal_fg = "#e0e0e0";
const char* const selected_bg = "#008000";
const char* const selected_fg = "#ffff00";
const char* const underline = "#ff0000";
constexpr int32_t underline_height = 3;

// A menu whose bar is painted on the shared surface of one font.
class Bar {
public:
    Bar(const char* font_name, const std::vector<std::string>& labels)
        : drawing(Drawing::with_font(font_name)), font(*drawing.canvas), labels_(labels)
    {
        m.canvas = drawing.canvas;
        m.measurer = &font;
        palette.normal = &drawing.pair(normal_fg, normal_bg);
        palette.selected = &drawing.pair(selected_fg, selected_bg);
        palette.underline = &drawing.pair(underline, underline);
        m.normal_colors = drawing.colors(*palette.normal);
        m.selected_colors = drawing.colors(*palette.selected);
        m.underline_colors = drawing.colors(*palette.underline);
        for (std::string& label : labels_)
            entries_.push_back({label.data(), nullptr, nullptr});
        entries_.push_back({nullptr, nullptr, nullptr});
        m.entries = entries_.data();
        m.line_height = font.font_height() + 2;
        m.bar_width = 640;
        s.underline_height = underline_height;
    }
    ~Bar()
    {
        if (window)
            XDestroyWindow(drawing.surface->display, window);
    }
    Bar(const Bar&) = delete;
    Bar& operator=(const Bar&) = delete;

    // The sizes startup works out from the settings and the entries.
    void lay_out()
    {
        m.bar_height = m.line_height * static_cast<int32_t>(s.lines + 1);
        m.prompt_width = s.prompt && *s.prompt ? padded_width(font, s.prompt) : 0;
        m.input_width = 0;
        for (const std::string& label : labels_)
            m.input_width = std::max(m.input_width, padded_width(font, label.c_str()));
        m.input_width = std::min(m.input_width, m.bar_width / 3);
    }

    void set_input(const std::string& text, int32_t cursor)
    {
        std::fill(std::begin(m.input), std::end(m.input), '\0');
        text.copy(m.input, text.size());
        m.cursor = cursor;
    }

    // Makes the entries of these indices the match list, with the page and
    // the selection at its head.
    void match(const std::vector<int>& indices)
    {
        m.match_head = m.match_tail = nullptr;
        for (int i : indices)
            chain_append(&entries_[static_cast<size_t>(i)], m.match_head, m.match_tail);
        m.selected = m.page_first = m.match_head;
        compute_page_bounds(m, s);
    }
    void match_all()
    {
        std::vector<int> all(labels_.size());
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = static_cast<int>(i);
        match(all);
    }
    void next_page()
    {
        m.page_first = m.page_next;
        compute_page_bounds(m, s);
    }
    Entry* entry(int i) { return &entries_[static_cast<size_t>(i)]; }

    // The labels of the current page.
    std::vector<std::string> page() const
    {
        std::vector<std::string> labels;
        for (Entry* e = m.page_first; e && e != m.page_next; e = e->after)
            labels.emplace_back(e->label);
        return labels;
    }

    // render_bar, then what the window shows.
    Pixels render()
    {
        Display* display = drawing.surface->display;
        if (!window) {
            XSetWindowAttributes attributes{};
            attributes.override_redirect = True;
            attributes.event_mask = StructureNotifyMask;
            window = XCreateWindow(
                display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(m.bar_width),
                static_cast<unsigned>(m.bar_height), 0, CopyFromParent, InputOutput,
                CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
            XMapRaised(display, window);
            XEvent event;
            EXPECT_TRUE(harness::wait_until([&] {
                return XCheckTypedWindowEvent(display, window, MapNotify, &event);
            }));
        }
        drawing.canvas->show_on(window, static_cast<uint32_t>(m.bar_width),
                                static_cast<uint32_t>(m.bar_height));
        render_bar(m, s);
        return drawing.read(0, 0, m.bar_width, m.bar_height, window);
    }

    int32_t padded(const char* text) const { return padded_width(font, text); }
    int32_t entry_room() { return entry_space(m, s); }
    int32_t advance(const std::string& text) const
    {
        return font.text_advance(text.c_str(), static_cast<int32_t>(text.size()));
    }
    int32_t height() const { return font.font_height(); }

    Drawing& drawing;
    const SurfaceCanvas& font;
    // The colours as X allocated them, for comparing pixels.
    struct Palette {
        XColorPair* normal;
        XColorPair* selected;
        XColorPair* underline;
    } palette = {};
    MenuState m;
    Settings s;
    Window window = None;

private:
    std::vector<std::string> labels_;
    std::vector<Entry> entries_;
};

// The expected picture: rectangles filled with a colour and texts on their
// background, in painting order, drawn with the surface's primitives.
class Scene {
public:
    explicit Scene(Bar& bar) : bar_(bar)
    {
        fill(0, 0, bar.m.bar_width, bar.m.bar_height, bar.palette.normal->bg);
    }
    void fill(int32_t x, int32_t y, int32_t w, int32_t h, unsigned long pixel)
    {
        steps_.push_back([=](Drawing& drawing) {
            drawing.at(0, 0, 0, 0);
            drawing.fill(x, y, static_cast<uint32_t>(w), static_cast<uint32_t>(h), pixel);
        });
    }
    // A text shown whole (or the given fitted copy) in its rectangle.
    void text(int32_t x, int32_t y, int32_t w, const std::string& shown, const XColorPair* pair)
    {
        int32_t h = bar_.m.line_height;
        steps_.push_back([=](Drawing& drawing) {
            drawing.at(x, y, w, h);
            drawing.fill(0, 0, static_cast<uint32_t>(w), static_cast<uint32_t>(h), pair->bg);
            drawing.run(shown.data(), static_cast<int32_t>(shown.size()), *pair);
        });
    }
    // The cursor bar at x within a field starting at field_x.
    void cursor(int32_t field_x, int32_t x)
    {
        int32_t height = bar_.height();
        fill(field_x + x, (bar_.m.line_height - height) / 2 + 1, 1, height - 1,
             bar_.palette.normal->fg);
    }
    // Entries of a row from x on, the selected one underlined.
    void row(int32_t x, const std::vector<std::string>& labels, const std::string& selected)
    {
        for (const std::string& label : labels) {
            int32_t w = bar_.padded(label.c_str());
            bool is_selected = label == selected;
            text(x, 0, w, label, is_selected ? bar_.palette.selected : bar_.palette.normal);
            if (is_selected)
                fill(x, bar_.m.line_height - underline_height, w, underline_height,
                     bar_.palette.underline->bg);
            x += w;
        }
    }
    void prompt(const std::string& text_shown)
    {
        text(0, 0, bar_.m.prompt_width, text_shown, bar_.palette.selected);
        fill(0, bar_.m.line_height - underline_height, bar_.m.prompt_width, underline_height,
             bar_.palette.underline->bg);
    }

    Pixels picture()
    {
        for (auto& step : steps_)
            step(bar_.drawing);
        return bar_.drawing.read(0, 0, bar_.m.bar_width, bar_.m.bar_height);
    }

private:
    Bar& bar_;
    std::vector<std::function<void(Drawing&)>> steps_;
};

// Compares whole pictures and names the first pixel that differs.
::testing::AssertionResult same_picture(const Pixels& actual, const Pixels& expected)
{
    if (actual.width != expected.width || actual.height != expected.height)
        return ::testing::AssertionFailure() << "size differs";
    for (int y = 0; y < actual.height; ++y)
        for (int x = 0; x < actual.width; ++x)
            if (actual.at(x, y) != expected.at(x, y))
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << std::hex << actual.at(x, y)
                       << ", expected " << expected.at(x, y);
    return ::testing::AssertionSuccess();
}

// True when every pixel of the rectangle has this value.
bool all_of(const Pixels& pixels, int x, int y, int w, int h, unsigned long value)
{
    for (int row = y; row < y + h; ++row)
        for (int column = x; column < x + w; ++column)
            if (pixels.at(column, row) != value)
                return false;
    return true;
}

bool any_of(const Pixels& pixels, int x, int y, int w, int h, unsigned long value)
{
    for (int row = y; row < y + h; ++row)
        for (int column = x; column < x + w; ++column)
            if (pixels.at(column, row) == value)
                return true;
    return false;
}

const std::vector<std::string> fruit = {
    "apple", "banana", "cherry", "damson", "elderberry", "fig", "grape", "huckleberry",
    "jackfruit", "kiwi", "lemon", "mango", "nectarine", "orange", "papaya", "quince",
    "raspberry", "strawberry", "tangerine", "ugli", "watermelon", "yuzu"};

TEST(RenderBar, RowShowsPromptFieldCursorAndPagesWithArrows)
{
    for (const char* font_name : fonts) {
        SCOPED_TRACE(font_name);
        Bar bar(font_name, fruit);
        bar.s.prompt = "run:";
        bar.lay_out();
        bar.set_input("ap", 1);
        bar.match_all();
        const MenuState& m = bar.m;
        const int32_t lh = m.line_height, pw = m.prompt_width, iw = m.input_width;
        const int32_t left = bar.padded("<"), right = bar.padded(">");

        // First page: "<" slot blank, ">" drawn, the head selected.
        Pixels first = bar.render();
        Scene scene(bar);
        scene.prompt("run:");
        scene.text(pw, 0, iw, "ap", bar.palette.normal);
        scene.cursor(pw, bar.height() / 2 + bar.advance("a"));
        scene.row(pw + iw + left, bar.page(), "apple");
        scene.text(m.bar_width - right, 0, right, ">", bar.palette.normal);
        EXPECT_TRUE(same_picture(first, scene.picture()));

        EXPECT_EQ(first.at(0, 0), bar.palette.selected->bg);
        EXPECT_TRUE(all_of(first, 0, lh - underline_height, pw, underline_height,
                           bar.palette.underline->bg));
        EXPECT_TRUE(all_of(first, pw - 1, 0, 1, lh - underline_height, bar.palette.selected->bg));
        EXPECT_EQ(first.at(pw, lh - 1), bar.palette.normal->bg);
        int32_t cursor_x = pw + bar.height() / 2 + bar.advance("a");
        EXPECT_TRUE(all_of(first, cursor_x, (lh - bar.height()) / 2 + 1, 1, bar.height() - 1,
                           bar.palette.normal->fg));
        EXPECT_TRUE(all_of(first, pw + iw, 0, left, lh, bar.palette.normal->bg));
        int32_t apple_x = pw + iw + left, apple_w = bar.padded("apple");
        EXPECT_TRUE(all_of(first, apple_x, 0, 1, lh - underline_height, bar.palette.selected->bg));
        EXPECT_TRUE(all_of(first, apple_x, lh - underline_height, apple_w, underline_height,
                           bar.palette.underline->bg));
        EXPECT_EQ(first.at(apple_x + apple_w, lh - 1), bar.palette.normal->bg);
        EXPECT_TRUE(any_of(first, m.bar_width - right, 0, right, lh, bar.palette.normal->fg));

        // A later page with the selection inside it: both arrows.
        bar.next_page();
        std::vector<std::string> second_page = bar.page();
        ASSERT_GE(second_page.size(), 2u);
        bar.m.selected = bar.m.page_first->after;
        Pixels second = bar.render();
        Scene later(bar);
        later.prompt("run:");
        later.text(pw, 0, iw, "ap", bar.palette.normal);
        later.cursor(pw, bar.height() / 2 + bar.advance("a"));
        later.text(pw + iw, 0, left, "<", bar.palette.normal);
        later.row(pw + iw + left, second_page, second_page[1]);
        later.text(m.bar_width - right, 0, right, ">", bar.palette.normal);
        EXPECT_TRUE(same_picture(second, later.picture()));
        EXPECT_TRUE(any_of(second, pw + iw, 0, left, lh, bar.palette.normal->fg));

        // The last page: "<" but no ">".
        while (bar.m.page_next)
            bar.next_page();
        bar.m.selected = bar.m.page_first;
        Pixels last = bar.render();
        Scene end(bar);
        end.prompt("run:");
        end.text(pw, 0, iw, "ap", bar.palette.normal);
        end.cursor(pw, bar.height() / 2 + bar.advance("a"));
        end.text(pw + iw, 0, left, "<", bar.palette.normal);
        end.row(pw + iw + left, bar.page(), bar.page()[0]);
        EXPECT_TRUE(same_picture(last, end.picture()));
        EXPECT_TRUE(all_of(last, m.bar_width - right, 0, right, lh, bar.palette.normal->bg));
    }
}

TEST(RenderBar, WithoutMatchesTheFieldReachesTheEdgeAndNoArrowsShow)
{
    for (const char* font_name : fonts) {
        SCOPED_TRACE(font_name);
        for (uint32_t lines : {0u, 3u}) {
            Bar bar(font_name, fruit);
            bar.s.lines = lines;
            bar.lay_out();
            bar.set_input("zzz", 3);
            bar.match({});
            Pixels picture = bar.render();
            Scene scene(bar);
            scene.text(0, 0, bar.m.bar_width, "zzz", bar.palette.normal);
            scene.cursor(0, bar.height() / 2 + bar.advance("zzz"));
            EXPECT_TRUE(same_picture(picture, scene.picture()));
            EXPECT_TRUE(all_of(picture, 0, bar.m.line_height, bar.m.bar_width,
                               bar.m.bar_height - bar.m.line_height, bar.palette.normal->bg));
        }
    }
}

TEST(RenderBar, MaskedInputShowsOneAsteriskPerCharacterBeforeTheCursor)
{
    const std::string input = "a\xc3\xa9" "b";  // a é b: four bytes, three characters
    for (const char* font_name : fonts) {
        SCOPED_TRACE(font_name);
        Bar bar(font_name, fruit);
        bar.s.mask_input = true;
        bar.s.prompt = "pin";
        bar.lay_out();
        bar.match_all();
        for (auto [cursor, stars] : {std::pair{0, ""}, std::pair{1, "*"}, std::pair{3, "**"},
                                     std::pair{4, "***"}}) {
            SCOPED_TRACE("cursor " + std::to_string(cursor));
            bar.set_input(input, cursor);
            Pixels picture = bar.render();
            const MenuState& m = bar.m;
            Scene scene(bar);
            scene.prompt("pin");
            scene.text(m.prompt_width, 0, m.input_width, stars, bar.palette.normal);
            scene.cursor(m.prompt_width, bar.height() / 2 + bar.advance(stars));
            scene.row(m.prompt_width + m.input_width + bar.padded("<"), bar.page(), "apple");
            scene.text(m.bar_width - bar.padded(">"), 0, bar.padded(">"), ">", bar.palette.normal);
            EXPECT_TRUE(same_picture(picture, scene.picture()));
        }
    }
}

TEST(RenderBar, CursorBarOnlyInsideTheField)
{
    for (const char* font_name : fonts) {
        SCOPED_TRACE(font_name);
        Bar bar(font_name, fruit);
        bar.lay_out();
        bar.match_all();
        bar.set_input("abc", 3);
        int32_t cursor_x = bar.height() / 2 + bar.advance("abc");
        for (int32_t field : {cursor_x + 1, cursor_x}) {
            bar.m.input_width = field;
            bar.match_all();
            Pixels picture = bar.render();
            // At x == field width the bar would be the first column of the
            // blank "<" slot.
            EXPECT_EQ(picture.at(cursor_x, bar.m.line_height / 2) == bar.palette.normal->fg,
                      cursor_x < field)
                << "field " << field;
            EXPECT_EQ(picture.at(field, bar.m.line_height / 2), bar.palette.normal->bg);
        }
    }
}

TEST(RenderBar, CursorFollowsTheAdvanceOfXftText)
{
    Bar bar(surface_fixture::xft_font, fruit);
    bar.lay_out();
    bar.match({});
    bar.set_input("a ", 2);
    XGlyphInfo box;
    XftTextExtentsUtf8(bar.drawing.surface->display, bar.drawing.surface->font.xft_font,
                       reinterpret_cast<const FcChar8*>("a "), 2, &box);
    ASSERT_NE(box.width, box.xOff);  // the trailing blank adds advance, not box
    Pixels picture = bar.render();
    int32_t y = bar.m.line_height / 2, inset = bar.height() / 2;
    EXPECT_EQ(picture.at(inset + box.xOff, y), bar.palette.normal->fg);
    EXPECT_EQ(picture.at(inset + box.width, y), bar.palette.normal->bg);
}

TEST(RenderBar, QuietModeWithEmptyInputShowsOnlyPromptAndField)
{
    for (const char* font_name : fonts) {
        SCOPED_TRACE(font_name);
        for (uint32_t lines : {0u, 4u}) {
            Bar bar(font_name, fruit);
            bar.s.quiet = true;
            bar.s.lines = lines;
            bar.s.prompt = "go";
            bar.lay_out();
            bar.set_input("", 0);
            bar.match_all();
            Pixels picture = bar.render();
            const MenuState& m = bar.m;
            int32_t field = lines ? m.bar_width - m.prompt_width : m.input_width;
            Scene scene(bar);
            scene.prompt("go");
            scene.text(m.prompt_width, 0, field, "", bar.palette.normal);
            scene.cursor(m.prompt_width, bar.height() / 2);
            EXPECT_TRUE(same_picture(picture, scene.picture()));

            // Typing brings the entries back.
            bar.set_input("a", 1);
            Pixels typed = bar.render();
            EXPECT_TRUE(any_of(typed, m.prompt_width + m.input_width, 0,
                               m.bar_width - m.prompt_width - m.input_width, m.bar_height,
                               bar.palette.selected->bg));
        }
    }
}

TEST(RenderBar, ListShowsWholePagesIndentedByThePrompt)
{
    std::vector<std::string> labels = fruit;
    labels[4] = "elderberry " + std::string(200, 'e');  // wider than the bar
    for (const char* font_name : fonts) {
        SCOPED_TRACE(font_name);
        Bar bar(font_name, labels);
        bar.s.lines = 3;
        bar.s.prompt = "pick a fruit:";
        bar.lay_out();
        bar.set_input("", 0);
        bar.match({0, 1, 2, 3, 4, 5, 6});
        const MenuState& m = bar.m;
        const int32_t pw = m.prompt_width, lh = m.line_height, w = m.bar_width - pw;

        auto expect_page = [&](const std::vector<std::string>& page, const std::string& selected) {
            ASSERT_EQ(bar.page(), page);
            Pixels picture = bar.render();
            Scene scene(bar);
            scene.prompt("pick a fruit:");
            scene.text(pw, 0, w, "", bar.palette.normal);
            scene.cursor(pw, bar.height() / 2);
            for (size_t i = 0; i < page.size(); ++i) {
                const std::string& label = page[i];
                int32_t n = fit_text_length(bar.font, label.c_str(), w);
                int32_t stops = ellipsis_start(label.c_str(), n);
                std::string shown = stops < n ? label.substr(0, static_cast<size_t>(stops)) + "..."
                                              : label.substr(0, static_cast<size_t>(n));
                scene.text(pw, lh * static_cast<int32_t>(i + 1), w, shown,
                           label == selected ? bar.palette.selected : bar.palette.normal);
            }
            EXPECT_TRUE(same_picture(picture, scene.picture()));
            // Indented: the prompt's columns stay blank below the first line.
            EXPECT_TRUE(all_of(picture, 0, lh, pw, m.bar_height - lh, bar.palette.normal->bg));
            // No underline anywhere below the first line, no arrows.
            EXPECT_FALSE(any_of(picture, 0, lh, m.bar_width, m.bar_height - lh,
                                bar.palette.underline->bg));
        };

        bar.m.selected = bar.entry(1);
        expect_page({"apple", "banana", "cherry"}, "banana");
        EXPECT_TRUE(all_of(bar.render(), pw, 2 * lh, w, 1, bar.palette.selected->bg));
        bar.next_page();
        bar.m.selected = bar.entry(4);
        expect_page({"damson", labels[4], "fig"}, labels[4]);
        bar.next_page();
        expect_page({"grape"}, labels[4]);
    }
}

TEST(RenderBar, RowWithoutRoomShowsNoEntriesAndNoUnderline)
{
    for (const char* font_name : fonts) {
        SCOPED_TRACE(font_name);
        Bar bar(font_name, fruit);
        bar.s.prompt = "no room:";
        bar.lay_out();
        // Five pixels short of room for the two arrows.
        bar.m.input_width = 100;
        bar.m.bar_width =
            bar.m.prompt_width + bar.m.input_width + bar.padded("<") + bar.padded(">") - 5;
        ASSERT_LT(bar.entry_room(), 0);
        bar.set_input("", 0);
        bar.match_all();
        ASSERT_EQ(bar.m.page_next, nullptr);  // every entry counts as fitting
        Pixels picture = bar.render();
        const MenuState& m = bar.m;
        // Right of the prompt only the empty field's cursor bar shows.
        int32_t cursor_x = m.prompt_width + bar.height() / 2;
        EXPECT_TRUE(all_of(picture, m.prompt_width, 0, cursor_x - m.prompt_width,
                           m.line_height, bar.palette.normal->bg));
        EXPECT_TRUE(any_of(picture, cursor_x, 0, 1, m.line_height, bar.palette.normal->fg));
        EXPECT_TRUE(all_of(picture, cursor_x + 1, 0, m.bar_width - cursor_x - 1, m.line_height,
                           bar.palette.normal->bg));
    }
}

// The program itself: a bar that another window covered shows the same
// picture again once it is uncovered.
TEST(RenderBar, ProgramShowsTheSameBarAfterBeingCovered)
{
    harness::XServer server;
    harness::XClient client(server.display_name());
    harness::Process::Options options;
    options.env = {server.env()};
    harness::Process menu({RAVLIN_BIN, "-p", "run:", "-fn", surface_fixture::xft_font, "-nb",
                           normal_bg, "-sb", selected_bg, "-uh", "2"},
                          options);
    menu.write_stdin("alpha\nbeta\ngamma\n");
    menu.close_stdin();
    Window bar = client.wait_for_window("ravlin", "Ravlin");
    ASSERT_NE(bar, static_cast<Window>(None));
    auto drawn = [](const harness::XClient::Image& image) {
        return std::any_of(image.pixels.begin(), image.pixels.end(),
                           [](uint32_t pixel) { return pixel == 0x008000; });
    };
    harness::XClient::Image before = client.wait_for_image(bar, drawn);
    ASSERT_TRUE(drawn(before));

    Display* display = client.display();
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = 0xff00ff;
    Window cover = XCreateWindow(display, client.root(), 0, 0, 400, 200, 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel,
                                 &attributes);
    XMapRaised(display, cover);
    XSync(display, False);
    XDestroyWindow(display, cover);
    XSync(display, False);
    harness::XClient::Image after = client.wait_for_image(
        bar, [&](const harness::XClient::Image& image) { return image.pixels == before.pixels; });
    EXPECT_TRUE(after.pixels == before.pixels);
    EXPECT_TRUE(menu.running());
    menu.kill_now();
    EXPECT_EQ(menu.err(), "");
}

}  // namespace
