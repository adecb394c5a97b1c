// Modal message boxes behind one seam, so tests can answer them without a screen.
#pragma once

#include <QString>

class QWidget;

namespace velmora {

// The program's modal boxes. The real implementation shows QMessageBox and
// waits; tests install their own to record what would have been shown.
class MessageBoxes {
public:
    enum class SaveChoice { Save, Discard, Cancel };

    virtual ~MessageBoxes() = default;

    // Error icon, one "OK" button; returns when it is pressed. `details` is
    // optional secondary text (the system's reason). With `centreOnScreen`
    // the box stands in the middle of the screen, else over `parent`.
    virtual void showError(QWidget* parent, const QString& title, const QString& text,
                           const QString& details, bool centreOnScreen) = 0;

    // Save / Discard / Cancel question with a warning icon.
    virtual SaveChoice askSave(QWidget* parent, const QString& title, const QString& text) = 0;
};

// The boxes in use: the real ones unless a test installed others.
MessageBoxes& CurrentMessageBoxes();
// Installs `boxes` (not owned); nullptr restores the real boxes.
void SetMessageBoxes(MessageBoxes* boxes);

} // namespace velmora
