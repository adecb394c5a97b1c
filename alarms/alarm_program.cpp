// Running an alarm's program.
#include "alarms/alarm_program.h"

#include <QProcess>

namespace velmora {

bool StartAlarmProgram(const QString& program, const QStringList& arguments, QString* whyNot) {
    if (program.isEmpty()) {
        if (whyNot) {
            *whyNot = QStringLiteral("no program named");
        }
        return false;
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        if (whyNot) {
            *whyNot = process.errorString();
        }
        return false;
    }
    return true;
}

} // namespace velmora
