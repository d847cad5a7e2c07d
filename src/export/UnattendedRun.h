#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

/// Takes the number format of the locale and the code page of the texts from the environment, as every run
/// does first. A code page that VELMAR_CODEPAGE names and the program does not know is told on `errors`
/// (Windows-1251 is used then).
void setUpFromEnvironment(std::FILE* errors);

/// How the process finds its environment variables; the tests give their own.
using EnvironmentLookup = std::function<const char*(const char*)>;

/// How a display that the environment names is checked; the tests give their own.
struct DisplayChecks {
    std::function<bool(std::string_view display)> x; ///< DISPLAY's X server takes connections
    /// WAYLAND_DISPLAY's compositor takes connections (the runtime directory: XDG_RUNTIME_DIR)
    std::function<bool(std::string_view name, std::string_view runtimeDir)> wayland;
};
/// The checks of this system: a connection to the display's socket (platform/Screen).
DisplayChecks systemDisplayChecks();

/// Where a run shows itself.
enum class Screen {
    Window, ///< a display takes connections, or a window platform was chosen: the window program
    None, ///< no display is named, or the offscreen platform was chosen: a run from cron or a script
    /// DISPLAY or WAYLAND_DISPLAY names a display that nobody answers at (a stale DISPLAY in a crontab):
    /// the toolkit would give up at once, so the run goes on without the window
    Unreachable,
};
/// The screen of a run: no platform chosen with QT_QPA_PLATFORM, the displays that DISPLAY and
/// WAYLAND_DISPLAY name; or the platform chosen, offscreen meaning none.
Screen screenOfRun(const EnvironmentLookup& environment, const DisplayChecks& checks);
/// What a run of Screen::Unreachable tells on standard error: which display could not be reached.
std::string unreachableScreenNotice(const EnvironmentLookup& environment);

/// A run without a screen: start-up in the current directory, as the window's, done by the core alone, so
/// that it costs no more than the reading of the log and the exports. Every message is an "Error: <text>"
/// line on `errors` (UTF-8), nobody is waited for, and the run ends after start-up, with or without "-e";
/// a copy of a locked log this run made is removed. `params` are the parameters after the program name.
/// Returns the exit status: 0 when no message was shown, 1 otherwise.
int runUnattended(const std::vector<std::string>& params, std::FILE* errors);

} // namespace velmar
