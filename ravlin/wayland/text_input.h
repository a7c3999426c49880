#pragma once

#include <functional>
#include <string>

struct wl_seat;
struct wl_surface;
struct zwp_text_input_manager_v3;
struct zwp_text_input_v3;

// Text from an input method, through the compositor's text input protocol
// (version 3). The text it commits is typed into the menu; its preedit is
// not shown, and the menu offers no surrounding text.
class TextInput {
public:
    TextInput(zwp_text_input_manager_v3* manager, wl_seat* seat);
    ~TextInput();
    TextInput(const TextInput&) = delete;
    TextInput& operator=(const TextInput&) = delete;

    std::function<void(const std::string&)> on_commit;

    // Events (public for the listener table).
    void entered(bool in);
    void commit_string(const char* text);
    void done();

private:
    zwp_text_input_v3* input_;
    std::string pending_;
};
