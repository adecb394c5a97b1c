// The seam through which handlers hand an exception to the general error report.
#include "ui/exception_report.h"

#include "ui/message_boxes.h"

#include <QCoreApplication>

#include <stdexcept>
#include <string>
#include <utility>

namespace velmora {

namespace {

void ShowInErrorBox(const std::exception& error) {
    CurrentMessageBoxes().showError(nullptr, QCoreApplication::applicationName(),
                                    ErrorReportText(error), QString(), false);
}

ExceptionReporter& InstalledReporter() {
    static ExceptionReporter reporter = ShowInErrorBox;
    return reporter;
}

} // namespace

void SetExceptionReporter(ExceptionReporter reporter) {
    InstalledReporter() = reporter ? std::move(reporter) : ExceptionReporter(ShowInErrorBox);
}

void ReportException(const std::exception& error) noexcept {
    try {
        InstalledReporter()(error);
    } catch (...) {
    }
}

QString ErrorReportText(const std::exception& error) {
    std::string text = error.what();
    // The code is compared as an unsigned byte: any character beyond ASCII counts
    // as above ".".
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
        text += '.';
    }
    return QString::fromStdString(text);
}

void RunReportingExceptions(const std::function<void()>& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& error) {
        ReportException(error);
    } catch (...) {
        ReportException(std::runtime_error("Unknown error"));
    }
}

} // namespace velmora
