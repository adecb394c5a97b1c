// The headless logger.
#include "logger/headless_logger.h"

#include "control/recording_name.h"
#include "record/recording_format.h"
#include "serial/comms_error.h"
#include "serial/device_events.h"
#include "serial/device_path.h"
#include "text/control_escape.h"
#include "text/time_of_day.h"
#include "transports/resource_name.h"
#include "transports/transport_error.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>
#include <unistd.h>

namespace velmora {

namespace {

constexpr int kStopWaitMilliseconds = 2000; // for an answer outstanding at a stop

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

} // namespace

HeadlessLogger::HeadlessLogger(LoggerOptions options)
    : options_(std::move(options))
    , watcher_(OpenUdevSerialEvents())
    , line_(comm_, watcher_)
    , engine_(line_)
    , alarms_(options_.alarms) {
    engine_.addListener(this);
    control_ = std::make_unique<EngineControl>(engine_);
    server_ = std::make_unique<ControlServer>(*control_);
    engine_.mayRead = [this] { return mayRead(); };
    tick_.setInterval(50);
    connect(&tick_, &QTimer::timeout, this, [this] {
        if (lost_ && durationOver()) {
            requestStop(); // the time is up while the port is away
        } else if (!finished_) {
            engine_.tick();
        }
    });
    stopWait_.setSingleShot(true);
    connect(&stopWait_, &QTimer::timeout, this, [this] { stopNow(); });
    progress_.setInterval(250);
    connect(&progress_, &QTimer::timeout, this, [this] { showProgress(); });
    alarms_.onEvent = [this](const std::string& event) {
        writeRow(std::nullopt, event);
        if (publishing_) {
            publishing_->event(event);
            publishing_->alarmsChanged();
        }
    };
    alarms_.onMessage = [this](const std::string& message) { say(message); };
}

HeadlessLogger::~HeadlessLogger() {
    publishing_.reset();
    engine_.removeListener(this);
    server_.reset();
    control_.reset();
    line_.close();
    clientRecording_.Stop();
    writer_.Stop();
}

void HeadlessLogger::say(const std::string& text) {
    if (progress_.isActive()) {
        std::fputs("\r\033[K", stderr); // the progress line gives way, then comes back
    }
    // Whatever the meter, a file or the system said is shown, never acted
    // on by the terminal.
    std::fprintf(stderr, "velmora-log: %s\n", EscapeControls(text).c_str());
}

std::optional<int> HeadlessLogger::start() {
    const Resource resource = ParseResource(options_.port);
    if (!resource.problem.empty()) {
        say("cannot open " + options_.port + ": " + resource.problem);
        return 2;
    }
    comm_.SetCommName(resource.kind == ResourceKind::Serial ? resource.serialPort : options_.port);
    comm_.SetDeviceFolder(options_.deviceFolder);
    comm_.SetBaudRate(options_.baud);
    comm_.SetReadIntervalTimeout(26);
    comm_.OnReceiveData = [this](TComm*, const char* buffer, uint16_t length) {
        engine_.receive(buffer, length);
    };
    comm_.OnRequestHangup = [this](TComm*) { engine_.lineLost(); };

    MeterSettings settings;
    settings.samples = options_.samples;
    settings.displayOn = options_.displayOn;
    settings.fast = options_.fast;
    if (!options_.function.empty()) {
        FunctionSettings chosen = options_.functionSettings;
        if (options_.nplc) {
            chosen.nplc = options_.nplc;
        }
        if (!chosen.isDefault()) {
            settings.functions[options_.function] = chosen;
        }
    }
    engine_.setMeterSettings(settings);
    if (options_.replyTimeout) {
        engine_.setReplyTimeout(static_cast<int>(std::ceil(*options_.replyTimeout * 1000)));
    }
    line_.use(resource);
    line_.onReceive = [this](const char* bytes, size_t length) { engine_.receive(bytes, length); };
    line_.onLost = [this] { engine_.lineLost(); };
    for (const std::string& folder : ProfileCatalog::StandardFolders()) {
        profiles_.addFolder(folder);
    }
    for (const std::string& problem : profiles_.problems()) {
        say("profile skipped: " + problem);
    }
    const MeterProfile* chosen = profiles_.named(options_.profile);
    if (!options_.profile.empty() && !chosen) {
        std::string known;
        for (const MeterProfile* p : profiles_.all()) {
            known += (known.empty() ? "\"" : ", \"") + p->model + "\"";
        }
        say("unknown profile " + options_.profile + " (known: " + known + ")");
        return 1; // as any other word the command line cannot take
    }
    engine_.setProfileCatalog(&profiles_);
    PrepareEngineFor(resource, engine_, chosen);
    try {
        line_.open();
        if (line_.adapter()) {
            say("GPIB adapter: " + line_.adapter()->version());
        }
    } catch (const TransportError& error) {
        say("cannot open " + options_.port + ": " + error.what());
        return 2;
    } catch (const ECommsError& error) {
        std::string why = error.what();
        if (error.systemError() != 0) {
            why += std::string(" (") + std::strerror(error.systemError()) + ")";
        }
        say("cannot open " + options_.port + " (" +
            DevicePathForPort(options_.port, options_.deviceFolder) + "): " + why);
        return 2;
    }
    std::map<std::string, MathSettings> math = options_.math;
    if (options_.commandLineMath) {
        math[options_.function] = *options_.commandLineMath;
    }
    mathOn_ = std::any_of(math.begin(), math.end(), [](const auto& m) { return m.second.any(); });
    math_.setSettings(std::move(math));
    toStandardOutput_ = options_.output.empty() || options_.output == "-";
    started_.start();
    if (toStandardOutput_) {
        const std::string_view header = mathOn_ ? kRecordingMathHeader : kRecordingHeader;
        std::printf("%.*s\n", static_cast<int>(header.size()), header.data());
        if (!writeRow(std::nullopt, "recording started")) {
            return 4;
        }
    } else {
        try {
            writer_.Start(options_.output, mathOn_);
        } catch (const std::system_error& error) {
            say("cannot write " + options_.output + ": " + error.code().message());
            line_.close();
            return 4;
        }
    }
    // Which meter the rows are from, as the desktop program writes it.
    if (!writeRow(std::nullopt,
                  "meter " + (options_.meterName.empty() ? options_.port : options_.meterName))) {
        line_.close();
        return 4;
    }
    if (!serveControl()) {
        line_.close();
        writer_.Stop();
        return 5;
    }
    if (const std::optional<int> status = startPublishing()) {
        server_->close();
        line_.close();
        writer_.Stop();
        return status;
    }
    engine_.connect(options_.function);
    tick_.start();
    if (isatty(STDERR_FILENO)) {
        progress_.start();
    }
    alarms_.start();
    QTimer::singleShot(0, this, [this] {
        if (!finished_) {
            engine_.tick();
        }
    });
    return std::nullopt;
}

bool HeadlessLogger::serveControl() {
    if (!options_.control && !options_.controlTcpPort) {
        return true;
    }
    control_->setMeterLinesAllowed(options_.allowMeterCommands);
    control_->readingIntervalMs = [this] { return static_cast<int>(options_.interval * 1000); };
    control_->onStartRecording = [this](const std::string& name) {
        return startClientRecording(name);
    };
    control_->onStopRecording = [this] { clientRecording_.Stop(); };
    control_->isRecording = [this] { return clientRecording_.Recording(); };
    control_->recordingFile = [this] {
        const std::string& path = clientRecording_.Path();
        return path.substr(path.find_last_of('/') + 1);
    };
    control_->alarmsRaised = [this] { return alarms_.raised(); };
    control_->lastDerived = [this] { return DerivedNumber(math_.last()); };
    ControlListen how;
    how.name = options_.meterName.empty() ? options_.port : options_.meterName;
    how.unixSocket = options_.control;
    how.tcpPort = options_.controlTcpPort;
    how.tcpAddress = options_.controlAddress;
    if (const std::optional<std::string> problem = server_->listen(how)) {
        say("cannot serve the control interface: " + *problem);
        return false;
    }
    if (!server_->socketPath().empty()) {
        say("control socket: " + server_->socketPath());
    }
    if (options_.controlTcpPort) {
        say("control on " + options_.controlAddress + " port " +
            std::to_string(server_->tcpPort()) + "; clients send AUTH with the token in " +
            server_->tokenPath());
        if (server_->exposed()) {
            say("warning: other hosts can reach the control port on " + options_.controlAddress);
        }
    }
    return true;
}

std::optional<int> HeadlessLogger::startPublishing() {
    if (!options_.publish.any()) {
        return std::nullopt;
    }
    std::string why;
    const std::optional<PublishSetup> setup = ResolvePublishing(options_.publish, &why);
    if (!setup) {
        say(why);
        return 1;
    }
    const std::string meter = options_.meterName.empty() ? options_.port : options_.meterName;
    publishing_ = std::make_unique<EnginePublishing>(engine_, meter);
    publishing_->onNotice = [this](const std::string& text) { say(text); };
    publishing_->mathOfReading = [this] { return lastMath_; };
    publishing_->alarmsRaised = [this] { return alarms_.raised(); };
    publishing_->freshForMs = [this] {
        // As the control interface judges a reading fresh.
        return engine_.replyTimeoutMs() + static_cast<int>(options_.interval * 1000) +
               EngineControl::kFreshMarginMs;
    };
    if (!publishing_->start(*setup, &why, options_.spoolFolder)) {
        say("cannot publish: " + why);
        publishing_.reset();
        return 6;
    }
    if (!publishing_->spoolFolder().empty()) {
        say("spool: " + publishing_->spoolFolder());
    }
    if (publishing_->metricsPort() != 0) {
        say("metrics on port " + std::to_string(publishing_->metricsPort()));
    }
    return std::nullopt;
}

std::optional<ControlError> HeadlessLogger::startClientRecording(const std::string& name) {
    std::string folder = options_.recordFolder;
    if (folder.empty()) {
        const size_t slash = options_.output.find_last_of('/');
        folder = toStandardOutput_ || slash == std::string::npos ? "."
                                                                 : options_.output.substr(0, slash);
    }
    std::string file = name;
    if (file.empty()) {
        char stamp[32];
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H%M%S", &local);
        file = std::string("velmora-") + stamp;
    }
    const std::string path = folder + "/" + RecordingFileName(file);
    try {
        clientRecording_.Start(path, mathOn_);
    } catch (const std::system_error& error) {
        return ControlError{-250, "cannot write " + RecordingFileName(file) + ": " +
                                      error.code().message()};
    }
    say("recording for a client into " + path);
    clientRecording_.AddEvent("meter " +
                              (options_.meterName.empty() ? options_.port : options_.meterName));
    return std::nullopt;
}

void HeadlessLogger::writeClientRow(std::optional<long double> value, const std::string& event,
                                    std::optional<double> spreadBack, const RecordingMath* math,
                                    std::optional<timespec> arrivedAt) {
    if (!clientRecording_.Recording()) {
        return;
    }
    const bool written =
        !value       ? clientRecording_.AddEvent(event)
        : spreadBack ? clientRecording_.AddBurstReading(*value, unit_, *spreadBack, math, arrivedAt)
                     : clientRecording_.AddReading(*value, unit_, math, arrivedAt);
    if (!written) {
        // The client's file failing ends that file only; the run goes on.
        const std::optional<std::string> why = clientRecording_.TakeFailure();
        say("the client's recording " + clientRecording_.Path() +
            " stopped: " + why.value_or("not recording"));
        clientRecording_.Stop();
    }
}

bool HeadlessLogger::mayRead() {
    if (!reading_.isValid()) {
        reading_.start(); // the duration counts from the first reading asked for
    }
    if ((options_.count && readings_ >= *options_.count) || durationOver()) {
        requestStop();
        return false;
    }
    if (options_.interval > 0 && lastRead_.isValid() &&
        static_cast<double>(lastRead_.elapsed()) / 1000.0 < options_.interval) {
        return false; // looked at again at the next tick
    }
    lastRead_.start();
    return true;
}

bool HeadlessLogger::durationOver() const {
    return options_.duration && reading_.isValid() &&
           static_cast<double>(reading_.elapsed()) / 1000.0 >= *options_.duration;
}

void HeadlessLogger::reading(const Reading& r) {
    const std::optional<MathResult> derived = math_.take(r.function, r.value, r.unit);
    std::optional<RecordingMath> columns;
    lastMath_.reset();
    if (derived) {
        columns = RecordingColumns(*derived);
        lastMath_ = columns;
        if (!toStandardOutput_ && !writer_.MathColumns() && !noMathColumnsSaid_) {
            noMathColumnsSaid_ = true;
            say(options_.output + " has no math columns (it was begun without math): "
                                  "derived values are not written to it");
        }
    }
    if (finished_ ||
        !writeRow(r.value, {}, r.spreadBack, columns ? &*columns : nullptr, r.arrivedAt)) {
        return;
    }
    ++readings_;
    lastValue_ = FormatRecordingValue(r.value); // as the file has it
    alarms_.reading(r.function, r.value, r.unit, DerivedNumber(derived));
}

void HeadlessLogger::functionNamed(const std::string& /*function*/, const std::string& unit,
                                   bool /*unitChanged*/) {
    unit_ = unit;
    writeRow(std::nullopt, "function " + unit_);
}

void HeadlessLogger::functionNotNamed(const std::string& reply, bool /*rejected*/) {
    say("the meter named no function it has: " + Quoted(reply));
}

void HeadlessLogger::notAReading(const std::string& reply) {
    say("not a reading: " + Quoted(reply));
}

void HeadlessLogger::replyDropped(size_t bytes) {
    say("a reply of " + std::to_string(bytes) + " bytes without a line end was dropped");
}

void HeadlessLogger::meterErrors(const std::vector<MeterError>& errors) {
    for (const MeterError& error : errors) {
        const std::string text = "meter error " + std::to_string(error.code) + ": " + error.text;
        say(text);
        if (!writeRow(std::nullopt, text)) {
            return;
        }
    }
}

void HeadlessLogger::errorQueueAnswered(const std::string& reply) {
    say("the meter's error queue answered " + Quoted(reply));
}

void HeadlessLogger::inForce(const std::string& function, const InForce& inForce, bool complete) {
    if (complete) {
        writeRow(std::nullopt, InForceSummary(function, inForce));
    }
}

void HeadlessLogger::inForceUnreadable(const std::string& query, const std::string& reply) {
    say(query + " was answered " + Quoted(reply));
}

void HeadlessLogger::replyHandled() {
    if (stopping_ && !finished_) {
        stopNow();
    }
}

void HeadlessLogger::replyTimedOut(const std::string& query) {
    if (stopping_) {
        return; // the stop's own wait decides
    }
    // The engine gets the meter in step again; the gap is in the recording.
    say("no reply to " + query + " in time; getting the meter in step again");
    writeRow(std::nullopt, "no reply to " + query);
}

void HeadlessLogger::lateReplyDropped(const std::string& reply) {
    say("a late reply was dropped: " + Quoted(reply));
}

void HeadlessLogger::meterSilent(const std::string& query) {
    if (stopping_) {
        return;
    }
    fail(3, "the meter does not answer on " + options_.port + " (no reply to " + query + ")");
}

bool HeadlessLogger::writeRow(std::optional<long double> value, const std::string& event,
                              std::optional<double> spreadBack, const RecordingMath* math,
                              std::optional<timespec> arrivedAt) {
    if (finished_) {
        return false;
    }
    writeClientRow(value, event, spreadBack, math, arrivedAt);
    if (!toStandardOutput_) {
        const bool written =
            !value       ? writer_.AddEvent(event)
            : spreadBack ? writer_.AddBurstReading(*value, unit_, *spreadBack, math, arrivedAt)
                         : writer_.AddReading(*value, unit_, math, arrivedAt);
        if (!written) {
            const std::optional<std::string> why = writer_.TakeFailure();
            fail(4, "cannot write " + options_.output + ": " + why.value_or("not recording"));
            return false;
        }
        return true;
    }
    RecordingRow row;
    row.sequence = ++sequence_;
    if (arrivedAt) {
        row.wallClock = *arrivedAt;
    } else {
        clock_gettime(CLOCK_REALTIME, &row.wallClock);
    }
    row.seconds = static_cast<double>(started_.nsecsElapsed()) / 1e9;
    row.value = value;
    row.unit = value ? unit_ : std::string();
    row.event = event;
    row.spreadBack = spreadBack;
    row.mathColumns = mathOn_;
    if (math) {
        row.math = *math;
    }
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

void HeadlessLogger::portLost() {
    lost_ = true;
    if (!writeRow(std::nullopt, "port lost")) {
        return;
    }
    if (stopping_) {
        stopNow();
        return;
    }
    say("port " + options_.port + " lost at " + FormatTimeOfDay(CurrentTimeOfDay()) +
        "; waiting for it to return");
}

void HeadlessLogger::reconnected() {
    // The engine starts again from remote mode and the settings: the meter
    // may have been switched off and on.
    lost_ = false;
    if (!writeRow(std::nullopt, "reconnected")) {
        return;
    }
    say("reconnected at " + FormatTimeOfDay(CurrentTimeOfDay()));
}

void HeadlessLogger::reopenFailed(const std::exception& error) {
    fail(2, "port " + options_.port + " is back but cannot be opened: " + error.what());
}

void HeadlessLogger::identified(const std::string& identity) {
    writeRow(std::nullopt, "identified " + identity + " (" + engine_.profile().model + ")");
}

void HeadlessLogger::requestStop() {
    if (stopping_ || finished_) {
        return;
    }
    stopping_ = true;
    engine_.halt();
    if (engine_.canSend() != 1 && !lost_) {
        stopWait_.start(kStopWaitMilliseconds);
        return;
    }
    stopNow();
}

void HeadlessLogger::stopNow() {
    if (finished_) {
        return;
    }
    stopWait_.stop();
    if (lost_) {
        engine_.stopWaiting();
        if (toStandardOutput_) {
            writeRow(std::nullopt, "recording stopped");
        }
        fail(status_, {}); // no meter to send back to local mode
        return;
    }
    // Back to local mode, every byte handed over before the port closes.
    // The display comes back on for whoever walks up to the meter next.
    const MeterProfile& profile = engine_.profile();
    std::string local =
        profile.localMode.empty() ? std::string() : profile.localMode + profile.terminator;
    if (!options_.displayOn) {
        local = profile.displayOn + profile.terminator + local;
    }
    if (!local.empty()) {
        (void)line_.send(local);
    }
    QElapsedTimer drain;
    drain.start();
    while (!line_.ownsLine() && !comm_.SendQueueEmpty() && drain.elapsed() < 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // Handed to the kernel is not yet on the line: closing flushes what the
    // far end has not taken, so give the bytes their time on the wire.
    const qint64 onTheWire =
        100 +
        (line_.ownsLine() ? 0 : static_cast<qint64>(local.size()) * 10 * 1000 / options_.baud);
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
    engine_.halt();
    tick_.stop();
    stopWait_.stop();
    if (progress_.isActive()) {
        progress_.stop();
        showProgress();
        std::fputc('\n', stderr);
    }
    if (!message.empty()) {
        say(message);
    }
    engine_.stopWaiting();
    server_->close();
    if (publishing_) {
        // What the servers have not taken stays in the spool for the next run.
        publishing_->finish(2000);
    }
    line_.close();
    clientRecording_.Stop();
    writer_.Stop();
    // The last sync failing means the last second may not be on the disk.
    if (const std::optional<std::string> why = writer_.TakeFailure(); why && status_ == 0) {
        status_ = 4;
        say("cannot write " + options_.output + ": " + *why);
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
    const std::string publishing =
        publishing_ && publishing_->troubled() ? "  " + publishing_->statusLine() : std::string();
    char line[512];
    std::snprintf(line, sizeof line, "%llu readings  %.1f/s  last %s %s%s%s%s%s",
                  static_cast<unsigned long long>(readings_),
                  seconds > 0 ? static_cast<double>(readings_) / seconds : 0.0, lastValue_.c_str(),
                  unit_.c_str(), lost_ ? "  PORT LOST" : "", raised.empty() ? "" : "  ALARM ",
                  raised.c_str(), publishing.c_str());
    std::fprintf(stderr, "\r\033[K%s", EscapeControls(line).c_str());
    std::fflush(stderr);
}

} // namespace velmora
