// A picture control that reports clicks: the logo and the help picture.
#pragma once

#include <QLabel>

#include <functional>

namespace velmora {

// Draws its picture unscaled at the top-left corner over the window's face
// colour (blending through the picture's alpha channel) and calls `onClick`
// when the left button is released over it.
class ClickablePicture : public QLabel {
public:
    explicit ClickablePicture(QWidget* parent = nullptr);

    std::function<void()> onClick;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

} // namespace velmora
