#include "ravlin/wayland/selections.h"

#include <fcntl.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>

#include "primary-selection-unstable-v1-client-protocol.h"

namespace {

Selections& self(void* data)
{
    return *static_cast<Selections*>(data);
}

const wl_data_offer_listener data_offer_listener = {
    [](void* data, wl_data_offer* offer, const char* type) { self(data).offer_type(offer, type); },
    [](void*, wl_data_offer*, uint32_t) {},
    [](void*, wl_data_offer*, uint32_t) {},
};

const zwp_primary_selection_offer_v1_listener primary_offer_listener = {
    [](void* data, zwp_primary_selection_offer_v1* offer, const char* type) {
        self(data).offer_type(offer, type);
    },
};

const wl_data_device_listener data_device_listener = {
    [](void* data, wl_data_device*, wl_data_offer* offer) {
        wl_data_offer_add_listener(offer, &data_offer_listener, data);
        self(data).offered(offer);
    },
    [](void*, wl_data_device*, uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t, wl_data_offer*) {},
    [](void*, wl_data_device*) {},
    [](void*, wl_data_device*, uint32_t, wl_fixed_t, wl_fixed_t) {},
    [](void*, wl_data_device*) {},
    [](void* data, wl_data_device*, wl_data_offer* offer) {
        self(data).selected(Selection::clipboard, offer);
    },
};

const zwp_primary_selection_device_v1_listener primary_device_listener = {
    [](void* data, zwp_primary_selection_device_v1*, zwp_primary_selection_offer_v1* offer) {
        zwp_primary_selection_offer_v1_add_listener(offer, &primary_offer_listener, data);
        self(data).offered(offer);
    },
    [](void* data, zwp_primary_selection_device_v1*, zwp_primary_selection_offer_v1* offer) {
        self(data).selected(Selection::primary, offer);
    },
};

// The text types in the order we would rather have them.
constexpr const char* text_types[] = {"text/plain;charset=utf-8", "UTF8_STRING",
                                      "text/plain", "TEXT", "STRING"};

}  // namespace

Selections::Selections(wl_display* display, wl_seat* seat, wl_data_device_manager* data_manager,
                       zwp_primary_selection_device_manager_v1* primary_manager)
    : display_(display)
{
    if (data_manager && seat) {
        data_device_ = wl_data_device_manager_get_data_device(data_manager, seat);
        wl_data_device_add_listener(data_device_, &data_device_listener, this);
    }
    if (primary_manager && seat) {
        primary_device_ = zwp_primary_selection_device_manager_v1_get_device(primary_manager, seat);
        zwp_primary_selection_device_v1_add_listener(primary_device_, &primary_device_listener,
                                                     this);
    }
}

Selections::~Selections()
{
    for (Paste& p : pastes_)
        close(p.fd);
    forget(clipboard_, false);
    forget(primary_, true);
    if (data_device_)
        wl_data_device_release(data_device_);
    if (primary_device_)
        zwp_primary_selection_device_v1_destroy(primary_device_);
}

Selections::Offer* Selections::find(void* object)
{
    auto it = std::find_if(offers_.begin(), offers_.end(),
                           [object](const Offer& o) { return o.object == object; });
    return it == offers_.end() ? nullptr : &*it;
}

void Selections::offered(void* object)
{
    offers_.push_back({object, {}});
}

void Selections::offer_type(void* object, const char* mime_type)
{
    if (Offer* o = find(object))
        o->types.emplace_back(mime_type);
}

void Selections::forget(void* object, bool primary)
{
    if (!object)
        return;
    std::erase_if(offers_, [object](const Offer& o) { return o.object == object; });
    if (primary)
        zwp_primary_selection_offer_v1_destroy(static_cast<zwp_primary_selection_offer_v1*>(object));
    else
        wl_data_offer_destroy(static_cast<wl_data_offer*>(object));
}

void Selections::selected(Selection selection, void* object)
{
    void*& current = selection == Selection::primary ? primary_ : clipboard_;
    if (current != object)
        forget(current, selection == Selection::primary);
    current = object;
}

void Selections::request(Selection selection)
{
    void* current = selection == Selection::primary ? primary_ : clipboard_;
    Offer* offer = current ? find(current) : nullptr;
    if (!offer)
        return;
    const char* type = nullptr;
    for (const char* wanted : text_types)
        if (std::find(offer->types.begin(), offer->types.end(), wanted) != offer->types.end()) {
            type = wanted;
            break;
        }
    if (!type)
        return;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    if (selection == Selection::primary)
        zwp_primary_selection_offer_v1_receive(static_cast<zwp_primary_selection_offer_v1*>(current),
                                               type, fds[1]);
    else
        wl_data_offer_receive(static_cast<wl_data_offer*>(current), type, fds[1]);
    wl_display_flush(display_);
    close(fds[1]);
    pastes_.push_back({fds[0], {}, std::chrono::steady_clock::now() + paste_time_limit});
}

void Selections::read_paste(size_t index)
{
    Paste& p = pastes_[index];
    char buffer[paste_limit];
    for (;;) {
        size_t room = paste_limit - p.text.size();
        ssize_t n = read(p.fd, buffer, room);
        if (n > 0) {
            p.text.append(buffer, static_cast<size_t>(n));
            if (p.text.size() < paste_limit)
                continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        // The end, an error, or all we take.
        finish(index);
        return;
    }
}

void Selections::expire(std::chrono::steady_clock::time_point now)
{
    // An owner that never finishes gives nothing: half a text is no paste.
    for (size_t i = pastes_.size(); i-- > 0;)
        if (now >= pastes_[i].deadline) {
            close(pastes_[i].fd);
            pastes_.erase(pastes_.begin() + static_cast<std::ptrdiff_t>(i));
        }
}

void Selections::finish(size_t index)
{
    Paste p = std::move(pastes_[index]);
    pastes_.erase(pastes_.begin() + static_cast<std::ptrdiff_t>(index));
    close(p.fd);
    if (on_text)
        on_text(p.text.data(), p.text.size());
}
