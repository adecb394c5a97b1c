// A drop-down box style with a narrower arrow, for boxes whose designed width is tight.
#pragma once

#include <QProxyStyle>

namespace velmora {

// The window's own style with the combo box's arrow cut to `arrowWidth`
// pixels, so that a 41-pixel box still shows three digits in full. Nothing
// else changes: frame, colours and the popup come from the window's style.
class NarrowArrowStyle : public QProxyStyle {
public:
    explicit NarrowArrowStyle(int arrowWidth);

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override;

private:
    int arrowWidth_;
};

} // namespace velmora
