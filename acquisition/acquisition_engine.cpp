// The acquisition cycle.
#include "acquisition/acquisition_engine.h"

#include "acquisition/burst_split.h"
#include "acquisition/meter_transport.h"
#include "text/time_of_day.h"
#include "text/trim.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace velmora {

namespace {

// The meter's own defaults, for what the user has left as it is.
constexpr double kDefaultNplc = 10;

} // namespace

AcquisitionEngine::AcquisitionEngine(MeterTransport& transport, const MeterProfile& profile)
    : transport_(transport)
    , profile_(profile) {}

void AcquisitionEngine::addListener(AcquisitionListener* listener) {
    listeners_.push_back(listener);
}

void AcquisitionEngine::removeListener(AcquisitionListener* listener) {
    std::erase(listeners_, listener);
}

std::optional<InForce> AcquisitionEngine::inForceOf(const std::string& function) const {
    if (function.empty() || function != inForceFunction_) {
        return std::nullopt;
    }
    return inForce_;
}

void AcquisitionEngine::setMeterSettings(const MeterSettings& settings) {
    settings_ = settings;
    transport_.setEndReadAtLineFeed(settings_.fast);
}

int AcquisitionEngine::replyTimeoutMs() const {
    if (replyTimeoutOverride_) {
        return *replyTimeoutOverride_;
    }
    // The function the meter is in or is being set to; the meter's answers
    // about what is in force come before the user's settings.
    const std::string function =
        !configuredFunction_.empty() ? configuredFunction_ : replies_.functionName();
    const FunctionSettings& chosen = settings_.of(function);
    const std::optional<InForce> said = inForceOf(function);
    double nplc = chosen.nplc.value_or(kDefaultNplc);
    if (said && said->nplc) {
        nplc = *said->nplc;
    }
    bool autozero = chosen.autozero != "OFF" && chosen.autozero != "ONCE";
    if (said && said->autozero) {
        autozero = *said->autozero;
    }
    const double perReading = nplc * profile_.powerLineCycleSeconds * (autozero ? 2 : 1);
    const double measuring = std::max(settings_.samples, 1) * perReading;
    const auto extra = profile_.functionTimeoutMs.find(function);
    return profile_.replyTimeoutBaseMs + static_cast<int>(std::ceil(measuring * 1000)) +
           (extra == profile_.functionTimeoutMs.end() ? 0 : extra->second);
}

void AcquisitionEngine::hold(int milliseconds) {
    if (pause) {
        pause(milliseconds);
        return;
    }
    heldSince_.start();
    heldFor_ = milliseconds;
}

bool AcquisitionEngine::held() const {
    return heldSince_.isValid() && heldSince_.elapsed() < heldFor_;
}

void AcquisitionEngine::startQueryClock() {
    canSend_ = 0;
    queryClock_.start();
    querySentTimeOfDay_ = CurrentTimeOfDay();
    timeoutTold_ = false;
}

void AcquisitionEngine::sendcommand(const std::string& command) {
    // A line the transport refuses (no port open) is lost, as on the meter's
    // own interface.
    (void)transport_.send(command + profile_.terminator);
    if (command.starts_with(profile_.measurePrefix)) {
        measurePending_ = true; // its reply is of a function the meter has not named yet
    }
    if (command.ends_with('?')) {
        lastQuery_ = command;
    }
    tell([&](AcquisitionListener& l) { l.commandSent(command); });
}

