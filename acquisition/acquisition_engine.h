// The acquisition cycle: what goes to the meter, when, and what its replies become.
#pragma once

#include "acquisition/acquisition_listener.h"
#include "acquisition/meter_profile.h"
#include "acquisition/profile_catalog.h"
#include "acquisition/reply_assembler.h"
#include "acquisition/reply_interpreter.h"
#include "measure/meter_settings_store.h"

#include <QElapsedTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class MeterTransport;

// One meter's cycle, shared by the window and the logger. The host drives
// it: `tick` on its 50 ms grid, `receive` with each delivery of the line,
// `lineLost` when the line goes away. The command just sent decides the
// next one; the meter's settings and their queries go one a tick before it,
// and the replies to those are told apart by the query that was sent.
// No globals: several engines may run in one process. Main thread only.
class AcquisitionEngine {
public:
    static constexpr int kConnectPauseMs = 500;
    static constexpr std::string_view kIdentifyQuery = "*IDN?";
    // After a reply time-out: everything before the answer to this marker
    // is a late reply and dropped; then the status the lost query may have
    // left ("-410 Query INTERRUPTED") is cleared.
    static constexpr std::string_view kResyncQuery = "*OPC?";
    static constexpr std::string_view kClearStatus = "*CLS";
    static constexpr int kResyncTimeoutMs = 2000;

    explicit AcquisitionEngine(MeterTransport& transport,
                               const MeterProfile& profile = Profile34401A());

    // The owner's pause. Set: called, and nothing runs until it returns
    // (the window's blocking pause). Not set: the engine holds itself and
    // ticks that fall due meanwhile are skipped, not made up.
    std::function<void(int milliseconds)> pause;
    // The lines in the log box, header included; asked only when a line is due.
    std::function<int32_t()> logLineCount;
    // Before each reading query: false holds it back to a later tick.
    std::function<bool()> mayRead;
    // After the line came back while connected: connect again (by default
    // with the function given to the last `connect`).
    std::function<void()> connectAgain;

    void addListener(AcquisitionListener* listener);
    void removeListener(AcquisitionListener* listener);

    const MeterProfile& profile() const { return profile_; }
    // Another meter's words from the next command on (chosen from "*IDN?").
    void setProfile(const MeterProfile& profile) { profile_ = profile; }
    // Asks "*IDN?" first on every connection (network and GPIB meters say
    // who they are; the answer comes as `identified`).
    void setIdentifyOnConnect(bool on) { identifyOnConnect_ = on; }
    // Lets the answer to "*IDN?" pick the profile before listeners hear it;
    // off where the user chose the meter.
    enum class IdentityChoice { None, Network, Gpib };
    void setProfileFromIdentity(IdentityChoice choice) { identityChoice_ = choice; }
    // Where that choice looks (the host's profile files too); the built-in
    // profiles without one.
    void setProfileCatalog(const ProfileCatalog* catalog) { catalog_ = catalog; }
    // Asks "*IDN?" once, before the next reading.
    void identify();

    // The cycle's state, under the names the window always gave it.
    const std::string& nextCommand() const { return nextCommand_; }
    uint8_t canSend() const { return canSend_; }
    const std::string& unitLabel() const { return replies_.unitLabel(); }
    int32_t readingCounter() const { return replies_.readingCounter(); }
    int32_t logInterval() const { return replies_.logInterval(); }
    void setLogInterval(int32_t interval) { replies_.setLogInterval(interval); }
    const std::deque<std::string>& queuedCommands() const { return queued_; }
    bool reconnectWanted() const { return reconnectWanted_; }
    // Between a reply time-out and the meter being in step again.
    bool resynchronising() const { return resynchronising_; }
    // What the meter said is in force for `function`, while it is the last asked.
    std::optional<InForce> inForceOf(const std::string& function) const;

    // The meter's settings, kept by the owner; changes go to the meter while connected.
    const MeterSettings& meterSettings() const { return settings_; }
    void setMeterSettings(const MeterSettings& settings);
    void setFunctionSettings(const std::string& function, const FunctionSettings& settings);
    void setDisplayOn(bool on);
    void setSamples(int samples);
    // The pacing follows the settings: standard (one command a tick, a reply
    // taken once the line is quiet), fast (a reply ends at its line feed and
    // the next query goes at once), burst (samples > 1: several readings a
    // query, their times spread back).
    void setFast(bool fast);

    // The longest a query may stay unanswered: the profile's base and the
    // longest time the query can take with the settings in force, unless set.
    int replyTimeoutMs() const;
    void setReplyTimeout(std::optional<int> milliseconds) { replyTimeoutOverride_ = milliseconds; }

