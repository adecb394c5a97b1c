// TForm1 showing the engine's readings: the displays, the log box, the chart, recording, alarms.
#include "app/main_window.h"

#include "app/alarm_control.h"
#include "app/math_control.h"
#include "app/reading_log_box.h"
#include "app/recording_control.h"
#include "chart/chart_window.h"
#include "lcd/lcd_matrix.h"
#include "ui/exception_report.h"

#include <QLabel>
#include <QPlainTextEdit>

#include <limits>

namespace velmora {

void TForm1::Comm1ReceiveData(TComm* /*Sender*/, const char* Buffer, uint16_t BufferLength) {
    engine_->receive(Buffer, BufferLength);
}

void TForm1::replyHandled() {
    showLineCount();
    keyenable();
}

void TForm1::reading(const Reading& r) {
    // With math on the displays show the derived value; the log box, Save
    // and the chart's raw series keep the reading as it came.
    const std::optional<MathResult> derived = math_->reading(r.function, r.value, r.unit);
    // Before anything here may fail: the publishing hears the reading after the window.
    readingMath_ =
        derived ? std::optional<RecordingMath>(RecordingColumns(*derived)) : std::nullopt;
    if (derived) {
        const MathDisplayTexts texts =
            MathDisplay(*derived, math_->math().mathOf(r.function)->conversion);
        iLCDMatrix1->SetText(texts.upper);
        iLCDMatrix2->SetText(texts.lower);
    } else {
        iLCDMatrix1->SetText(r.upperText);
        iLCDMatrix2->SetText(r.lowerText);
    }
    if (r.logLine) {
        Memo2->appendLine(*r.logLine);
        unsavedReadings_ = true;
    }
    if (Form2) {
        // Every reading, whatever the log interval thins out. A failure of
        // the chart is reported and must not stop the polling cycle.
        RunReportingExceptions([&] {
            Form2->addReading(r.value, r.unit, r.receivedAt);
            // The derived value is a series of its own, named by its unit.
            if (derived && derived->status != MathResult::Status::OutOfRange) {
                const long double value = derived->status == MathResult::Status::Overload
                                              ? r.value
                                              : static_cast<long double>(derived->value);
                Form2->addDerived(value, derived->unit + " (math)", r.receivedAt);
            }
        });
    }
    // The recording takes every reading too; one taken while the meter has
    // not yet named its new function has no unit.
    const std::string unit = r.functionPending ? std::string() : r.unit;
    const RecordingMath* math = readingMath_ ? &*readingMath_ : nullptr;
    if (r.spreadBack) {
        recording_->burstReading(r.value, unit, *r.spreadBack, math, r.arrivedAt);
    } else {
        recording_->reading(r.value, unit, math, r.arrivedAt);
    }
    // The reply to a measure query is of a function not yet named: the
    // alarms do not judge it by the old one.
    alarms_->reading(r.function, r.value, r.unit, DerivedNumber(derived));
}

void TForm1::notAReading(const std::string& reply) {
    Memo1->appendPlainText(QString::fromLatin1(reply.data(), static_cast<qsizetype>(reply.size())));
}

void TForm1::functionNotNamed(const std::string& reply, bool rejected) {
    if (rejected) {
        notAReading(reply); // the reject box has every reply that is no number
    }
}

void TForm1::replyDropped(size_t bytes) {
    showNote(QStringLiteral("A reply of %1 bytes without a line end was dropped").arg(bytes));
}

void TForm1::showLineCount() {
    statusLineCount->setText(QStringLiteral("Lines: %1").arg(Memo2->lineCount()));
}

} // namespace velmora
