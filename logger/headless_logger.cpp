// The headless logger.
#include "logger/headless_logger.h"

#include "acquisition/reply_interpreter.h"
#include "measure/meter_settings.h"
#include "record/recording_format.h"
#include "serial/comms_error.h"
#include "serial/device_events.h"
#include "serial/device_path.h"
#include "text/convert_error.h"
#include "text/real_conversion.h"
#include "text/time_of_day.h"
#include "text/trim.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>
#include <unistd.h>

namespace velmora {

namespace {

constexpr int kRemotePauseMilliseconds = 1000; // the meter's time to enter remote mode
constexpr int kStopWaitMilliseconds = 2000;    // for an answer outstanding at a stop

void Say(const std::string& text) {
    std::fprintf(stderr, "velmora-log: %s\n", text.c_str());
}

} // namespace

HeadlessLogger::HeadlessLogger(LoggerOptions options)
    : options_(std::move(options))
    , watcher_(OpenUdevSerialEvents())
    , alarms_(options_.alarms) {
    tick_.setInterval(50);
    connect(&tick_, &QTimer::timeout, this, [this] {
        if (lost_ && durationOver()) {
            requestStop(); // the time is up while the port is away
        } else if (!awaiting_ && !remoteWait_ && !lost_ && !options_.fast) {
            sendNext();
        }
    });
    // A timer of its own, so a port lost during the pause cannot end the next one early.
    remotePause_.setSingleShot(true);
    connect(&remotePause_, &QTimer::timeout, this, [this] {
        remoteWait_ = false;
        sendNext();
    });
    replyTimeout_.setSingleShot(true);
    connect(&replyTimeout_, &QTimer::timeout, this, [this] { replyMissing(); });
    progress_.setInterval(250);
    connect(&progress_, &QTimer::timeout, this, [this] { showProgress(); });
    watcher_.onPresent = [this] { portSeenAgain(); };
    alarms_.onEvent = [this](const std::string& event) { writeRow(std::nullopt, event); };
    alarms_.onMessage = [this](const std::string& message) {
        if (progress_.isActive()) {
            std::fputs("\r\033[K", stderr); // the progress line gives way, then comes back
        }
        Say(message);
    };
}

HeadlessLogger::~HeadlessLogger() {
    comm_.ClosePort();
    writer_.Stop();
}

std::optional<int> HeadlessLogger::start() {
    comm_.SetCommName(options_.port);
    comm_.SetDeviceFolder(options_.deviceFolder);
    comm_.SetBaudRate(options_.baud);
    comm_.SetReadIntervalTimeout(26);
    comm_.SetEndReadAtLineFeed(options_.fast);
    comm_.OnReceiveData = [this](TComm*, const char* buffer, uint16_t) { received(buffer); };
    comm_.OnRequestHangup = [this](TComm*) { portLost(); };
    try {
        comm_.OpenPort();
    } catch (const ECommsError& error) {
        std::string why = error.what();
        if (error.systemError() != 0) {
            why += std::string(" (") + std::strerror(error.systemError()) + ")";
        }
        Say("cannot open " + options_.port + " (" +
            DevicePathForPort(options_.port, options_.deviceFolder) + "): " + why);
        return 2;
    }
    toStandardOutput_ = options_.output.empty() || options_.output == "-";
    started_.start();
    if (toStandardOutput_) {
        std::printf("%.*s\n", static_cast<int>(kRecordingHeader.size()), kRecordingHeader.data());
        if (!writeRow(std::nullopt, "recording started")) {
            return 4;
        }
    } else {
        try {
            writer_.Start(options_.output);
        } catch (const std::system_error& error) {
            Say("cannot write " + options_.output + ": " + error.code().message());
            comm_.ClosePort();
            return 4;
        }
    }
    queueStartSteps();
    tick_.start();
    if (isatty(STDERR_FILENO)) {
        progress_.start();
    }
    alarms_.start();
    QTimer::singleShot(0, this, [this] { sendNext(); });
    return std::nullopt;
}

void HeadlessLogger::queueStartSteps() {
    steps_.clear();
    steps_.push_back("syst:rem");
    bool settingsSent = false;
    if (!options_.function.empty()) {
        const FunctionCapabilities* f = CapabilitiesOf(options_.function);
        steps_.push_back(f->configure);
        FunctionSettings settings = options_.functionSettings;
        if (options_.nplc) {
            settings.nplc = options_.nplc;
        }
        for (std::string& command : SettingCommands(options_.function, settings)) {
            steps_.push_back(std::move(command));
        }
        settingsSent = true;
    }
    // After the function: configuring it puts the sample count back to 1.
    if (options_.samples > 1) {
        steps_.push_back(SampleCountCommand(options_.samples));
        settingsSent = true;
    }
    if (!options_.displayOn) {
        steps_.push_back("DISP OFF");
        settingsSent = true;
    }
    if (settingsSent) {
        steps_.push_back("SYST:ERR?"); // a setting the meter refused is said at once
    }
    steps_.push_back("Func?");
}

void HeadlessLogger::send(const std::string& command) {
    const std::string line = command + "\r\n";
    (void)comm_.SendData(line.data(), static_cast<uint16_t>(line.size()));
    if (command.ends_with('?')) {
        awaiting_ = command;
        lastQuery_.start();
        // Ten seconds, and the longest integration the meter could be set to.
        replyTimeout_.start(10000 + static_cast<int>(options_.nplc.value_or(10) * 40));
    }
}

void HeadlessLogger::sendNext() {
    if (stopping_ || finished_ || awaiting_ || remoteWait_ || lost_) {
        return;
    }
    if (!steps_.empty()) {
        const std::string command = steps_.front();
        steps_.pop_front();
        send(command);
        if (command == "syst:rem") {
            remoteWait_ = true;
            remotePause_.start(kRemotePauseMilliseconds);
        } else if (!command.ends_with('?')) {
            QTimer::singleShot(options_.fast ? 0 : 50, this, [this] { sendNext(); });
        }
        return;
    }
    if (!reading_.isValid()) {
        reading_.start(); // the duration counts from the first reading asked for
    }
    if ((options_.count && readings_ >= *options_.count) || durationOver()) {
        requestStop();
        return;
    }
    if (options_.interval > 0 && lastQuery_.isValid() &&
        static_cast<double>(lastQuery_.elapsed()) / 1000.0 < options_.interval) {
        if (options_.fast) {
            const auto wait = static_cast<int>(options_.interval * 1000 -
                                               static_cast<double>(lastQuery_.elapsed()));
            QTimer::singleShot(std::max(wait, 0), this, [this] { sendNext(); });
        }
        return; // the standard mode looks again at the next tick
    }
    send("Read?");
}

bool HeadlessLogger::durationOver() const {
    return options_.duration && reading_.isValid() &&
           static_cast<double>(reading_.elapsed()) / 1000.0 >= *options_.duration;
}

void HeadlessLogger::received(const char* buffer) {
    if (!awaiting_ || finished_) {
        return; // nothing asked: a stray line
    }
    const std::string query = *awaiting_;
    awaiting_.reset();
    replyTimeout_.stop();
    const std::string reply = TrimBlanks(buffer);
    if (query == "Func?") {
        if (auto unit = UnitLabelForFunctionReply(reply)) {
            unit_ = *unit;
            function_ = reply.substr(1, reply.size() - 2); // the name inside its quotes
            if (!writeRow(std::nullopt, "function " + unit_)) {
                return;
            }
        } else {
            Say("the meter named no function it has: \"" + reply + "\"");
        }
    } else if (query == "SYST:ERR?") {
        const std::optional<MeterError> error = ParseErrorReply(reply);
        if (error && error->code != 0) {
            Say("meter error " + std::to_string(error->code) + ": " + error->text);
        }
    } else {
        takeReadings(reply);
    }
    if (finished_) {
        return;
    }
    if (stopping_) {
        stopNow();
        return;
    }
    if (options_.fast || !steps_.empty()) {
        sendNext();
    }
}

void HeadlessLogger::takeReadings(const std::string& reply) {
    std::vector<std::string> parts;
    for (size_t start = 0; start <= reply.size();) {
        const size_t comma = reply.find(',', start);
        const size_t end = comma == std::string::npos ? reply.size() : comma;
        parts.push_back(TrimBlanks(reply.substr(start, end - start)));
        start = end + 1;
    }
    // A burst's readings were taken one after another before it arrived:
    // their times are spread back by the interval measured between bursts
    // (unknown for the first, which then shares its arrival time).
    const bool burst = parts.size() > 1;
    double interval = 0;
    if (burst && burstClock_.isValid()) {
        interval = static_cast<double>(burstClock_.nsecsElapsed()) / 1e9 /
                   static_cast<double>(parts.size());
    }
    if (burst) {
        burstClock_.start();
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        long double value = 0;
        try {
            value = ParseReal(parts[i], '.');
        } catch (const EConvertError&) {
            Say("not a reading: \"" + parts[i] + "\"");
            continue;
        }
        const std::optional<double> spreadBack =
            burst ? std::optional<double>(interval * static_cast<double>(parts.size() - 1 - i))
                  : std::nullopt;
        if (!writeRow(value, {}, spreadBack)) {
            return;
        }
        ++readings_;
        lastValue_ = FormatRecordingValue(value); // as the file has it
        alarms_.reading(function_, value, unit_);
        if (finished_) {
            return; // an alarm's row could not be written
        }
    }
}

bool HeadlessLogger::writeRow(std::optional<long double> value, const std::string& event,
                              std::optional<double> spreadBack) {
    if (finished_) {
        return false;
    }
    if (!toStandardOutput_) {
        const bool written = !value       ? writer_.AddEvent(event)
                             : spreadBack ? writer_.AddBurstReading(*value, unit_, *spreadBack)
                                          : writer_.AddReading(*value, unit_);
        if (!written) {
            const std::optional<std::string> why = writer_.TakeFailure();
            fail(4, "cannot write " + options_.output + ": " + why.value_or("not recording"));
            return false;
        }
        return true;
    }
    RecordingRow row;
    row.sequence = ++sequence_;
    clock_gettime(CLOCK_REALTIME, &row.wallClock);
    row.seconds = static_cast<double>(started_.nsecsElapsed()) / 1e9;
    row.value = value;
    row.unit = value ? unit_ : std::string();
    row.event = event;
    row.spreadBack = spreadBack;
    ApplySpreadBack(row);
    const std::string line = FormatRecordingRow(row);
    if (progress_.isActive() && isatty(STDOUT_FILENO)) {
        // The same terminal: the row takes the progress line's place.
        std::fputs("\r\033[K", stderr);
    }
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() ||
        std::fflush(stdout) != 0) {
        fail(4, "cannot write to standard output");
        return false;
    }
    return true;
}

