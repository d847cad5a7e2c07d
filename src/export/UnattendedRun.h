#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace velmar {

/// Takes the number format of the locale and the code page of the texts from the environment, as every run
/// does first. A code page that VELMAR_CODEPAGE names and the program does not know is told on `errors`
/// (Windows-1251 is used then).
void setUpFromEnvironment(std::FILE* errors);

/// How the process finds its environment variables; the tests give their own.
using EnvironmentLookup = std::function<const char*(const char*)>;

/// True when there is no screen to show the window on: neither DISPLAY nor WAYLAND_DISPLAY is set and no
/// window platform was chosen with QT_QPA_PLATFORM, or the offscreen platform was chosen. Such a run, from
/// cron or a script, never needs the window.
bool runsWithoutScreen(const EnvironmentLookup& environment);

/// A run without a screen: start-up in the current directory, as the window's, done by the core alone, so
/// that it costs no more than the reading of the log and the exports. Every message is an "Error: <text>"
/// line on `errors` (UTF-8), nobody is waited for, and the run ends after start-up, with or without "-e";
/// a copy of a locked log this run made is removed. `params` are the parameters after the program name.
/// Returns the exit status: 0 when no message was shown, 1 otherwise.
int runUnattended(const std::vector<std::string>& params, std::FILE* errors);

} // namespace velmar
