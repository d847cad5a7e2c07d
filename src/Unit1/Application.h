#pragma once

/// The life of a process with a screen: read the locale and the code page, build the window and its
/// start-up, then either end after "-e" with exit status 0 when no message was shown and 1 otherwise, or
/// run the window until it is closed. (A run without a screen never comes here: see runUnattended.)
int runApplication(int argc, char** argv);

/// Names the application for the desktop (name, desktop file, window icon at every size).
void setUpApplication();
