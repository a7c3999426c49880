#pragma once

#include <cstdint>
#include <functional>

#include "ravlin/control/key_event.h"

struct wl_keyboard;
struct wl_seat;
struct wl_surface;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;
struct xkb_compose_table;
struct xkb_compose_state;

// The seat's keyboard through xkbcommon: the compositor's keymap, the
// modifiers it reports, dead keys and Compose sequences from the locale's
// table, and key repeat at the compositor's rate and delay on a timer
// descriptor that the event loop waits on.
class KeyboardInput {
public:
    KeyboardInput();
    ~KeyboardInput();
    KeyboardInput(const KeyboardInput&) = delete;
    KeyboardInput& operator=(const KeyboardInput&) = delete;

    // Follows the seat's keyboard as its capabilities come and go.
    void set_seat_keyboard(wl_seat* seat, bool has_keyboard);
    // Readable when a repeat is due; then call repeat_due.
    int repeat_fd() const { return repeat_fd_; }
    void repeat_due();
    // The surface that has the keyboard, or null.
    wl_surface* focus() const { return focus_; }

    // Each key press as the bindings take it, repeats included.
    std::function<void(const KeyEvent&)> on_key;

    // wl_keyboard events (public for the listener table).
    void keymap(uint32_t format, int fd, uint32_t size);
    void enter(wl_surface* surface);
    void leave();
    void key(uint32_t key, uint32_t state);
    void modifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group);
    void repeat_info(int32_t rate, int32_t delay);

    // Looks a key code up in the current state and delivers it; compose
    // says whether it goes through the Compose table (not for repeats).
    void press(uint32_t keycode, bool compose);
    // Installs a keymap given as text (for tests and the keymap event).
    bool use_keymap(const char* text, size_t size);

private:
    void stop_repeat();

    wl_keyboard* keyboard_ = nullptr;
    wl_surface* focus_ = nullptr;
    xkb_context* context_;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
    xkb_compose_table* compose_table_ = nullptr;
    xkb_compose_state* compose_state_ = nullptr;
    int repeat_fd_;
    int32_t rate_ = 25, delay_ = 600;  // until the compositor says otherwise
    uint32_t repeating_ = 0;           // key code repeating, 0 for none
};
