// A screenshot of the real main window while it polls the meter emulator for resistance readings.
#pragma once

#include <QImage>
#include <QRect>

#include <chrono>

namespace velmora {

// Where the parts that the help picture explains lie, in window pixels.
struct MainWindowParts {
    QRect display;         // the black panel with both dot-matrix displays
    QRect connect;         // the "Connect" check box
    QRect comSet;          // the "COM SET" button
    QRect functionButtons; // the tab control holding the function buttons
    QRect interval;        // "INTERVAL" label and its box
    QRect log;             // the reading log box
    QRect save;            // the "Save" button
    QRect statusPanel;     // the status bar's port-and-rate panel
};

struct MainWindowShot {
    QImage image; // the window, `scale` device pixels per window pixel
    int scale = 1;
    QSize windowSize;
    MainWindowParts parts;
};

struct ShotOptions {
    int loggedReadings = 8; // log lines to wait for before the picture is taken
    int scale = 2;
    std::chrono::milliseconds timeout{20000};
};

// Builds the main window offscreen, opens it on a meter emulator in
// resistance mode (through a settings file in a temporary folder), ticks
// Connect and renders the window once the readings are on the displays and
// in the log. `logo` replaces the stored logo, so a new logo shows at once.
// Throws std::runtime_error when the window does not get there in time.
MainWindowShot CaptureMainWindow(const QImage& logo, const ShotOptions& options = {});

} // namespace velmora
