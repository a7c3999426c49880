// The parts of the Wayland platform that need no compositor: colour names,
// font names, the pixman canvas and xkbcommon keys.

#include <gtest/gtest.h>
// After gtest, whose names Xlib's macros would take.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <set>

#include "harness/harness.h"
#include "ravlin/wayland/color_names.h"
#include "ravlin/wayland/font_name.h"
#include "ravlin/wayland/keyboard_input.h"
#include "ravlin/wayland/pixman_canvas.h"

namespace {

using namespace harness;

// Every form of colour name gives what an X server gives it on a 24-bit
// screen, so a bar has the same colours on both platforms.
TEST(WaylandColors, NamesGiveTheColoursOfAnXServer)
{
    XServer server;
    Display* display = XOpenDisplay(server.display_name().c_str());
    ASSERT_NE(display, nullptr);
    Colormap colormap = DefaultColormap(display, DefaultScreen(display));
    const char* names[] = {"#222222", "#bbbbbb", "#005577", "#eeeeee", "#f00", "#0F8",
                           "#123456789", "#123456789abc", "rgb:f/0/80", "RGB:1234/ab/c",
                           "red", "Alice Blue", "aliceblue", "DarkSlateGray4", "gray50"};
    for (const char* name : names) {
        XColor exact;
        ASSERT_TRUE(XParseColor(display, colormap, name, &exact)) << name;
        std::optional<Rgb> rgb = parse_color(name);
        ASSERT_TRUE(rgb) << name;
        EXPECT_EQ((rgb->r << 16) | (rgb->g << 8) | rgb->b,
                  ((exact.red >> 8) << 16) | ((exact.green >> 8) << 8) | (exact.blue >> 8))
            << name;
    }
    for (const char* bad : {"#12", "#ggg", "#1234567", "rgb:1/2", "rgb:12345/0/0", "no such colour", ""}) {
        XColor exact;
        EXPECT_FALSE(XParseColor(display, colormap, bad, &exact)) << bad;
        EXPECT_FALSE(parse_color(bad)) << bad;
    }
    XCloseDisplay(display);
    // Without a database only the numeric forms work, the defaults among them.
    EXPECT_FALSE(lookup_color_name("red", "/nonexistent/rgb.txt"));
    EXPECT_TRUE(parse_numeric_color("#005577"));
}

TEST(WaylandFonts, CoreFontNamesBecomeMonospaceOfTheirPixelSize)
{
    EXPECT_EQ(fontconfig_name("fixed"), "monospace:pixelsize=13");
    EXPECT_EQ(fontconfig_name("9x15bold"), "monospace:pixelsize=15:weight=bold");
    EXPECT_EQ(fontconfig_name("10x20"), "monospace:pixelsize=20");
    EXPECT_EQ(fontconfig_name("-misc-fixed-medium-r-normal--20-200-75-75-c-100-iso10646-1"),
              "monospace:pixelsize=20");
    EXPECT_EQ(fontconfig_name("-*-helvetica-bold-o-normal-*-*-120-*-*-*-*-*-*"),
              "monospace:pixelsize=13:weight=bold:slant=italic");
    EXPECT_EQ(fontconfig_name("DejaVu Sans Mono:size=11"), "DejaVu Sans Mono:size=11");
    EXPECT_EQ(fontconfig_name("monospace-10"), "monospace-10");
    EXPECT_EQ(fontconfig_name("Noto Sans"), "Noto Sans");
}

uint32_t pixel(const PixmanCanvas& canvas, int x, int y)
{
    pixman_image_t* image = canvas.image();
    return pixman_image_get_data(image)[y * pixman_image_get_stride(image) / 4 + x] & 0xffffff;
}

// The columns with ink in them, in buffer pixels.
std::pair<int, int> ink_columns(const PixmanCanvas& canvas, uint32_t background)
{
    int width = pixman_image_get_width(canvas.image());
    int height = pixman_image_get_height(canvas.image());
    int left = width, right = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (pixel(canvas, x, y) != background) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return {left, right};
}

TEST(WaylandCanvas, DrawsRectanglesTextAndEmojiAtTheScale)
{
    auto canvas = PixmanCanvas::open("DejaVu Sans Mono:pixelsize=20");
    ASSERT_TRUE(canvas);
    EXPECT_EQ(canvas->text_extent("", 0), 0);
    int32_t extent = canvas->text_extent("Wim", 3);
    EXPECT_GT(extent, canvas->text_extent("Wi", 2));
    // The cursor goes by the pen, a trailing blank included.
    EXPECT_EQ(canvas->text_advance("ab ", 3),
              canvas->text_advance("ab", 2) + canvas->text_advance(" ", 1));
    EXPECT_GT(canvas->text_advance(" ", 1), 0);

    for (double scale : {1.0, 2.0}) {
        canvas->resize(200, 30, scale);
        EXPECT_EQ(pixman_image_get_width(canvas->image()), static_cast<int>(200 * scale));
        Color black = opaque_color(0, 0, 0), white = opaque_color(255, 255, 255);
        canvas->fill_rect(0, 0, 200, 30, black);
        canvas->fill_rect(10, 5, 3, 2, opaque_color(0x12, 0x34, 0x56));
        EXPECT_EQ(pixel(*canvas, static_cast<int>(10 * scale), static_cast<int>(5 * scale)), 0x123456u);
        EXPECT_EQ(pixel(*canvas, static_cast<int>(13 * scale), static_cast<int>(5 * scale)), 0u);
        canvas->fill_rect(10, 5, 3, 2, black);
        // The ink of a text lies within its measured box.
        canvas->draw_text("Wim", 3, 20, 22, Rect{0, 0, 200, 30}, white);
        auto [left, right] = ink_columns(*canvas, 0);
        EXPECT_GE(left, static_cast<int>(20 * scale));
        EXPECT_NEAR(right - left + 1, canvas->text_extent("Wim", 3) * scale, scale + 1);
        // Nothing is drawn beyond the clip.
        canvas->fill_rect(0, 0, 200, 30, black);
        canvas->draw_text("Wim", 3, 20, 22, Rect{0, 0, 25, 30}, white);
        EXPECT_LT(ink_columns(*canvas, 0).second, static_cast<int>(25 * scale));
    }
    // Emoji come from a colour font, in their own colours.
    canvas->resize(60, 30, 1);
    canvas->fill_rect(0, 0, 60, 30, opaque_color(0, 0, 0));
    canvas->draw_text("\xF0\x9F\x98\x80", 4, 5, 22, Rect{0, 0, 60, 30}, opaque_color(255, 255, 255));
    std::set<uint32_t> colours;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) {
            uint32_t p = pixel(*canvas, x, y);
            if ((p >> 16) != (p & 0xff))
                colours.insert(p);
        }
    EXPECT_GT(colours.size(), 10u);
}

