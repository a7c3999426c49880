#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "ravlin/control/platform.h"

struct wl_data_device;
struct wl_data_device_manager;
struct wl_data_offer;
struct wl_display;
struct wl_seat;
struct zwp_primary_selection_device_manager_v1;
struct zwp_primary_selection_device_v1;
struct zwp_primary_selection_offer_v1;

// PRIMARY (the primary selection protocol) and CLIPBOARD (wl_data_device)
// as the compositor offers them to the focused client. A paste asks the
// owner to write the text into a pipe, which the event loop reads without
// blocking: at most paste_limit bytes, and an owner that has not finished
// by the deadline is given up on.
class Selections {
public:
    // As many bytes as the X11 platform reads of a selection (257 units of
    // 32 bits), so a paste inserts the same text on both.
    static constexpr size_t paste_limit = 1028;
    static constexpr std::chrono::milliseconds paste_time_limit{1000};

    Selections(wl_display* display, wl_seat* seat, wl_data_device_manager* data_manager,
               zwp_primary_selection_device_manager_v1* primary_manager);
    ~Selections();
    Selections(const Selections&) = delete;
    Selections& operator=(const Selections&) = delete;

    // Asks the selection's owner for its text; nothing happens without one.
    void request(Selection selection);

    // The pastes being read, for the event loop.
    struct Paste {
        int fd;
        std::string text;
        std::chrono::steady_clock::time_point deadline;
    };
    const std::vector<Paste>& pastes() const { return pastes_; }
    // Reads what the paste's descriptor holds, and hands the text on
    // (through on_text) once the owner is done or the limit is reached.
    void read_paste(size_t index);
    // Drops the pastes whose deadline has passed, with what they sent.
    void expire(std::chrono::steady_clock::time_point now);

    std::function<void(const char* text, size_t n)> on_text;

    // The offers of the protocol objects (public for the listener tables).
    struct Offer {
        void* object = nullptr;      // wl_data_offer or zwp_primary_selection_offer_v1
        std::vector<std::string> types;
    };
    void offered(void* object);
    void offer_type(void* object, const char* mime_type);
    void selected(Selection selection, void* object);

private:
    Offer* find(void* object);
    void forget(void* object, bool primary);
    void finish(size_t index);

    wl_display* display_;
    wl_data_device* data_device_ = nullptr;
    zwp_primary_selection_device_v1* primary_device_ = nullptr;
    std::vector<Offer> offers_;      // announced, not yet current or dropped
    void* clipboard_ = nullptr;      // the current offers
    void* primary_ = nullptr;
    std::vector<Paste> pastes_;
};
