#pragma once

#include <cstdint>
#include <functional>

namespace quadrantel::platform {

// A hidden window that only receives posted messages: they are delivered one at a time, in
// posting order, from the event loop. Handles are never reused, so a message posted to a
// window that has gone is simply dropped.
class MessageWindow {
public:
    using Handle = std::uintptr_t; // 0 = no window
    using Procedure =
        std::function<std::intptr_t(Handle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)>;
    using Filter = std::function<bool(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)>;

    static Handle Create();
    // Pending messages are discarded; false when the window does not exist.
    static bool Destroy(Handle window);
    static bool Exists(Handle window);
    // False (and nothing queued) when the window does not exist.
    static bool Post(Handle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
    // Installs a new procedure and returns the one it replaces, so that the new one can pass
    // messages on (subclassing). A window starts with a procedure that answers 0.
    static Procedure SetProcedure(Handle window, Procedure procedure);
    // Removes the queued messages the filter selects; returns how many.
    static int RemovePosted(Handle window, const Filter& filter);
    static int CountPosted(Handle window, const Filter& filter);
};

} // namespace quadrantel::platform
