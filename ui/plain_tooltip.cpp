#include "ui/plain_tooltip.h"

namespace velmora {

QString PlainToolTip(const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return QStringLiteral("<qt>") + escaped + QStringLiteral("</qt>");
}

} // namespace velmora
