// One client of the control interface: its lines in, its replies out, its own error queue.
#pragma once

#include "control/control_context.h"
#include "control/control_error.h"
#include "control/scpi_message.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Lines end with LF (a CR before it is dropped); replies end with LF; the
// replies to the queries of one line are joined by ';'. Commands run in the
// order they came: a reply that waits (READ?, METER?) holds back the
// commands after it, and their input is kept, not read as it arrives.
// A line longer than 4 kB is dropped whole (-223). With a token, nothing
// but "*IDN?", "FETC?", "UNIT?", "STAT:QUES?" and "AUTH" is taken before
// the right token came (-203). Main thread only.
class ControlSession {
public:
    static constexpr size_t kLongestLine = 4096;
    static constexpr size_t kMostErrors = 20;

    // `token` empty: no AUTH needed.
    ControlSession(ControlContext& context, std::string token);
    ~ControlSession();
    ControlSession(const ControlSession&) = delete;
    ControlSession& operator=(const ControlSession&) = delete;

    void take(std::string_view bytes);
    // The replies so far, handed over once.
    std::string takeOutput();
    size_t pendingOutput() const { return output_.size(); }
    size_t pendingInput() const { return input_.size(); }
    bool waiting() const { return waiting_; }
    bool authenticated() const { return authenticated_; }

    // A reply that waited has come (the host writes it out).
    std::function<void()> onOutput;

private:
    enum class Outcome { Done, Waits };
    void processLines();
    void runCommands();
    Outcome execute(const ScpiCommand& command);
    bool allowedBeforeAuth(const ScpiCommand& command) const;
    Outcome waitFor(const std::function<void(ControlContext::Reply)>& ask,
                    std::function<std::string(std::optional<std::string>)> shape);
    void resume();
    void error(int code, std::string detail = {});
    void reply(std::string text) { parts_.push_back(std::move(text)); }
    void fetch(std::optional<std::string> reading);
    Outcome meterLine(const ScpiCommand& command);
    void recordFile(const ScpiCommand& command);
    void recordState(const ScpiCommand& command);
    void authenticate(const ScpiCommand& command);

    ControlContext& context_;
    std::string token_;
    bool authenticated_;
    int wrongTokens_ = 0;
    std::string input_;
    bool discarding_ = false; // the rest of an overlong line
    std::string output_;
    std::vector<ScpiCommand> commands_; // of the line being run
    size_t next_ = 0;
    std::vector<std::string> parts_; // the line's replies so far
    bool waiting_ = false;
    bool executing_ = false;
    bool replyPending_ = false;
    uint64_t replyId_ = 0; // of the reply waited for
    std::deque<ControlError> errors_;
    unsigned latched_ = 0; // questionable events since the last "STAT:QUES?"
    std::string fileName_; // for the next "REC:STAT ON"
    // Replies that come after the session has gone are dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace velmora
