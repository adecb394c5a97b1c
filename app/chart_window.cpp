// The chart window.
#include "app/chart_window.h"

namespace velmora {

TForm2::TForm2(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Chart"));
}

} // namespace velmora
