// The headless logger.
#include "logger/headless_logger.h"

#include "app/reply_interpreter.h"
#include "measure/meter_settings.h"
#include "record/recording_format.h"
#include "serial/comms_error.h"
#include "serial/device_path.h"
#include "text/convert_error.h"
#include "text/real_conversion.h"
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
    : options_(std::move(options)) {
    tick_.setInterval(50);
    connect(&tick_, &QTimer::timeout, this, [this] {
        if (!awaiting_ && !remoteWait_ && !options_.fast) {
            sendNext();
        }
    });
    replyTimeout_.setSingleShot(true);
    connect(&replyTimeout_, &QTimer::timeout, this, [this] { replyMissing(); });
    progress_.setInterval(250);
    connect(&progress_, &QTimer::timeout, this, [this] { showProgress(); });
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
    comm_.OnRequestHangup = [this](TComm*) { fail(2, "the port " + options_.port + " went away"); };
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
    steps_.push_back("syst:rem");
    if (!options_.function.empty()) {
        const FunctionCapabilities* f = CapabilitiesOf(options_.function);
        steps_.push_back(f->configure);
        FunctionSettings settings;
        settings.nplc = options_.nplc;
        for (std::string& command : SettingCommands(options_.function, settings)) {
            steps_.push_back(std::move(command));
        }
        steps_.push_back("SYST:ERR?");
    }
    steps_.push_back("Func?");
    tick_.start();
    if (isatty(STDERR_FILENO)) {
        progress_.start();
    }
    QTimer::singleShot(0, this, [this] { sendNext(); });
    return std::nullopt;
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
    if (stopping_ || finished_ || awaiting_ || remoteWait_) {
        return;
    }
    if (!steps_.empty()) {
        const std::string command = steps_.front();
        steps_.pop_front();
        send(command);
        if (command == "syst:rem") {
            remoteWait_ = true;
            QTimer::singleShot(kRemotePauseMilliseconds, this, [this] {
                remoteWait_ = false;
                sendNext();
            });
        } else if (!command.ends_with('?')) {
            QTimer::singleShot(options_.fast ? 0 : 50, this, [this] { sendNext(); });
        }
        return;
    }
    if (!reading_.isValid()) {
        reading_.start(); // the duration counts from the first reading asked for
    }
    if ((options_.count && readings_ >= *options_.count) ||
        (options_.duration &&
         static_cast<double>(reading_.elapsed()) / 1000.0 >= *options_.duration)) {
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
    size_t start = 0;
    while (start <= reply.size()) {
        const size_t comma = reply.find(',', start);
        const size_t end = comma == std::string::npos ? reply.size() : comma;
        const std::string part = TrimBlanks(reply.substr(start, end - start));
        try {
            const long double value = ParseReal(part, '.');
            if (!writeRow(value, {})) {
                return;
            }
            ++readings_;
            lastValue_ = part;
        } catch (const EConvertError&) {
            Say("not a reading: \"" + part + "\"");
        }
        start = end + 1;
    }
}

bool HeadlessLogger::writeRow(std::optional<long double> value, const std::string& event) {
    if (!toStandardOutput_) {
        const bool written = value ? writer_.AddReading(*value, unit_) : writer_.AddEvent(event);
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
    const std::string line = FormatRecordingRow(row);
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
    // Back to local mode, every byte handed over before the port closes.
    const std::string local = "syst:loc\r\n";
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
    if (onFinished) {
        onFinished(status_);
    }
}

void HeadlessLogger::showProgress() {
    const double seconds = static_cast<double>(started_.elapsed()) / 1000.0;
    std::fprintf(stderr, "\r\033[K%llu readings  %.1f/s  last %s %s",
                 static_cast<unsigned long long>(readings_),
                 seconds > 0 ? static_cast<double>(readings_) / seconds : 0.0, lastValue_.c_str(),
                 unit_.c_str());
    std::fflush(stderr);
}

} // namespace velmora