void AcquisitionEngine::tick() {
    if (canSend_ != 1) {
        checkSilence();
        return;
    }
    if (halted_ || held() || !running_) {
        return;
    }
    if (!connected_ && profile_.localMode.empty()) {
        // Nothing to hand the front panel back with (a LAN meter's own
        // rule): the cycle just stops.
        running_ = false;
        tell([](AcquisitionListener& l) { l.stopped(); });
        return;
    }
    // The meter's settings and their queries go first, one a tick.
    if (sendQueuedCommand()) {
        return;
    }
    if (nextCommand_ == profile_.readQuery) {
        // Another program's line goes between two readings, one at a time.
        if (!passageSinceRead_ && sendPassage()) {
            return;
        }
        if (mayRead && !mayRead()) {
            (void)sendPassage(); // the reading is held back anyway
            return;
        }
        passageSinceRead_ = false;
    }
    sendcommand(nextCommand_);
    // The command just sent decides the next one, not the reply.
    if (nextCommand_.ends_with('?')) {
        nextCommand_ = nextCommand_.starts_with(profile_.measurePrefix) ? profile_.functionQuery
                                                                        : profile_.readQuery;
        startQueryClock();
        return;
    }
    if (nextCommand_ == profile_.localMode) {
        running_ = false;
        tell([](AcquisitionListener& l) { l.stopped(); });
        return;
    }
    if (nextCommand_ == profile_.remoteMode) {
        canSend_ = 1;
        nextCommand_ = profile_.functionQuery;
        hold(profile_.remotePauseMs); // the meter's time to enter remote mode
        return;
    }
    // A setting command gets no reply: go on at the next tick.
    nextCommand_ = profile_.readQuery;
    canSend_ = 1;
}

void AcquisitionEngine::checkSilence() {
    // A meter the user has disconnected from owes no answer; a lost line
    // has its own note.
    if (!connected_ || !transport_.isOpen() || !queryClock_.isValid()) {
        return;
    }
    const qint64 waited = queryClock_.elapsed();
    if (!silenceNoted_ && waited >= profile_.silenceNoteMs) {
        silenceNoted_ = true;
        tell([&](AcquisitionListener& l) { l.noAnswer(querySentTimeOfDay_); });
    }
    const int allowance = firstReplyPending_ ? transport_.firstReplyAllowanceMs() : 0;
    const int limit = resynchronising_ ? kResyncTimeoutMs : replyTimeoutMs() + allowance;
    if (!timeoutTold_ && waited >= limit) {
        timeoutTold_ = true;
        if (resynchronising_) {
            tell([&](AcquisitionListener& l) { l.meterSilent(timedOutQuery_); });
            return; // still waiting: a meter that wakes up is taken back
        }
        const std::string query =
            passageInFlight_ ? passageInFlight_->command : routedQuery_.value_or(lastQuery_);
        startResync(query);
        tell([&](AcquisitionListener& l) { l.replyTimedOut(query); });
    }
}

void AcquisitionEngine::startResync(const std::string& query) {
    // A late answer to `query` must not be taken for the next query's: ask
    // for a marker and drop everything that comes before its answer.
    resynchronising_ = true;
    timedOutQuery_ = query;
    routedQuery_.reset();
    failPassageInFlight();
    assembler_.reset();
    transport_.clearAfterTimeout();
    sendcommand(std::string(kResyncQuery));
    startQueryClock();
}

bool AcquisitionEngine::takeResyncDelivery(const char* buffer) {
    // A serial chunk may hold the late reply and the marker's answer at once.
    std::string_view rest(buffer);
    bool inStep = false;
    while (!rest.empty() && !inStep) {
        const size_t end = rest.find('\n');
        const std::string line = TrimBlanks(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line == "1") {
            inStep = true;
        } else if (!line.empty()) {
            tell([&](AcquisitionListener& l) { l.lateReplyDropped(line); });
        }
    }
    if (!inStep) {
        return false;
    }
    resynchronising_ = false;
    queued_.push_front(std::string(kClearStatus));
    return true;
}

void AcquisitionEngine::endSilence(bool tellIt) {
    if (silenceNoted_) {
        silenceNoted_ = false;
        if (tellIt) {
            tell([](AcquisitionListener& l) { l.silenceEnded(); });
        }
    }
}

void AcquisitionEngine::connect(const std::string& function) {
    stopWaiting();
    queryClock_.invalidate(); // the silence note times each connection afresh
    endSilence(true);
    startFunction_ = function;
    // Remote mode is asked for only where the line needs it (RS-232).
    nextCommand_ = profile_.remoteMode.empty() ? profile_.functionQuery : profile_.remoteMode;
    dropQueuedCommands();
    if (identifyOnConnect_) {
        queued_.push_back(std::string(kIdentifyQuery));
    }
    configuredFunction_.clear(); // the meter may have been set by hand meanwhile
    if (!function.empty() && CapabilitiesOf(function)) {
        queueSettingsBlock(function, true, true, true);
        configuredFunction_ = function;
    }
    connected_ = true;
    running_ = true;
    halted_ = false;
    firstReplyPending_ = true;
    hold(kConnectPauseMs);
    canSend_ = 1;
}

