#include "XServerProbe.h"

#include <xcb/xtest.h>

#include <cstdlib>
#include <memory>

#include <poll.h>

namespace
{
template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> reply(T* p)
{
    return Reply<T>(p, &std::free);
}
} // namespace

XServerProbe::XServerProbe(const std::string& display)
{
    m_conn = xcb_connect(display.c_str(), nullptr);
    if (!IsConnected())
        return;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_conn, m_root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_conn);
}

XServerProbe::~XServerProbe()
{
    if (m_conn)
        xcb_disconnect(m_conn);
}

void XServerProbe::Discard()
{
    while (auto event = reply(xcb_poll_for_event(m_conn))) {
    }
}

XServerProbe::Mapped XServerProbe::WaitMapped(std::string_view name, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (IsConnected()) {
        auto event = reply(xcb_poll_for_event(m_conn));
        if (!event) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{xcb_get_file_descriptor(m_conn), POLLIN, 0};
            ::poll(&p, 1, int(left.count()));
            continue;
        }
        const auto when = Clock::now();
        if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY)
            continue;
        const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event.get());
        if (!map->override_redirect && nameOf(map->window) == name)
            return {map->window, when};
    }
    return {};
}

std::string XServerProbe::nameOf(xcb_window_t window)
{
    auto r = reply(xcb_get_property_reply(
        m_conn,
        xcb_get_property(m_conn, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
        nullptr));
    if (!r)
        return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(r.get())),
                       std::size_t(xcb_get_property_value_length(r.get())));
}

void XServerProbe::ToRoot(xcb_window_t window, int& x, int& y)
{
    auto r = reply(xcb_translate_coordinates_reply(
        m_conn, xcb_translate_coordinates(m_conn, window, m_root, int16_t(x), int16_t(y)),
        nullptr));
    if (r) {
        x = r->dst_x;
        y = r->dst_y;
    }
}

void XServerProbe::Click(int x, int y)
{
    xcb_test_fake_input(m_conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, int16_t(x),
                        int16_t(y), 0);
    xcb_test_fake_input(m_conn, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(m_conn, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr)); // round trip
}
