// Message boxes recorded instead of shown, for tests of windows that report errors.
#pragma once

#include "ui/message_boxes.h"

#include <QString>

#include <vector>

class QWidget;

namespace velmora::test {

// One box that would have been shown.
struct ShownError {
    QString title;
    QString text;
    QString details;
    bool centreOnScreen = false;
    bool parentVisible = false; // the parent window was still on screen
};

// Records error boxes instead of showing them; installed for its lifetime.
class RecordingBoxes : public MessageBoxes {
public:
    RecordingBoxes() { SetMessageBoxes(this); }
    ~RecordingBoxes() override { SetMessageBoxes(nullptr); }

    void showError(QWidget* parent, const QString& title, const QString& text,
                   const QString& details, bool centreOnScreen) override;
    SaveChoice askSave(QWidget*, const QString&, const QString&) override {
        return SaveChoice::Cancel;
    }

    std::vector<ShownError> errors;
};

} // namespace velmora::test