void AcquisitionEngine::disconnect() {
    nextCommand_ = profile_.localMode; // the tick that sends it stops the cycle
    dropQueuedCommands();
    configuredFunction_.clear();
    connected_ = false;
    // After: a line handed in from `done` is refused. The one sent keeps
    // its reply, which is no reading.
    failWaitingPassages();
    endSilence(true); // disconnected, the meter owes no answer
}

void AcquisitionEngine::halt() {
    halted_ = true;
    failWaitingPassages(); // the one sent still gets its reply
}

void AcquisitionEngine::passToMeter(const std::string& command, bool query, PassageDone done) {
    if (!polling()) {
        done(std::nullopt);
        return;
    }
    passages_.push_back({command, query, std::move(done)});
}

bool AcquisitionEngine::sendPassage() {
    if (passages_.empty()) {
        return false;
    }
    Passage passage = std::move(passages_.front());
    passages_.pop_front();
    passageSinceRead_ = true;
    // Not through sendcommand: the line is not the cycle's, and its reply
    // is no reading nor the answer to a query the cycle asked.
    (void)transport_.send(passage.command + profile_.terminator);
    tell([&](AcquisitionListener& l) { l.commandSent(passage.command); });
    const bool mayChangeState =
        !passage.query ||
        LowerCaseAscii(passage.command).starts_with(LowerCaseAscii(profile_.measurePrefix));
    if (mayChangeState) {
        queued_.push_back(kSampleCountQuery);
        nextCommand_ = profile_.functionQuery;
        reaskPending_ = true;
    }
    if (passage.query) {
        passageInFlight_ = std::move(passage);
        startQueryClock();
    } else {
        passage.done(std::nullopt);
    }
    return true;
}

void AcquisitionEngine::failPassageInFlight() {
    if (passageInFlight_) {
        const PassageDone done = std::move(passageInFlight_->done);
        passageInFlight_.reset();
        done(std::nullopt);
    }
}

void AcquisitionEngine::failWaitingPassages() {
    // Taken out first: a `done` may hand in another line.
    std::deque<Passage> waiting;
    waiting.swap(passages_);
    for (Passage& passage : waiting) {
        passage.done(std::nullopt);
    }
}

void AcquisitionEngine::identify() {
    queued_.push_back(std::string(kIdentifyQuery));
}

void AcquisitionEngine::storeCommand(const std::string& command) {
    nextCommand_ = command;
}

void AcquisitionEngine::chooseFunction(const std::string& measure, const std::string& function) {
    if (settings_.of(function).isDefault() && settings_.samples == 1) {
        storeCommand(measure); // the standard cycle's own measure query
        return;
    }
    // A measure query would preset the meter and take its reading at the
    // presets: configure the function, give it its settings, then name it
    // and go on reading.
    dropQueuedCommands();
    queueSettingsBlock(function, true, true, true);
    configuredFunction_ = function;
    nextCommand_ = profile_.functionQuery;
}

void AcquisitionEngine::queueSettingsBlock(const std::string& function, bool configure,
                                           bool inForce, bool display) {
    const FunctionCapabilities* f = CapabilitiesOf(function);
    if (!f) {
        return;
    }
    if (configure) {
        queued_.push_back(f->configure);
    }
    for (std::string& command : SettingCommands(function, settings_.of(function))) {
        queued_.push_back(std::move(command));
    }
    if (settings_.samples > 1) {
        queued_.push_back(SampleCountCommand(settings_.samples)); // configuring resets it
    }
    if (display && !settings_.displayOn) {
        queued_.push_back(profile_.displayOff);
    }
    queued_.push_back(profile_.errorQuery); // and what the meter made of it
    errorReads_ = 0;
    errors_.clear();
    if (inForce) {
        queueInForceQueries(function);
    }
}

