// One client's commands.
#include "control/control_session.h"

#include "control/meter_line_rules.h"
#include "control/recording_name.h"

#include <cctype>

namespace velmora {

namespace {

constexpr int kMostWrongTokens = 5; // then every AUTH is refused: no guessing

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// Compares in a time that does not depend on where the texts differ (the
// token's length is no secret: always the same).
bool SameToken(const std::string& given, const std::string& token) {
    if (given.size() != token.size() || token.empty()) {
        return false;
    }
    unsigned char difference = 0;
    for (size_t i = 0; i < token.size(); ++i) {
        difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    }
    return difference == 0;
}

} // namespace

ControlSession::ControlSession(ControlContext& context, std::string token)
    : context_(context)
    , token_(std::move(token))
    , authenticated_(token_.empty()) {}

ControlSession::~ControlSession() = default;

void ControlSession::take(std::string_view bytes) {
    input_.append(bytes);
    processLines();
}

std::string ControlSession::takeOutput() {
    std::string out;
    out.swap(output_);
    return out;
}

void ControlSession::processLines() {
    while (!waiting_) {
        if (discarding_) {
            const size_t end = input_.find('\n');
            input_.erase(0, end == std::string::npos ? input_.size() : end + 1);
            if (end == std::string::npos) {
                return;
            }
            discarding_ = false;
            continue;
        }
        const size_t end = input_.find('\n');
        if (end == std::string::npos) {
            if (input_.size() > kLongestLine) {
                error(-223, "line longer than 4096 bytes");
                discarding_ = true;
                input_.clear();
            }
            return;
        }
        std::string line = input_.substr(0, end);
        input_.erase(0, end + 1);
        if (line.size() > kLongestLine) {
            error(-223, "line longer than 4096 bytes");
            continue;
        }
        if (line.ends_with('\r')) {
            line.pop_back();
        }
        commands_ = ParseProgramMessage(line);
        next_ = 0;
        runCommands();
    }
}

void ControlSession::runCommands() {
    while (next_ < commands_.size()) {
        const ScpiCommand& command = commands_[next_++];
        if (execute(command) == Outcome::Waits) {
            waiting_ = true;
            return;
        }
    }
    if (!parts_.empty()) {
        for (size_t i = 0; i < parts_.size(); ++i) {
            output_ += (i == 0 ? "" : ";") + parts_[i];
        }
        output_ += '\n';
        parts_.clear();
    }
    commands_.clear();
    next_ = 0;
}

ControlSession::Outcome
ControlSession::waitFor(const std::function<void(ControlContext::Reply)>& ask,
                        std::function<std::string(std::optional<std::string>)> shape) {
    replyPending_ = true;
    executing_ = true;
    const uint64_t id = ++replyId_;
    std::weak_ptr<bool> alive = alive_;
    ask([this, alive, id, shape = std::move(shape)](std::optional<std::string> answer) {
        if (alive.expired() || !replyPending_ || id != replyId_) {
            return;
        }
        replyPending_ = false;
        reply(shape(std::move(answer)));
        if (!executing_) {
            resume();
        }
    });
    executing_ = false;
    return replyPending_ ? Outcome::Waits : Outcome::Done;
}

void ControlSession::resume() {
    waiting_ = false;
    runCommands();
    processLines();
    if (onOutput) {
        onOutput();
    }
}

void ControlSession::error(int code, std::string detail) {
    if (errors_.size() >= kMostErrors) {
        errors_.back() = {-350, {}}; // the newest gives way, as on a meter
        return;
    }
    errors_.push_back({code, std::move(detail)});
}

bool ControlSession::allowedBeforeAuth(const ScpiCommand& c) const {
    if (!c.query) {
        return HeaderMatches(c, "AUTH");
    }
    return HeaderMatches(c, "*IDN") || HeaderMatches(c, "FETCh") || HeaderMatches(c, "UNIT") ||
           HeaderMatches(c, "STATus:QUEStionable[:EVENt]");
}

void ControlSession::fetch(std::optional<std::string> reading) {
    if (reading) {
        reply(std::move(*reading));
        return;
    }
    latched_ |= kQuestionableStale;
    reply(kNoReading);
}

ControlSession::Outcome ControlSession::execute(const ScpiCommand& c) {
    if (c.problem != 0) {
        error(c.problem, "string not closed");
        return Outcome::Done;
    }
    if (!authenticated_ && !allowedBeforeAuth(c)) {
        error(-203, "send AUTH with the token first");
        return Outcome::Done;
    }
    const bool noParameters = c.parameters.empty();
    const auto simple = [&](std::string_view header, bool query) {
        return c.query == query && HeaderMatches(c, header);
    };
    // Commands without parameters.
    if (simple("*IDN", true) || simple("*OPC", true) || simple("*CLS", false) ||
        simple("*RST", false) || simple("*OPC", false) || simple("*STB", true) ||
        simple("READ", true) || simple("FETCh", true) || simple("INITiate[:IMMediate]", false) ||
        simple("ABORt", false) || simple("UNIT", true) || simple("FUNCtion", true) ||
        simple("CONFigure", true) || simple("STATus:QUEStionable[:EVENt]", true) ||
        simple("STATus:QUEStionable:CONDition", true) || simple("SYSTem:ERRor[:NEXT]", true) ||
        simple("RECord:STATe", true) || simple("RECord:FILE", true) || simple("ALARm", true) ||
        simple("CALCulate:DATA", true)) {
        if (!noParameters) {
            error(-108);
            return Outcome::Done;
        }
    }
    if (simple("*IDN", true)) {
        reply(context_.identity());
    } else if (simple("*OPC", true)) {
        reply("1");
    } else if (simple("*OPC", false) || simple("INITiate[:IMMediate]", false) ||
               simple("ABORt", false)) {
        // Accepted: the meter is read all the time, so INIT then FETC? is READ?.
    } else if (simple("*CLS", false)) {
        errors_.clear();
        latched_ = 0;
    } else if (simple("*RST", false)) {
        errors_.clear(); // of the interface: the meter is not touched
        latched_ = 0;
        fileName_.clear();
    } else if (simple("*STB", true)) {
        const unsigned questionable = context_.questionable() | latched_;
        reply(std::to_string((errors_.empty() ? 0 : 4) | (questionable ? 8 : 0)));
    } else if (simple("READ", true)) {
        return waitFor(
            [this](ControlContext::Reply done) { context_.nextReading(std::move(done)); },
            [this](std::optional<std::string> reading) {
                if (reading) {
                    return std::move(*reading);
                }
                latched_ |= kQuestionableStale;
                return std::string(kNoReading);
            });
    } else if (simple("FETCh", true)) {
        fetch(context_.freshReading());
    } else if (simple("CALCulate:DATA", true)) {
        fetch(context_.derivedReading()); // the derived value, or not a number
    } else if (simple("UNIT", true)) {
        reply(context_.unit());
    } else if (simple("FUNCtion", true)) {
        reply(Quoted(context_.function()));
    } else if (simple("CONFigure", true)) {
        reply(Quoted(context_.configuration()));
    } else if (simple("STATus:QUEStionable[:EVENt]", true)) {
        reply(std::to_string(context_.questionable() | latched_));
        latched_ = 0;
    } else if (simple("STATus:QUEStionable:CONDition", true)) {
        reply(std::to_string(context_.questionable()));
    } else if (simple("SYSTem:ERRor[:NEXT]", true)) {
        if (errors_.empty()) {
            reply(ErrorEntry({}));
        } else {
            reply(ErrorEntry(errors_.front()));
            errors_.pop_front();
        }
    } else if (simple("RECord:STATe", true)) {
        reply(context_.recording() ? "1" : "0");
    } else if (simple("RECord:FILE", true)) {
        reply(Quoted(context_.recording() ? context_.recordingName() : fileName_));
    } else if (simple("RECord:FILE", false)) {
        recordFile(c);
    } else if (simple("RECord:STATe", false)) {
        recordState(c);
    } else if (simple("ALARm", true)) {
        std::string list;
        for (const std::string& name : context_.raisedAlarms()) {
            list += (list.empty() ? "" : ",") + Quoted(name);
        }
        reply(list.empty() ? "\"\"" : list);
    } else if (HeaderMatches(c, "METer")) {
        return meterLine(c);
    } else if (simple("AUTH", false)) {
        authenticate(c);
    } else {
        error(-113); // and no reply to an unknown query, as on a meter
    }
    return Outcome::Done;
}

ControlSession::Outcome ControlSession::meterLine(const ScpiCommand& c) {
    const auto refuse = [&](ControlError problem) {
        error(problem.code, std::move(problem.detail));
        if (c.query) {
            reply({}); // every METER? gets its line, empty when nothing went
        }
        return Outcome::Done;
    };
    if (!context_.meterLinesAllowed()) {
        return refuse({-221, "meter commands are off"});
    }
    if (c.parameters.size() != 1) {
        return refuse({c.parameters.empty() ? -109 : -108, {}});
    }
    if (!c.parameters.front().quoted) {
        return refuse({-151, "the meter's line goes in quotes"});
    }
    const std::string line = c.parameters.front().text;
    if (std::optional<ControlError> problem = MeterLineProblem(line, c.query)) {
        return refuse(std::move(*problem));
    }
    if (!c.query) {
        if (std::optional<ControlError> problem = context_.passToMeter(line, false, [](auto) {})) {
            error(problem->code, std::move(problem->detail));
        }
        return Outcome::Done;
    }
    std::optional<ControlError> refused;
    const Outcome outcome = waitFor(
        [&](ControlContext::Reply done) { refused = context_.passToMeter(line, true, done); },
        [this](std::optional<std::string> answer) {
            if (!answer) {
                error(-240, "no answer from the meter");
                return std::string();
            }
            return std::move(*answer);
        });
    if (refused) {
        // Not sent: the reply will not come.
        replyPending_ = false;
        error(refused->code, std::move(refused->detail));
        reply({});
        return Outcome::Done;
    }
    return outcome;
}

void ControlSession::recordFile(const ScpiCommand& c) {
    if (c.parameters.size() != 1) {
        error(c.parameters.empty() ? -109 : -108);
        return;
    }
    const ScpiParameter& name = c.parameters.front();
    if (!name.quoted) {
        error(-151, "the file name goes in quotes");
        return;
    }
    if (std::optional<ControlError> problem = RecordingNameProblem(name.text)) {
        error(problem->code, std::move(problem->detail));
        return;
    }
    fileName_ = name.text;
}

void ControlSession::recordState(const ScpiCommand& c) {
    if (c.parameters.size() != 1) {
        error(c.parameters.empty() ? -109 : -108);
        return;
    }
    const std::string value = Upper(c.parameters.front().text);
    bool on = false;
    if (value == "ON" || value == "1") {
        on = true;
    } else if (value == "OFF" || value == "0") {
        on = false;
    } else if (!value.empty() && (std::isdigit(static_cast<unsigned char>(value[0])) ||
                                  value[0] == '-' || value[0] == '+')) {
        error(-222, "ON or OFF");
        return;
    } else {
        error(-224, "ON or OFF");
        return;
    }
    if (!on) {
        context_.stopRecording();
        return;
    }
    if (context_.recording()) {
        error(-221, "already recording");
        return;
    }
    if (std::optional<ControlError> problem = context_.startRecording(fileName_)) {
        error(problem->code, std::move(problem->detail));
    }
}

void ControlSession::authenticate(const ScpiCommand& c) {
    if (c.parameters.size() != 1 || !c.parameters.front().quoted) {
        error(-151, "AUTH \"token\"");
        return;
    }
    if (token_.empty()) {
        return; // nothing to prove on the local socket
    }
    if (wrongTokens_ >= kMostWrongTokens || !SameToken(c.parameters.front().text, token_)) {
        ++wrongTokens_;
        authenticated_ = false;
        error(-203, "wrong token");
        return;
    }
    authenticated_ = true;
}

} // namespace velmora