void HeadlessLogger::replyMissing() {
    if (stopping_) {
        stopNow(); // the outstanding answer did not come: stop all the same
        return;
    }
    fail(3, "the meter does not answer on " + options_.port + " (no reply to " +
                awaiting_.value_or("?") + ")");
}

void HeadlessLogger::portLost() {
    if (lost_ || finished_) {
        return; // the receive and the transmit thread may both ask
    }
    // Released so the device can come back; the same path is watched and
    // the cycle starts again from the beginning once it is there.
    comm_.ClosePort();
    lost_ = true;
    awaiting_.reset();
    replyTimeout_.stop();
    remotePause_.stop();
    remoteWait_ = false;
    burstClock_.invalidate();
    if (!writeRow(std::nullopt, "port lost")) {
        return;
    }
    if (stopping_) {
        stopNow();
        return;
    }
    Say("port " + options_.port + " lost at " + FormatTimeOfDay(CurrentTimeOfDay()) +
        "; waiting for it to return");
    watcher_.Watch(DevicePathForPort(options_.port, options_.deviceFolder));
}

void HeadlessLogger::portSeenAgain() {
    try {
        comm_.OpenPort();
    } catch (const ECommsError& error) {
        if (watcher_.RetryAfterOpenError(error.systemError())) {
            return; // looked at again at the next poll or event
        }
        watcher_.Stop();
        fail(2, "port " + options_.port + " is back but cannot be opened: " + error.what());
        return;
    }
    watcher_.Stop();
    lost_ = false;
    if (!writeRow(std::nullopt, "reconnected")) {
        return;
    }
    Say("reconnected at " + FormatTimeOfDay(CurrentTimeOfDay()));
    // The meter may have been switched off and on: remote mode and its settings again.
    queueStartSteps();
    sendNext();
}

