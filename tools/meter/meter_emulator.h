// The simulated meter on a pseudo-terminal, running on a thread of its own.
#pragma once

#include "tools/meter/gpib_adapter_model.h"
#include "tools/meter/meter_model.h"
#include "tools/meter/meter_script.h"
#include "tools/meter/pseudo_terminal.h"
#include "tools/meter/tcp_listener.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velmora {

struct MeterOptions {
    // Byte timing of the line, both ways: each byte takes 10 bit times at
    // this rate (9600 -> about 1.04 ms a byte), so a command is seen only
    // once its last byte has crossed and an answer byte reaches the program
    // only once it has been sent whole; 0 moves bytes at once.
    uint32_t baud = 0;
    // Time the meter takes to measure before it starts answering a reading.
    std::chrono::milliseconds measureTime{0};
    // Instead of `measureTime`: a reading takes the integration time the
    // meter is set to (NPLC / mains frequency; twice that with autozero on),
    // and other queries are answered at once.
    bool modelIntegrationTime = false;
    double mainsHertz = 50;
    // Stop bits of the meter's own characters (the meter sends two at 9600
    // baud, so 11 bit times a byte); the program's bytes take 10.
    int meterStopBits = 1;
    // A command that comes in while a query's answer is still being
    // prepared interrupts it, as on the meter: the answer is dropped and
    // -410 "Query INTERRUPTED" queued.
    bool interruptQueries = false;
    MeterModelOptions model;
    // 0 or more: the meter is on the network instead, listening on
    // 127.0.0.1 at this port (0: any free one, see TcpPort()); one
    // connection at a time, a hang-up closes it and the listener.
    int tcpPort = -1;
    // 0 to 30: the meter is a GPIB instrument at this address behind an
    // emulated "++" adapter (on the pty or the TCP port): "++" lines are the
    // adapter's, others reach the meter while it is addressed, and its
    // answers wait in its output until "++read" (or "++auto 1").
    int gpibAdapterAddress = -1;
    // The adapter puts a NUL before every answer it reads, as some do.
    bool strayNuls = false;
    std::vector<ScriptStep> script;
    // When set, a symbolic link here points at the slave; it follows a
    // reopen after a hang-up and is removed by Stop().
    std::string linkPath;
    // Called on the meter's thread once an answer to a query has gone out,
    // with the moment its last byte was written (benchmarks time the
    // program's reaction from there).
    std::function<void(std::chrono::steady_clock::time_point)> onAnswerSent;
    // The same with the answer's text (without its line end).
    std::function<void(const std::string&, std::chrono::steady_clock::time_point)> onAnswerText;
    // Called on the meter's thread with each command line as it is acted on.
    std::function<void(const std::string&, std::chrono::steady_clock::time_point)> onCommand;
    // Called on the meter's thread when a reopened port is ready at its link.
    std::function<void(std::chrono::steady_clock::time_point)> onReopened;
};

// Plays the meter on the master side of a pseudo-terminal: reads CR LF
// terminated command lines, answers queries (by itself or as scripted)
// and records every byte it received. All members are thread-safe.
class MeterEmulator {
public:
    explicit MeterEmulator(MeterOptions options = {});
    ~MeterEmulator(); // stops

    // Creates the pseudo-terminal (and link) and starts the thread.
    // Throws std::system_error when either cannot be had.
    void Start();
    void Stop();

    // The present slave path (a new one after "hangup reopen").
    std::string SlavePath() const;
    // Every byte read from the program, in order.
    std::string Received() const;
    void ClearReceived();
    // Waits until Received() contains `needle`; false after `timeout`.
    bool WaitForReceived(std::string_view needle, std::chrono::milliseconds timeout) const;
    // Command lines received so far (without CR LF).
    std::vector<std::string> Commands() const;
    // When each of Commands() was complete (its line feed read).
    std::vector<std::chrono::steady_clock::time_point> CommandTimes() const;

    // Appends steps to the script; they run after those already queued.
    void Inject(ScriptStep step);
    void Inject(const std::vector<ScriptStep>& steps);
    // Script steps not yet used.
    size_t PendingSteps() const;

    MeterFunction Function() const;
    // Queries dropped because a command came during their answer (each
    // queued -410 on the meter).
    int InterruptedQueries() const { return interrupted_; }
    // Hang-ups done, each counted once a reopened port is ready.
    int Hangups() const { return hangups_; }
    // On the network: the port listened on, the connections taken, and
    // those refused because one was already open.
    uint16_t TcpPort() const { return tcpPort_; }
    int AcceptedConnections() const { return accepted_; }
    int RefusedConnections() const { return refused_; }
    // Commands refused as undefined (-113), whether read from the queue or not.
    int UndefinedHeaders() const;
    // Behind the emulated adapter: its own "++" lines as received, how
    // often "++ver" and "++clr" came.
    std::vector<std::string> AdapterCommands() const;
    int AdapterVersionQueries() const { return versionQueries_; }
    int AdapterClears() const { return clears_; }

private:
    void Run();
    void Serve();
    void RunImmediateSteps(std::unique_lock<std::mutex>& lock);
    void HandleLine(const std::string& line);
    void HandleAdapterLine(const std::string& line);
    void ReadInstrument(); // the adapter hands the meter's answer over
    void Answer(const ScriptStep& step, const std::optional<std::string>& ownReply);
    bool Transmit(std::string_view bytes); // false when not every byte went out
    void HangUp(bool reopen, std::chrono::milliseconds gap);
    bool Sleep(std::chrono::milliseconds duration);               // false when stopping
    bool SleepUntil(std::chrono::steady_clock::time_point until); // false when stopping
    std::chrono::nanoseconds ByteTime() const;
    std::chrono::nanoseconds MeterByteTime() const;
    std::chrono::nanoseconds MeasureTime(const std::string& line) const;
    bool InputWaiting() const; // bytes from the program not read yet
    void UpdateLink();

    MeterOptions options_;
    MeterModel model_; // only the thread touches it after Start
    std::atomic<int> interrupted_{0};
    std::mt19937 noise_;
    std::unique_ptr<PseudoTerminal> pty_;
    std::unique_ptr<TcpListener> tcp_; // instead of the pty, on the network
    std::atomic<uint16_t> tcpPort_{0};
    std::atomic<int> accepted_{0};
    std::atomic<int> refused_{0};
    std::atomic<int> undefined_{0};
    int LinkFd() const; // where the program's bytes come from, -1 without one
    bool WriteLink(std::string_view bytes);
    std::string slavePath_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<ScriptStep> script_;
    std::string received_;
    std::vector<std::string> commands_;
    std::vector<std::chrono::steady_clock::time_point> commandTimes_;
    MeterFunction function_;
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<int> hangups_{0};
    std::string lineBuffer_;
    std::unique_ptr<GpibAdapterModel> adapter_;
    std::string busOutput_; // the meter's answers the adapter has not read yet
    bool escaped_ = false;  // the adapter's ESC: the next byte is data
    std::vector<std::string> adapterCommands_;
    std::atomic<int> versionQueries_{0};
    std::atomic<int> clears_{0};
    // When the last command byte read so far has crossed the modelled line.
    std::chrono::steady_clock::time_point inboundDone_;
    // Just before the latest write to the line.
    std::chrono::steady_clock::time_point lastWriteAt_;
    std::chrono::nanoseconds answerDelay_{0}; // before the answer being given
    std::thread thread_;
};

} // namespace velmora
