#include "ravlin/wayland/text_input.h"

#include <wayland-client.h>

#include "text-input-unstable-v3-client-protocol.h"

namespace {

TextInput& self(void* data)
{
    return *static_cast<TextInput*>(data);
}

const zwp_text_input_v3_listener listener = {
    [](void* data, zwp_text_input_v3*, wl_surface*) { self(data).entered(true); },
    [](void* data, zwp_text_input_v3*, wl_surface*) { self(data).entered(false); },
    [](void*, zwp_text_input_v3*, const char*, int32_t, int32_t) {},
    [](void* data, zwp_text_input_v3*, const char* text) { self(data).commit_string(text); },
    [](void*, zwp_text_input_v3*, uint32_t, uint32_t) {},
    [](void* data, zwp_text_input_v3*, uint32_t) { self(data).done(); },
};

}  // namespace

TextInput::TextInput(zwp_text_input_manager_v3* manager, wl_seat* seat)
    : input_(zwp_text_input_manager_v3_get_text_input(manager, seat))
{
    zwp_text_input_v3_add_listener(input_, &listener, this);
}

TextInput::~TextInput()
{
    zwp_text_input_v3_destroy(input_);
}

void TextInput::entered(bool in)
{
    if (in) {
        zwp_text_input_v3_enable(input_);
        zwp_text_input_v3_set_content_type(input_, ZWP_TEXT_INPUT_V3_CONTENT_HINT_NONE,
                                           ZWP_TEXT_INPUT_V3_CONTENT_PURPOSE_NORMAL);
    } else {
        zwp_text_input_v3_disable(input_);
    }
    zwp_text_input_v3_commit(input_);
}

void TextInput::commit_string(const char* text)
{
    pending_ = text ? text : "";
}

void TextInput::done()
{
    std::string text = std::move(pending_);
    pending_.clear();
    if (!text.empty() && on_commit)
        on_commit(text);
}