void HeadlessLogger::requestStop() {
    if (stopping_ || finished_) {
        return;
    }
    stopping_ = true;
    if (awaiting_) {
        replyTimeout_.start(kStopWaitMilliseconds);
        return;
    }
    stopNow();
}

void HeadlessLogger::stopNow() {
    if (finished_) {
        return;
    }
    if (lost_) {
        watcher_.Stop();
        if (toStandardOutput_) {
            writeRow(std::nullopt, "recording stopped");
        }
        fail(status_, {}); // no meter to send back to local mode
        return;
    }
    // Back to local mode, every byte handed over before the port closes.
    // The display comes back on for whoever walks up to the meter next.
    const std::string local = options_.displayOn ? "syst:loc\r\n" : "DISP ON\r\nsyst:loc\r\n";
    (void)comm_.SendData(local.data(), static_cast<uint16_t>(local.size()));
    QElapsedTimer drain;
    drain.start();
    while (!comm_.SendQueueEmpty() && drain.elapsed() < 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // Handed to the kernel is not yet on the line: closing flushes what the
    // far end has not taken, so give the bytes their time on the wire.
    const qint64 onTheWire = 100 + static_cast<qint64>(local.size()) * 10 * 1000 / options_.baud;
    drain.restart();
    while (drain.elapsed() < onTheWire) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (toStandardOutput_) {
        writeRow(std::nullopt, "recording stopped");
    }
    fail(status_, {});
}

void HeadlessLogger::fail(int status, const std::string& message) {
    if (finished_) {
        return;
    }
    finished_ = true;
    status_ = status;
    tick_.stop();
    replyTimeout_.stop();
    remotePause_.stop();
    if (progress_.isActive()) {
        progress_.stop();
        showProgress();
        std::fputc('\n', stderr);
    }
    if (!message.empty()) {
        Say(message);
    }
    comm_.ClosePort();
    writer_.Stop();
    // The last sync failing means the last second may not be on the disk.
    if (const std::optional<std::string> why = writer_.TakeFailure(); why && status_ == 0) {
        status_ = 4;
        Say("cannot write " + options_.output + ": " + *why);
    }
    if (onFinished) {
        onFinished(status_);
    }
}

void HeadlessLogger::showProgress() {
    // The rate of reading, not counting the meter's second in remote mode.
    const double seconds =
        reading_.isValid() ? static_cast<double>(reading_.elapsed()) / 1000.0 : 0.0;
    const std::string raised = alarms_.raisedNames();
    std::fprintf(stderr, "\r\033[K%llu readings  %.1f/s  last %s %s%s%s%s",
                 static_cast<unsigned long long>(readings_),
                 seconds > 0 ? static_cast<double>(readings_) / seconds : 0.0, lastValue_.c_str(),
                 unit_.c_str(), lost_ ? "  PORT LOST" : "", raised.empty() ? "" : "  ALARM ",
                 raised.c_str());
    std::fflush(stderr);
}

} // namespace velmora
