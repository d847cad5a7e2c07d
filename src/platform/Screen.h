#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmar {

/// Where the X display a DISPLAY text names listens: "[host]:number[.screen]". An empty host or "unix" is
/// the local socket of that number; any other host is reached over TCP, port 6000 + number.
struct XDisplayAddress {
    std::string host; ///< empty for the local socket
    int number = 0;
};
/// The address of a DISPLAY text, or nothing for a text of another form.
std::optional<XDisplayAddress> parseXDisplay(std::string_view display);

/// How long a display is given to take a connection.
inline constexpr int kDisplayTimeoutMs = 2000;

/// Whether an X server takes connections at the display a DISPLAY text names: its local socket
/// (<socketDir>/X<number>, or the abstract socket of that name) or its TCP port, each tried for at most
/// `timeoutMs`. Only a connection is made; nothing is sent.
bool xDisplayReachable(
    std::string_view display, const std::string& socketDir = "/tmp/.X11-unix", int timeoutMs = kDisplayTimeoutMs);

/// Whether a Wayland compositor takes connections at the socket WAYLAND_DISPLAY names: an absolute path, or
/// a name in the runtime directory (XDG_RUNTIME_DIR).
bool waylandDisplayReachable(std::string_view name, std::string_view runtimeDir, int timeoutMs = kDisplayTimeoutMs);

} // namespace velmar
