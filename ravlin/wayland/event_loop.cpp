#include "ravlin/wayland/event_loop.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

#include "ravlin/base/menu_state.h"
#include "ravlin/control/file_completion.h"
#include "ravlin/drawing/render_bar.h"
#include "ravlin/wayland/selections.h"
#include "ravlin/wayland/wayland_client.h"

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds until the earliest deadline, -1 for none.
int timeout_until(const std::vector<Clock::time_point>& deadlines)
{
    if (deadlines.empty())
        return -1;
    auto left = *std::min_element(deadlines.begin(), deadlines.end()) - Clock::now();
    return static_cast<int>(
        std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
}

}  // namespace

void run_wayland_event_loop(WaylandClient& c, MenuState& m, const Settings& s)
{
    wl_display* display = c.display;
    Selections& selections = *c.selections;
    std::vector<pollfd> fds;
    std::vector<Clock::time_point> deadlines;
    while (!m.finished && !c.lost) {
        while (wl_display_prepare_read(display) != 0)
            if (wl_display_dispatch_pending(display) < 0) {
                c.lost = true;
                break;
            }
        if (c.lost)
            break;
        if (m.finished) {
            wl_display_cancel_read(display);
            break;
        }
        // A full socket is written again once it has room.
        bool unsent = wl_display_flush(display) < 0 && errno == EAGAIN;

        fds.clear();
        deadlines.clear();
        fds.push_back({wl_display_get_fd(display), static_cast<short>(POLLIN | (unsent ? POLLOUT : 0)), 0});
        fds.push_back({c.keyboard.repeat_fd(), POLLIN, 0});
        size_t first_paste = fds.size();
        for (const Selections::Paste& p : selections.pastes()) {
            fds.push_back({p.fd, POLLIN, 0});
            deadlines.push_back(p.deadline);
        }
        size_t pastes = selections.pastes().size();
        bool completing = m.completion.child >= 0;
        if (completing) {
            fds.push_back({m.completion.fd, POLLIN, 0});
            deadlines.push_back(m.completion.deadline);
        }

        if (poll(fds.data(), fds.size(), timeout_until(deadlines)) < 0 && errno != EINTR) {
            wl_display_cancel_read(display);
            c.lost = true;
            break;
        }
        if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
            if (wl_display_read_events(display) < 0)
                c.lost = true;
        } else {
            wl_display_cancel_read(display);
        }
        if (!c.lost && wl_display_dispatch_pending(display) < 0)
            c.lost = true;
        if (c.lost || m.finished)
            break;

        if (fds[1].revents & POLLIN)
            c.keyboard.repeat_due();
        // From the last: finishing a paste removes it from the list, and
        // pastes asked for meanwhile come after these.
        for (size_t i = pastes; i-- > 0;)
            if (fds[first_paste + i].revents && !m.finished)
                selections.read_paste(i);
        selections.expire(Clock::now());
        if (completing && m.completion.child >= 0 && !m.finished &&
            (fds.back().revents || Clock::now() >= m.completion.deadline))
            if (wait_for_completion(m, -1))
                render_bar(m, s);
    }
    if (c.lost && !m.finished) {
        m.exit_status = 1;
        m.finished = true;
    }
}
