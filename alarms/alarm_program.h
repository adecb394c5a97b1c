// The program an alarm runs: started directly, never through a shell.
#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// Starts `program` (a path, or a name looked up in PATH) detached, with each
// of `arguments` as one argument exactly as given: no shell sees any of it,
// so no text from the meter or the settings file can become a command. The
// program's output goes where the window's goes. False, with the reason,
// when it cannot be started.
bool StartAlarmProgram(const QString& program, const QStringList& arguments,
                       QString* whyNot = nullptr);

} // namespace velmora
