// Watches an X server from outside the programs under measurement: reports
// when a top-level window of a given name is mapped, and clicks at a screen
// position through the XTEST extension, as a user's mouse would.
//
// Works on a server without a window manager, where top-level windows are
// children of the root and their MapNotify reaches a root listener.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <string>
#include <string_view>

class XServerProbe
{
public:
    using Clock = std::chrono::steady_clock;
    struct Mapped {
        xcb_window_t window = XCB_NONE; // XCB_NONE: none came in time
        Clock::time_point when;         // when its MapNotify arrived here
    };

    explicit XServerProbe(const std::string& display);
    ~XServerProbe();
    XServerProbe(const XServerProbe&) = delete;
    XServerProbe& operator=(const XServerProbe&) = delete;

    bool IsConnected() const { return m_conn && !xcb_connection_has_error(m_conn); }
    // Drops the events that came so far.
    void Discard();
    // The next top-level window named `name` to be mapped.
    Mapped WaitMapped(std::string_view name, int timeoutMs);
    // A point of `window`'s client area in root coordinates.
    void ToRoot(xcb_window_t window, int& x, int& y);
    // Moves the pointer to the root position and presses and releases the
    // left button; returns once the server has the request.
    void Click(int x, int y);

private:
    std::string nameOf(xcb_window_t window);

    xcb_connection_t* m_conn = nullptr;
    xcb_window_t m_root = XCB_NONE;
};
