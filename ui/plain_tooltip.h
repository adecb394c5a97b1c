// Tooltips that show a text as it is: Qt reads a tooltip as markup whenever it
// looks like some, so a file name or an alarm name with "<b>" would turn bold.
#pragma once

#include <QString>

namespace velmora {

// `text` escaped, its line breaks kept; empty stays empty (no tooltip).
QString PlainToolTip(const QString& text);

} // namespace velmora
