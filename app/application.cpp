// The application object and its general error report.
#include "app/application.h"

#include "ui/exception_report.h"

#include <QFileInfo>

#include <stdexcept>

namespace velmora {

QString ApplicationTitle(const QString& executablePath) {
    QString name = QFileInfo(executablePath).fileName();
    name = name.left(name.indexOf(QLatin1Char('.')));
    if (name.isEmpty()) {
        return name;
    }
    return name.left(1).toUpper() + name.mid(1).toLower();
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv) {
    // The report box's title.
    setApplicationName(ApplicationTitle(applicationFilePath()));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowException(std::runtime_error("Unknown error"));
    }
    return false;
}

void TApplication::ShowException(const std::exception& error) {
    ReportException(error);
}

} // namespace velmora
