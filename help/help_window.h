// TForm4: the help window, one annotated picture of the main window.
#pragma once

#include <QWidget>

namespace velmora {

class ClickablePicture;

// Shows the help picture at its natural size. A click anywhere on the
// picture control, or the close box, hides the window; it is created once at
// start-up and lives until the program ends, so showing it again brings back
// the same window at its last position.
class TForm4 : public QWidget {
public:
    explicit TForm4(QWidget* parent = nullptr);

    void Image1Click();

    // The picture control covering the whole client area.
    ClickablePicture* Image1 = nullptr;
};

} // namespace velmora
