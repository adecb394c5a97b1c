// The seam through which handlers hand an exception to the general error report.
#pragma once

#include <QString>

#include <exception>
#include <functional>

namespace velmora {

// Shows (or records) an exception that ended an event handler.
using ExceptionReporter = std::function<void(const std::exception&)>;

// Installs the reporter; an empty one restores the default, which shows the error
// box with the application's name as title and ErrorReportText as text.
void SetExceptionReporter(ExceptionReporter reporter);

// Hands `error` to the installed reporter. Never throws: a failing reporter is
// ignored, since there is nobody left to report to.
void ReportException(const std::exception& error) noexcept;

// The text the error report shows: the message, with a "." appended when the
// message is not empty and its last character's code is above that of ".":
//   "Unable to write to /x/a.ini" -> "Unable to write to /x/a.ini."
//   "Done." -> "Done."   "Stop!" -> "Stop!"   "(x)" -> "(x)"   "Why?" -> "Why?."   "" -> ""
QString ErrorReportText(const std::exception& error);

// Runs `handler` and reports whatever it throws. Qt's widget code is not
// exception-safe, so every slot and event handler body goes through this.
void RunReportingExceptions(const std::function<void()>& handler) noexcept;

// A slot for connect() that runs `object->*handler()` under RunReportingExceptions:
//   connect(button, &QPushButton::clicked, this, ReportingSlot(this, &TForm1::Button1Click));
template <typename Object>
auto ReportingSlot(Object* object, void (Object::*handler)()) {
    return
        [object, handler] { RunReportingExceptions([object, handler] { (object->*handler)(); }); };
}

} // namespace velmora