void AcquisitionEngine::queueInForceQueries(const std::string& function) {
    for (const InForceQuery& query : InForceQueries(function)) {
        queued_.push_back(query.command);
    }
    inForceFunction_ = function;
    inForce_ = {};
    tell([&](AcquisitionListener& l) { l.settingsQueued(function); });
}

void AcquisitionEngine::queueSettingCommand(const std::string& command) {
    queued_.push_back(command);
    queued_.push_back(profile_.errorQuery);
    errorReads_ = 0;
    errors_.clear();
}

void AcquisitionEngine::setFunctionSettings(const std::string& function,
                                            const FunctionSettings& settings) {
    if (settings.isDefault()) {
        settings_.functions.erase(function);
    } else {
        settings_.functions[function] = settings;
    }
    if (connected_) {
        // Configured afresh, so a setting back at its default is the
        // default again on the meter too.
        queueSettingsBlock(function, true, true, false);
        configuredFunction_ = function;
    }
}

void AcquisitionEngine::setDisplayOn(bool on) {
    settings_.displayOn = on;
    if (connected_) {
        queueSettingCommand(on ? profile_.displayOn : profile_.displayOff);
    }
}

void AcquisitionEngine::setSamples(int samples) {
    settings_.samples = samples;
    if (connected_) {
        queueSettingCommand(SampleCountCommand(samples));
    }
}

void AcquisitionEngine::setFast(bool fast) {
    settings_.fast = fast;
    transport_.setEndReadAtLineFeed(fast);
}

void AcquisitionEngine::dropQueuedCommands() {
    queued_.clear();
    burstClock_.invalidate(); // the next burst's interval is not known yet
}

bool AcquisitionEngine::sendQueuedCommand() {
    // Remote mode first, local mode last: the queue waits for the one and
    // gives way to the other.
    if (queued_.empty() || nextCommand_ == profile_.remoteMode ||
        nextCommand_ == profile_.localMode) {
        return false;
    }
    const std::string command = queued_.front();
    queued_.pop_front();
    sendcommand(command);
    if (command.ends_with('?')) {
        routedQuery_ = command;
        startQueryClock();
    }
    return true;
}

void AcquisitionEngine::receive(const char* buffer, size_t length) {
    size_t dropped = 0;
    switch (assembler_.take(buffer, length, &dropped)) {
    case ReplyAssembler::Outcome::Incomplete:
        return; // the meter is still sending: not an answer yet
    case ReplyAssembler::Outcome::Dropped:
        routedQuery_.reset();
        failPassageInFlight();
        tell([&](AcquisitionListener& l) { l.replyDropped(dropped); });
        if (resynchronising_) {
            return; // not the marker's answer either
        }
        break;
    case ReplyAssembler::Outcome::Reply:
        if (resynchronising_) {
            if (!takeResyncDelivery(buffer)) {
                return; // still waiting for the marker's answer
            }
            break;
        }
        takeDelivery(buffer);
        break;
    }
    replyHandled();
}

void AcquisitionEngine::takeDelivery(const char* buffer) {
    if (passageInFlight_) {
        const PassageDone done = std::move(passageInFlight_->done);
        passageInFlight_.reset();
        done(TrimBlanks(buffer)); // to the program that asked, and no one else
        return;
    }
    if (routedQuery_) {
        // The answer to a query of the meter's settings, not a reading.
        const std::string query = *routedQuery_;
        routedQuery_.reset();
        takeRoutedReply(query, TrimBlanks(buffer));
        return;
    }
    // Only with bursts on can a reply hold several readings; the usual
    // reply is not copied or searched for them.
    if (settings_.samples > 1 && std::strchr(buffer, ',') && !std::strchr(buffer, '"')) {
        takeBurst(buffer);
    } else {
        takeReply(buffer, CurrentTimeOfDay(), std::nullopt);
    }
}

void AcquisitionEngine::replyHandled() {
    canSend_ = 1;
    firstReplyPending_ = false;
    queryClock_.invalidate();
    endSilence(true);
    tell([](AcquisitionListener& l) { l.replyHandled(); });
    // Fast acquisition: the reply is in, the next command need not wait
    // for the tick (the tick still drives everything else).
    if (settings_.fast && canSend_ == 1 && running_) {
        tick();
    }
}

