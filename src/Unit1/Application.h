#pragma once

/// The whole life of the process: choose the platform (offscreen without a display), read the locale and
/// the code page, build the window and its start-up, then either end (after "-e", or in a run without a
/// screen) with exit status 0 when no message was shown and 1 otherwise, or run the window until closed.
int runApplication(int argc, char** argv);

/// Names the application for the desktop (name, desktop file, window icon at every size).
void setUpApplication();
