// TForm1's reply handler: each delivery from the meter becomes display texts and log lines.
#include "app/main_window.h"

#include "app/alarm_control.h"
#include "app/recording_control.h"

#include "app/reading_log_box.h"
#include "chart/chart_window.h"
#include "lcd/lcd_matrix.h"
#include "text/integer_conversion.h"
#include "text/time_of_day.h"
#include "ui/exception_report.h"

#include <QLabel>
#include <QPlainTextEdit>

#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

void TForm1::Comm1ReceiveData(TComm* /*Sender*/, const char* Buffer, uint16_t /*BufferLength*/) {
    if (routedQuery_) {
        // The answer to a query of the meter's settings, not a reading.
        takeRoutedReply(Buffer);
        replyHandled();
        return;
    }
    // Only with bursts on can a reply hold several readings; the usual
    // reply is not copied or searched for them.
    if (meterSettings_.samples > 1 && std::strchr(Buffer, ',') && !std::strchr(Buffer, '"')) {
        takeBurst(Buffer);
    } else {
        takeReply(Buffer, CurrentTimeOfDay(), std::nullopt);
    }
    showLineCount();
    replyHandled();
}

void TForm1::replyHandled() {
    canSend_ = 1;
    keyenable();
    queryClock_.invalidate();
    if (silenceNoted_) {
        silenceNoted_ = false;
        showNote({});
    }
    sendNextAtOnce();
}

void TForm1::takeReply(const char* Buffer, double receivedAt, std::optional<double> spreadBack) {
    const std::string unitBefore = replies_.unitLabel();
    // The delivery ends in a zero byte; the reply is the text up to the first one.
    const ReplyOutcome outcome = replies_.interpret(Buffer, receivedAt, [this] {
        const int64_t lines = Memo2->lineCount();
        return static_cast<int32_t>(std::min<int64_t>(lines, std::numeric_limits<int32_t>::max()));
    });
    if (outcome.upperText) {
        iLCDMatrix1->SetText(*outcome.upperText);
        iLCDMatrix2->SetText(*outcome.lowerText);
    }
    if (outcome.logLine) {
        Memo2->appendLine(*outcome.logLine);
        unsavedReadings_ = true;
    }
    if (Form2) {
        // Every reading, whatever the log interval thins out. A failure of
        // the chart is reported and must not stop the polling cycle below.
        RunReportingExceptions([&] {
            if (outcome.reading) {
                Form2->addReading(*outcome.reading, replies_.unitLabel(), receivedAt);
            } else if (outcome.unitNamed) {
                Form2->unitNamed();
            }
        });
    }
    // The recording takes every reading too; one taken while the meter has
    // not yet named its new function has no unit.
    if (outcome.reading) {
        const std::string unit = measurePending_ ? std::string() : unitBefore;
        if (spreadBack) {
            recording_->burstReading(*outcome.reading, unit, *spreadBack);
        } else {
            recording_->reading(*outcome.reading, unit);
        }
        // The reply to a measure query is of a function not yet named: the
        // alarms do not judge it by the old one.
        alarms_->reading(measurePending_ ? std::string() : replies_.functionName(),
                         *outcome.reading, unitBefore);
    } else if (outcome.unitNamed) {
        measurePending_ = false;
        functionNamed(replies_.functionName());
        if (replies_.unitLabel() != unitBefore) {
            recording_->event("function " + replies_.unitLabel());
        }
    }
    if (outcome.rejectedReply) {
        Memo1->appendPlainText(QString::fromLatin1(
            outcome.rejectedReply->data(), static_cast<qsizetype>(outcome.rejectedReply->size())));
    }
}

void TForm1::takeBurst(const std::string& reply) {
    // One "Read?" answered by several readings: each takes its place in the
    // log, chart, recording and alarms; their times are spread back from
    // the arrival by the interval measured between bursts.
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= reply.size()) {
        const size_t comma = reply.find(',', start);
        const size_t end = comma == std::string::npos ? reply.size() : comma;
        parts.push_back(reply.substr(start, end - start));
        start = end + 1;
    }
    const double now = CurrentTimeOfDay();
    double interval = 0; // seconds between readings, unknown for the first burst
    if (burstClock_.isValid()) {
        interval = static_cast<double>(burstClock_.nsecsElapsed()) / 1e9 /
                   static_cast<double>(parts.size());
    }
    burstClock_.start();
    for (size_t i = 0; i < parts.size(); ++i) {
        const double back = interval * static_cast<double>(parts.size() - 1 - i);
        takeReply(parts[i].c_str(), now - back / 86400.0, back);
    }
}

void TForm1::showLineCount() {
    statusLineCount->setText(QStringLiteral("Lines: %1").arg(Memo2->lineCount()));
}

} // namespace velmora