void AcquisitionEngine::takeReply(const char* buffer, double receivedAt,
                                  std::optional<double> spreadBack) {
    const std::string unitBefore = replies_.unitLabel();
    const ReplyOutcome outcome = replies_.interpret(
        buffer, receivedAt, [this] { return logLineCount ? logLineCount() : 0; });
    if (outcome.reading) {
        Reading r;
        r.raw = TrimBlanks(buffer);
        r.value = *outcome.reading;
        r.unit = unitBefore;
        r.functionPending = measurePending_;
        r.function = measurePending_ ? std::string() : replies_.functionName();
        r.receivedAt = receivedAt;
        clock_gettime(CLOCK_REALTIME, &r.arrivedAt);
        r.spreadBack = spreadBack;
        r.upperText = outcome.upperText.value_or(std::string());
        r.lowerText = outcome.lowerText.value_or(std::string());
        r.logLine = outcome.logLine;
        tell([&](AcquisitionListener& l) { l.reading(r); });
    } else if (outcome.unitNamed) {
        functionNamed(replies_.functionName(), replies_.unitLabel() != unitBefore);
    } else if (lastQuery_ == profile_.functionQuery) {
        const std::string reply = TrimBlanks(buffer);
        const bool rejected = outcome.rejectedReply.has_value();
        tell([&](AcquisitionListener& l) { l.functionNotNamed(reply, rejected); });
        return;
    }
    if (outcome.rejectedReply) {
        tell([&](AcquisitionListener& l) { l.notAReading(*outcome.rejectedReply); });
    }
}