struct Keys {
    KeyboardInput keyboard;
    std::vector<std::pair<KeyEvent, std::string>> seen;
    xkb_keymap* keymap = nullptr;

    explicit Keys(const char* variant)
    {
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        xkb_rule_names names = {"evdev", "pc105", "us", variant, nullptr};
        keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
        keyboard.use_keymap(text, std::strlen(text) + 1);
        std::free(text);
        xkb_context_unref(context);
        keyboard.on_key = [this](const KeyEvent& e) {
            seen.push_back({e, std::string(e.text, static_cast<size_t>(e.text_length))});
        };
    }
    ~Keys() { xkb_keymap_unref(keymap); }
    void hold(std::initializer_list<const char*> modifiers)
    {
        uint32_t mask = 0;
        for (const char* m : modifiers)
            mask |= 1u << xkb_keymap_mod_get_index(keymap, m);
        keyboard.modifiers(mask, 0, 0, 0);
    }
    void press(uint32_t evdev_code)
    {
        keyboard.key(evdev_code, 1);
        keyboard.key(evdev_code, 0);
    }
};

constexpr uint32_t key_a = 30, key_y = 21, key_e = 18, key_apostrophe = 40, key_enter = 28;

TEST(WaylandKeys, SymbolsModifiersTextAndDeadKeys)
{
    setenv("LC_ALL", "C.UTF-8", 1);
    Keys keys("intl");
    keys.press(key_a);
    keys.hold({XKB_MOD_NAME_SHIFT});
    keys.press(key_a);
    keys.hold({XKB_MOD_NAME_CTRL, XKB_MOD_NAME_SHIFT});
    keys.press(key_y);
    keys.hold({XKB_MOD_NAME_ALT});
    keys.press(key_enter);
    keys.hold({});
    // The apostrophe of the international layout is a dead acute.
    keys.press(key_apostrophe);
    keys.press(key_e);
    unsetenv("LC_ALL");
    ASSERT_EQ(keys.seen.size(), 5u);
    auto expect = [&](size_t i, KeySymbol symbol, unsigned modifiers, const std::string& text) {
        EXPECT_EQ(keys.seen[i].first.symbol, symbol) << i;
        EXPECT_EQ(keys.seen[i].first.modifiers, modifiers) << i;
        EXPECT_EQ(keys.seen[i].second, text) << i;
    };
    expect(0, XK_a, 0, "a");
    expect(1, XK_A, key_shift, "A");
    expect(2, XK_Y, key_shift | key_control, "\x19");
    expect(3, XK_Return, key_mod1, "\r");
    expect(4, XK_eacute, 0, "\xC3\xA9");
}

}  // namespace
