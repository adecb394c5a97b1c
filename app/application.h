// TApplication: the program's QApplication with the general error report.
#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <string>
#include <string_view>

namespace velmora {

// The title of the program's boxes: the executable's file name up to its
// first ".", first letter upper case, the rest lower case
// ("/opt/bin/velmora" -> "Velmora", "METER.v2.bin" -> "Meter").
QString ApplicationTitle(const QString& executablePath);

// Catches every exception that leaves an event handler and shows it in the
// general error report (a modal box with the error icon, one OK button, the
// application title and the message with its full stop); the program then
// goes on with the next event.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the report for one error; also the hook for guarded handlers.
    static void ShowException(const std::exception& error);
};

} // namespace velmora
