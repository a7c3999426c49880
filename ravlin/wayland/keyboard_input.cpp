#include "ravlin/wayland/keyboard_input.h"

#include <sys/mman.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

namespace {

KeyboardInput& self(void* data)
{
    return *static_cast<KeyboardInput*>(data);
}

const wl_keyboard_listener keyboard_listener = {
    [](void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
        self(data).keymap(format, fd, size);
    },
    [](void* data, wl_keyboard*, uint32_t, wl_surface* surface, wl_array*) {
        self(data).enter(surface);
    },
    [](void* data, wl_keyboard*, uint32_t, wl_surface*) { self(data).leave(); },
    [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
        self(data).key(key, state);
    },
    [](void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
       uint32_t group) { self(data).modifiers(depressed, latched, locked, group); },
    [](void* data, wl_keyboard*, int32_t rate, int32_t delay) {
        self(data).repeat_info(rate, delay);
    },
};

// The locale's Compose table, named as the C library resolves LC_CTYPE.
const char* compose_locale()
{
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(name); value && *value)
            return value;
    return "C";
}

}  // namespace

KeyboardInput::KeyboardInput()
    : context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)),
      repeat_fd_(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK))
{
    if (context_)
        compose_table_ = xkb_compose_table_new_from_locale(context_, compose_locale(),
                                                           XKB_COMPOSE_COMPILE_NO_FLAGS);
    if (compose_table_)
        compose_state_ = xkb_compose_state_new(compose_table_, XKB_COMPOSE_STATE_NO_FLAGS);
}

KeyboardInput::~KeyboardInput()
{
    if (keyboard_)
        wl_keyboard_release(keyboard_);
    xkb_compose_state_unref(compose_state_);
    xkb_compose_table_unref(compose_table_);
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
    if (repeat_fd_ >= 0)
        close(repeat_fd_);
}

void KeyboardInput::set_seat_keyboard(wl_seat* seat, bool has_keyboard)
{
    if (has_keyboard && !keyboard_) {
        keyboard_ = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(keyboard_, &keyboard_listener, this);
    } else if (!has_keyboard && keyboard_) {
        wl_keyboard_release(keyboard_);
        keyboard_ = nullptr;
        leave();
    }
}

bool KeyboardInput::use_keymap(const char* text, size_t size)
{
    if (!context_)
        return false;
    xkb_keymap* keymap = xkb_keymap_new_from_buffer(context_, text, strnlen(text, size),
                                                    XKB_KEYMAP_FORMAT_TEXT_V1,
                                                    XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap)
        return false;
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    keymap_ = keymap;
    state_ = xkb_state_new(keymap);
    return true;
}

void KeyboardInput::keymap(uint32_t format, int fd, uint32_t size)
{
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
        void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            use_keymap(static_cast<const char*>(map), size);
            munmap(map, size);
        }
    }
    close(fd);
}

void KeyboardInput::enter(wl_surface* surface)
{
    focus_ = surface;
}

void KeyboardInput::leave()
{
    focus_ = nullptr;
    stop_repeat();
}

void KeyboardInput::modifiers(uint32_t depressed, uint32_t latched, uint32_t locked,
                              uint32_t group)
{
    if (state_)
        xkb_state_update_mask(state_, depressed, latched, locked, 0, 0, group);
}

void KeyboardInput::repeat_info(int32_t rate, int32_t delay)
{
    rate_ = rate;
    delay_ = delay;
}

void KeyboardInput::key(uint32_t key, uint32_t state)
{
    // Evdev codes are X key codes less 8.
    uint32_t keycode = key + 8;
    if (state != WL_KEYBOARD_KEY_STATE_PRESSED) {
        if (keycode == repeating_)
            stop_repeat();
        return;
    }
    if (!state_)
        return;
    press(keycode, true);
    if (rate_ > 0 && xkb_keymap_key_repeats(keymap_, keycode)) {
        repeating_ = keycode;
        long interval = 1000000000L / rate_;
        itimerspec timer = {{interval / 1000000000L, interval % 1000000000L},
                            {delay_ / 1000, (delay_ % 1000) * 1000000L}};
        if (delay_ <= 0)
            timer.it_value = timer.it_interval;
        timerfd_settime(repeat_fd_, 0, &timer, nullptr);
    } else if (keycode != repeating_) {
        stop_repeat();
    }
}

void KeyboardInput::stop_repeat()
{
    repeating_ = 0;
    itimerspec off = {};
    timerfd_settime(repeat_fd_, 0, &off, nullptr);
}

void KeyboardInput::repeat_due()
{
    uint64_t expirations = 0;
    if (read(repeat_fd_, &expirations, sizeof expirations) != sizeof expirations)
        return;
    // A loop held up for long does not replay every repeat it missed.
    for (uint64_t i = 0; i < expirations && i < 8 && repeating_; ++i)
        press(repeating_, false);
}

void KeyboardInput::press(uint32_t keycode, bool compose)
{
    xkb_keysym_t symbol = xkb_state_key_get_one_sym(state_, keycode);
    char text[64];
    int length = 0;
    bool composed = false;
    if (compose && compose_state_ && xkb_compose_state_feed(compose_state_, symbol) ==
                                         XKB_COMPOSE_FEED_ACCEPTED) {
        switch (xkb_compose_state_get_status(compose_state_)) {
        case XKB_COMPOSE_COMPOSING:
            return;
        case XKB_COMPOSE_CANCELLED:
            xkb_compose_state_reset(compose_state_);
            return;
        case XKB_COMPOSE_COMPOSED:
            symbol = xkb_compose_state_get_one_sym(compose_state_);
            length = xkb_compose_state_get_utf8(compose_state_, text, sizeof text);
            xkb_compose_state_reset(compose_state_);
            composed = true;
            break;
        case XKB_COMPOSE_NOTHING:
            break;
        }
    }
    if (!composed)
        length = xkb_state_key_get_utf8(state_, keycode, text, sizeof text);
    if (length < 0 || length >= static_cast<int>(sizeof text))
        length = 0;
    unsigned modifiers = 0;
    if (xkb_state_mod_name_is_active(state_, XKB_MOD_NAME_SHIFT, XKB_STATE_MODS_EFFECTIVE) > 0)
        modifiers |= key_shift;
    if (xkb_state_mod_name_is_active(state_, XKB_MOD_NAME_CTRL, XKB_STATE_MODS_EFFECTIVE) > 0)
        modifiers |= key_control;
    if (xkb_state_mod_name_is_active(state_, XKB_MOD_NAME_ALT, XKB_STATE_MODS_EFFECTIVE) > 0)
        modifiers |= key_mod1;
    if (on_key)
        on_key(KeyEvent{symbol, modifiers, text, length});
}