void AcquisitionEngine::takeBurst(const std::string& reply) {
    // One reading query answered by several readings: their times are
    // spread back from the arrival by the interval measured between bursts.
    const std::vector<std::string> parts = SplitBurst(reply);
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

void AcquisitionEngine::functionNamed(const std::string& function, bool unitChanged) {
    measurePending_ = false;
    tell([&](AcquisitionListener& l) {
        l.functionNamed(function, replies_.unitLabel(), unitChanged);
    });
    const bool reask = std::exchange(reaskPending_, false);
    bool inForceAsked = false;
    // Unless given its settings just before it was named:
    if (configuredFunction_ != function) {
        const bool firstSinceConnecting = configuredFunction_.empty();
        configuredFunction_ = function;
        const bool hasSettings = !settings_.of(function).isDefault();
        if (firstSinceConnecting) {
            // What the meter was left at is not what the user asked for.
            if (hasSettings || settings_.samples > 1 || !settings_.displayOn) {
                queueSettingsBlock(function, false, hasSettings, true);
            }
        } else if (hasSettings) {
            queueSettingsBlock(function, false, true, false);
        }
        inForceAsked = hasSettings;
    }
    if (reask && !inForceAsked) {
        queueInForceQueries(function); // another program may have changed them
    }
}

void AcquisitionEngine::takeRoutedReply(const std::string& query, const std::string& reply) {
    if (query == kIdentifyQuery) {
        if (identityChoice_ != IdentityChoice::None) {
            const bool gpib = identityChoice_ == IdentityChoice::Gpib;
            profile_ =
                catalog_ ? catalog_->forIdentity(reply, gpib) : ProfileForIdentity(reply, gpib);
        }
        tell([&](AcquisitionListener& l) { l.identified(reply); });
        return;
    }
    if (query == profile_.errorQuery) {
        takeErrorReply(reply);
        return;
    }
    if (query == kSampleCountQuery) {
        char* end = nullptr;
        const double count = std::strtod(reply.c_str(), &end);
        if (end != reply.c_str() && count >= 1 && count <= 50000) {
            settings_.samples = static_cast<int>(std::lround(count)); // bursts are split by it
        }
        return;
    }
    const std::vector<InForceQuery> queries = InForceQueries(inForceFunction_);
    for (size_t i = 0; i < queries.size(); ++i) {
        if (queries[i].command != query) {
            continue;
        }
        if (!TakeInForceReply(queries[i], reply, inForce_)) {
            tell([&](AcquisitionListener& l) { l.inForceUnreadable(query, reply); });
        }
        const bool complete = i + 1 == queries.size();
        tell([&](AcquisitionListener& l) { l.inForce(inForceFunction_, inForce_, complete); });
        return;
    }
}

void AcquisitionEngine::takeErrorReply(const std::string& reply) {
    const std::optional<MeterError> error = ParseErrorReply(reply);
    if (!error) {
        tellErrors();
        tell([&](AcquisitionListener& l) { l.errorQueueAnswered(reply); });
        return;
    }
    if (error->code == 0) {
        tellErrors();
        return;
    }
    errors_.push_back(*error);
    // Read the queue empty, so no old error is taken for a new one.
    if (++errorReads_ < profile_.mostErrorReads) {
        queued_.push_front(profile_.errorQuery);
    } else {
        tellErrors();
    }
}

void AcquisitionEngine::tellErrors() {
    if (errors_.empty()) {
        return;
    }
    const std::vector<MeterError> errors = std::move(errors_);
    errors_.clear();
    tell([&](AcquisitionListener& l) { l.meterErrors(errors); });
}

void AcquisitionEngine::leaveCycle() {
    // Nothing goes to the meter: there is no line to send it on.
    running_ = false;
    connected_ = false;
    canSend_ = 1;
    queryClock_.invalidate();
    silenceNoted_ = false; // the lost line's note takes the silence's place
    heldSince_.invalidate();
    dropQueuedCommands();
    routedQuery_.reset();
    failPassageInFlight(); // its reply cannot come
    failWaitingPassages();
    assembler_.reset();
    configuredFunction_.clear();
    resynchronising_ = false;
}

void AcquisitionEngine::lineLost() {
    // Both directions of the line may report it; the first one counts.
    if (!transport_.isOpen()) {
        return;
    }
    reconnectWanted_ = connected_;
    transport_.close(); // released, so that it can come back
    leaveCycle();
    // Told before the watch begins: a line already back is reopened at once,
    // and its return must not be followed by the news of its loss.
    tell([](AcquisitionListener& l) { l.portLost(); });
    transport_.watchForReturn([this] { portSeenAgain(); });
}

void AcquisitionEngine::stopWaiting() {
    transport_.stopWatching();
    reconnectWanted_ = false;
}

void AcquisitionEngine::portSeenAgain() {
    // The same name and settings as before: the meter is where it was.
    try {
        transport_.open();
    } catch (const std::exception& error) {
        if (transport_.retryAfterOpenError(error)) {
            return; // looked at again at the next poll or event
        }
        stopWaiting();
        tell([&](AcquisitionListener& l) { l.reopenFailed(error); });
        return;
    }
    const bool again = reconnectWanted_;
    stopWaiting();
    tell([](AcquisitionListener& l) { l.reconnected(); });
    // The meter may have been switched off and on: the cycle starts from the
    // beginning, with remote mode and its function.
    if (again) {
        if (connectAgain) {
            connectAgain();
        } else {
            connect(startFunction_);
        }
    }
}

std::string InForceSummary(const std::string& function, const InForce& f) {
    std::string text = "in force " + function + ":";
    const auto item = [&](const std::string& part) {
        // No commas: the text is one field of a CSV row.
        text += (text.back() == ':' ? " " : "; ") + part;
    };
    if (f.nplc) {
        item(NplcText(*f.nplc));
    }
    if (f.resolution) {
        item("resolution " + RangeText(function, *f.resolution));
    }
    if (f.range) {
        item("range " + RangeText(function, *f.range));
    }
    if (f.autoRange) {
        item(std::string("autorange ") + (*f.autoRange ? "on" : "off"));
    }
    if (f.autozero) {
        item(std::string("autozero ") + (*f.autozero ? "on" : "off"));
    }
    if (f.inputImpedanceAuto) {
        item(std::string("input impedance ") + (*f.inputImpedanceAuto ? "auto" : "10 Mohm"));
    }
    return text;
}

} // namespace velmora
