// A drop-down box style with a narrower arrow.
#include "app/narrow_arrow_style.h"

#include <QApplication>
#include <QStyleFactory>
#include <QStyleOptionComplex>

namespace velmora {

namespace {

// The box's frame on each side, as the usual styles draw it.
constexpr int kFrame = 2;

} // namespace

NarrowArrowStyle::NarrowArrowStyle(int arrowWidth)
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name()))
    , arrowWidth_(arrowWidth) {}

QRect NarrowArrowStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                       SubControl part, const QWidget* widget) const {
    if (control == CC_ComboBox && option) {
        const QRect box = option->rect.adjusted(kFrame, kFrame, -kFrame, -kFrame);
        QRect rect;
        if (part == SC_ComboBoxArrow) {
            rect = QRect(box.right() - arrowWidth_ + 1, box.top(), arrowWidth_, box.height());
        } else if (part == SC_ComboBoxEditField) {
            rect = QRect(box.left(), box.top(), box.width() - arrowWidth_, box.height());
        }
        if (rect.isValid()) {
            return visualRect(option->direction, option->rect, rect);
        }
    }
    return QProxyStyle::subControlRect(control, option, part, widget);
}

} // namespace velmora
