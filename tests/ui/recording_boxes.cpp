// Message boxes recorded instead of shown.
#include "tests/ui/recording_boxes.h"

#include <QWidget>

namespace velmora::test {

void RecordingBoxes::showError(QWidget* parent, const QString& title, const QString& text,
                               const QString& details, bool centreOnScreen) {
    errors.push_back({title, text, details, centreOnScreen, parent && parent->isVisible()});
}

} // namespace velmora::test