    // Starts a connection: remote mode, then the function the meter is in,
    // or `function` configured with its settings first. The first command
    // goes after the connection's settling pause (kConnectPauseMs), in every
    // host alike, so a reconnect is paced the same in the window and the logger.
    void connect(const std::string& function = {});
    // Local mode at the next tick that may send, and the cycle stops.
    void disconnect();
    // The command the next tick sends, instead of the cycle's own.
    void storeCommand(const std::string& command);
    // A function button: its measure query, or, when the function has
    // settings to give or bursts are on, the function configured with them.
    void chooseFunction(const std::string& measure, const std::string& function);
    // One line to the meter now, terminator appended.
    void sendcommand(const std::string& command);
    // No more commands from the cycle (a stopping host); replies still taken.
    void halt();

    // A line from another program for the meter (the control interface, the
    // console). It goes between two polls, never while a query is
    // unanswered, and at most one such line between two reading queries, so
    // a flood of them cannot stop the readings. A query's reply goes to
    // `done` and to no listener; `done` gets nothing when no reply came (a
    // time-out, the line lost, the cycle stopped) and at once for a command.
    // After a command or a measure query the meter may be in another state:
    // its function, sample count and what is in force are asked again
    // before the next reading.
    using PassageDone = std::function<void(std::optional<std::string> reply)>;
    void passToMeter(const std::string& command, bool query, PassageDone done);
    size_t passagesWaiting() const { return passages_.size() + (passageInFlight_ ? 1 : 0); }
    // Connected and the cycle running: readings are coming.
    bool polling() const { return connected_ && running_ && !halted_; }

    void tick();
    void receive(const char* buffer, size_t length);
    // The line went away: released, the cycle left, its return watched for.
    void lineLost();
    // No more waiting for the line (a port chosen anew, connected by hand).
    void stopWaiting();

private:
    // By index, with no copy on the reply path: a listener added meanwhile
    // hears the rest of the event's round too.
    template <typename Event>
    void tell(Event event) {
        for (size_t i = 0; i < listeners_.size(); ++i) {
            event(*listeners_[i]);
        }
    }
    void hold(int milliseconds);
    void startResync(const std::string& query);
    // A delivery while resynchronising: true when it put the meter in step.
    bool takeResyncDelivery(const char* buffer);
    bool held() const;
    void startQueryClock();
    void checkSilence();
    void endSilence(bool tell);
    bool sendQueuedCommand();
    void sendReadingQuery();
    void takeRoutedReply(const std::string& query, const std::string& reply);
    void takeErrorReply(const std::string& reply);
    void takeReply(const char* reply, double receivedAt, std::optional<double> spreadBack);
    void takeBurst(const std::string& reply);
    void takeDelivery(const char* buffer);
    void functionNamed(const std::string& function, bool unitChanged);
    void replyHandled();
    void queueSettingsBlock(const std::string& function, bool configure, bool inForce,
                            bool display);
    void queueSettingCommand(const std::string& command);
    void dropQueuedCommands();
    void tellErrors();
    bool sendPassage();
    void failPassageInFlight();
    void failWaitingPassages();
    void queueInForceQueries(const std::string& function);
    void leaveCycle();
    void portSeenAgain();

    MeterTransport& transport_;
    MeterProfile profile_;
    bool identifyOnConnect_ = false;
    IdentityChoice identityChoice_ = IdentityChoice::None;
    const ProfileCatalog* catalog_ = nullptr;
    bool resynchronising_ = false;
    std::string timedOutQuery_;
    bool firstReplyPending_ = false; // the transport's first-answer allowance applies
    std::vector<AcquisitionListener*> listeners_;
    ReplyInterpreter replies_;
    ReplyAssembler assembler_;
    MeterSettings settings_;
    std::string nextCommand_;
    uint8_t canSend_ = 1;
    bool connected_ = false;
    bool running_ = false;
    bool halted_ = false;
    std::string startFunction_;
    std::deque<std::string> queued_;
    std::optional<std::string> routedQuery_;
    std::string lastQuery_;
    std::string inForceFunction_;
    InForce inForce_;
    std::string configuredFunction_; // given its settings since connecting
    int errorReads_ = 0;
    std::vector<MeterError> errors_; // read since the last change
    bool measurePending_ = false;    // a measure query sent, its function not yet named
    QElapsedTimer queryClock_;
    double querySentTimeOfDay_ = 0;
    bool silenceNoted_ = false;
    bool timeoutTold_ = false;
    std::optional<int> replyTimeoutOverride_;
    QElapsedTimer burstClock_; // since the last burst arrived
    QElapsedTimer heldSince_;
    int heldFor_ = 0;
    bool reconnectWanted_ = false;
    struct Passage {
        std::string command;
        bool query = false;
        PassageDone done;
    };
    std::deque<Passage> passages_;
    std::optional<Passage> passageInFlight_;
    bool passageSinceRead_ = false;
    bool reaskPending_ = false; // the function's answer then asks what is in force
};

// "in force VOLT: 10 PLC; range 10 V; autozero on": for the recording's events.
std::string InForceSummary(const std::string& function, const InForce& inForce);

} // namespace velmora
