// The simulated meter's thread: command lines in, answers out, with the line's byte timing.
#include "tools/meter/meter_emulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace velmora {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kXon = 17;
constexpr char kXoff = 19;
constexpr char kEscape = 27;

} // namespace

MeterEmulator::MeterEmulator(MeterOptions options)
    : options_(std::move(options))
    , model_(options_.model)
    , noise_(options_.model.seed ^ 0x5eed)
    , script_(options_.script.begin(), options_.script.end())
    , function_(options_.model.startFunction) {
    if (options_.gpibAdapterAddress >= 0)
        adapter_ = std::make_unique<GpibAdapterModel>(options_.gpibAdapterAddress);
}

MeterEmulator::~MeterEmulator() {
    Stop();
}

void MeterEmulator::Start() {
    if (thread_.joinable())
        return;
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    if (options_.tcpPort >= 0) {
        tcp_ = std::make_unique<TcpListener>(static_cast<uint16_t>(options_.tcpPort));
        tcpPort_ = tcp_->Port();
        std::lock_guard lock(mutex_);
        slavePath_ = "127.0.0.1:" + std::to_string(tcp_->Port());
    } else {
        pty_ = std::make_unique<PseudoTerminal>();
        {
            std::lock_guard lock(mutex_);
            slavePath_ = pty_->SlavePath();
        }
        UpdateLink();
    }
    stopping_ = false;
    thread_ = std::thread(&MeterEmulator::Run, this);
}

void MeterEmulator::Stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        const uint64_t one = 1;
        (void)::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    pty_.reset();
    tcp_.reset();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
    wakeFd_ = -1;
    if (!options_.linkPath.empty())
        ::unlink(options_.linkPath.c_str());
}

std::string MeterEmulator::SlavePath() const {
    std::lock_guard lock(mutex_);
    return slavePath_;
}

std::string MeterEmulator::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void MeterEmulator::ClearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
    commands_.clear();
    commandTimes_.clear();
}

bool MeterEmulator::WaitForReceived(std::string_view needle,
                                    std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout,
                             [&] { return received_.find(needle) != std::string::npos; });
}

std::vector<std::string> MeterEmulator::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<std::chrono::steady_clock::time_point> MeterEmulator::CommandTimes() const {
    std::lock_guard lock(mutex_);
    return commandTimes_;
}

void MeterEmulator::Inject(ScriptStep step) {
    Inject(std::vector<ScriptStep>{std::move(step)});
}

void MeterEmulator::Inject(const std::vector<ScriptStep>& steps) {
    {
        std::lock_guard lock(mutex_);
        script_.insert(script_.end(), steps.begin(), steps.end());
    }
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        (void)::write(wakeFd_, &one, sizeof one);
    }
}

size_t MeterEmulator::PendingSteps() const {
    std::lock_guard lock(mutex_);
    return script_.size();
}

MeterFunction MeterEmulator::Function() const {
    std::lock_guard lock(mutex_);
    return function_;
}

void MeterEmulator::Run() {
    try {
        Serve();
    } catch (const std::exception& error) {
        // A test or demo without its meter should say why, not abort.
        std::fprintf(stderr, "velmora-meter: %s\n", error.what());
    }
}

void MeterEmulator::Serve() {
    while (!stopping_) {
        {
            std::unique_lock lock(mutex_);
            RunImmediateSteps(lock);
        }
        if (stopping_)
            break;

        pollfd fds[3] = {
            {wakeFd_, POLLIN, 0}, {LinkFd(), POLLIN, 0}, {tcp_ ? tcp_->ListenFd() : -1, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            (void)::read(wakeFd_, &count, sizeof count);
        }
        if (fds[2].revents & POLLIN) {
            tcp_->Accept();
            accepted_ = tcp_->Accepted();
            refused_ = tcp_->Refused();
        }
        if (tcp_ && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char probe;
            if (::recv(fds[1].fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT) == 0 ||
                (fds[1].revents & POLLERR)) {
                // The program closed the connection: wait for the next one.
                tcp_->DropConnection();
                lineBuffer_.clear();
                busOutput_.clear();
                escaped_ = false;
                continue;
            }
        }
        if (fds[1].revents & POLLIN) {
            char buffer[512];
            const ssize_t n = ::read(fds[1].fd, buffer, sizeof buffer);
            if (n > 0) {
                const std::string_view bytes(buffer, static_cast<size_t>(n));
                {
                    std::lock_guard lock(mutex_);
                    received_ += bytes;
                }
                changed_.notify_all();
                // The pseudo-terminal hands over a whole write at once; on the
                // line the bytes follow one another, so each line is acted on
                // only when its line feed would have arrived.
                Clock::time_point arrival = std::max(Clock::now(), inboundDone_);
                for (const char c : bytes) {
                    arrival += ByteTime();
                    if (adapter_ && (escaped_ || c == kEscape)) {
                        // An escaped byte is data for the meter, whatever it is.
                        if (escaped_)
                            lineBuffer_ += c;
                        escaped_ = !escaped_;
                        continue;
                    }
                    if (c != '\n') {
                        lineBuffer_ += c;
                        continue;
                    }
                    std::string line = std::move(lineBuffer_);
                    lineBuffer_.clear();
                    if (!line.empty() && line.back() == '\r')
                        line.pop_back();
                    if (!SleepUntil(arrival))
                        return;
                    HandleLine(line);
                }
                inboundDone_ = arrival;
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            // Nobody has the slave open: wait a little instead of spinning.
            Sleep(std::chrono::milliseconds(5));
        }
    }
}

void MeterEmulator::RunImmediateSteps(std::unique_lock<std::mutex>& lock) {
    while (!stopping_ && !script_.empty() && !AnswersQuery(script_.front().kind)) {
        const ScriptStep step = script_.front();
        script_.pop_front();
        lock.unlock();
        switch (step.kind) {
        case ScriptStep::Kind::Pause:
            Sleep(std::chrono::milliseconds(step.milliseconds));
            break;
        case ScriptStep::Kind::Send:
            Transmit(step.text);
            break;
        case ScriptStep::Kind::Xoff:
            Transmit(std::string_view(&kXoff, 1));
            break;
        case ScriptStep::Kind::Xon:
            Transmit(std::string_view(&kXon, 1));
            break;
        case ScriptStep::Kind::Hangup:
            HangUp(step.reopen, std::chrono::milliseconds(step.milliseconds));
            break;
        default:
            break;
        }
        lock.lock();
    }
}

void MeterEmulator::HandleLine(const std::string& line) {
    if (adapter_) {
        if (line.starts_with("++")) {
            HandleAdapterLine(line);
            return;
        }
        if (!adapter_->InstrumentAddressed())
            return; // no listener at that address: the command is lost on the bus
        if (!busOutput_.empty() && options_.interruptQueries) {
            // A new command before the last answer was read: the meter drops it.
            std::lock_guard lock(mutex_);
            model_.PushError(-410, "Query INTERRUPTED");
            ++interrupted_;
            busOutput_.clear();
        }
    }
    // The model always sees the command, so "Meas" switches the function
    // even when the script answers in its place.
    const std::optional<std::string> ownReply = model_.Handle(line);
    undefined_ = model_.UndefinedHeaders();
    ScriptStep step; // by default the meter answers by itself
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(line);
        commandTimes_.push_back(std::chrono::steady_clock::now());
        function_ = model_.Function();
        if (IsQuery(line) && !script_.empty() && AnswersQuery(script_.front().kind)) {
            step = script_.front();
            script_.pop_front();
        }
    }
    changed_.notify_all();
    if (options_.onCommand)
        options_.onCommand(line, Clock::now());
    if (IsQuery(line)) {
        answerDelay_ = MeasureTime(line);
        Answer(step, ownReply);
    }
}

void MeterEmulator::HandleAdapterLine(const std::string& line) {
    {
        std::lock_guard lock(mutex_);
        adapterCommands_.push_back(line);
    }
    const GpibAdapterModel::Outcome outcome = adapter_->Handle(line);
    versionQueries_ = adapter_->VersionQueries();
    clears_ = adapter_->Clears();
    changed_.notify_all();
    if (outcome.clearInstrument)
        busOutput_.clear();
    if (!outcome.toController.empty())
        Transmit(outcome.toController);
    if (outcome.readInstrument)
        ReadInstrument();
}

void MeterEmulator::ReadInstrument() {
    if (busOutput_.empty())
        return; // the adapter's read times out: nothing comes back
    std::string out = options_.strayNuls ? std::string(1, '\0') + busOutput_ : busOutput_;
    busOutput_.clear();
    if (!Transmit(out))
        return;
    if (options_.onAnswerSent)
        options_.onAnswerSent(lastWriteAt_);
    if (options_.onAnswerText) {
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
            out.pop_back();
        options_.onAnswerText(out, lastWriteAt_);
    }
}

std::vector<std::string> MeterEmulator::AdapterCommands() const {
    std::lock_guard lock(mutex_);
    return adapterCommands_;
}

int MeterEmulator::LinkFd() const {
    if (tcp_)
        return tcp_->ConnectionFd();
    return pty_ ? pty_->MasterFd() : -1;
}

bool MeterEmulator::WriteLink(std::string_view bytes) {
    if (tcp_)
        return tcp_->Write(bytes);
    return pty_ && pty_->Write(bytes);
}

int MeterEmulator::UndefinedHeaders() const {
    return undefined_;
}

bool MeterEmulator::InputWaiting() const {
    if (LinkFd() < 0)
        return false;
    pollfd input{LinkFd(), POLLIN, 0};
    return ::poll(&input, 1, 0) == 1 && (input.revents & POLLIN);
}

std::chrono::nanoseconds MeterEmulator::MeasureTime(const std::string& line) const {
    if (!options_.modelIntegrationTime)
        return options_.measureTime;
    std::string upper;
    for (const char c : line)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool reading = upper.find("READ?") != std::string::npos || upper.starts_with("MEAS");
    if (!reading)
        return std::chrono::nanoseconds(0);
    const MeterFunction f = model_.Function();
    const bool integrates = f == MeterFunction::DcVolts || f == MeterFunction::DcCurrent ||
                            f == MeterFunction::Resistance ||
                            f == MeterFunction::FourWireResistance;
    if (!integrates)
        return std::chrono::milliseconds(20); // a conversion of the AC and counter paths
    const MeterModel::Settings& s = model_.SettingsOf(f);
    const int samples = upper.find("READ?") != std::string::npos ? model_.SampleCount() : 1;
    const double seconds = samples * s.nplc / options_.mainsHertz * (s.autozero ? 2 : 1);
    return std::chrono::nanoseconds(static_cast<int64_t>(seconds * 1e9));
}

void MeterEmulator::Answer(const ScriptStep& step, const std::optional<std::string>& ownReply) {
    using Kind = ScriptStep::Kind;
    std::string first;
    std::string second;
    // RS-232 lines end in CR LF; on GPIB and the network a line feed ends them.
    const char* eol = options_.model.persona == MeterPersona::Rs232_34401A ? "\r\n" : "\n";
    switch (step.kind) {
    case Kind::Answer:
        if (!ownReply)
            return;
        first = *ownReply + eol;
        break;
    case Kind::Reply:
        first = step.text + eol;
        break;
    case Kind::Late:
        if (!ownReply)
            return;
        first = *ownReply + eol;
        if (!Sleep(std::chrono::milliseconds(step.milliseconds)))
            return;
        break;
    case Kind::Split:
        first = step.text;
        second = step.rest + eol;
        break;
    case Kind::Garbage: {
        std::uniform_int_distribution<int> byte(1, 255);
        while (static_cast<int>(first.size()) < step.count) {
            const char c = static_cast<char>(byte(noise_));
            if (c != '\r' && c != '\n' && c != kXon && c != kXoff)
                first += c;
        }
        first += eol;
        break;
    }
    case Kind::Overload:
        first = FormatReading(step.negative ? -kOverload : kOverload) + eol;
        break;
    default: // silence
        return;
    }
    if (!SleepUntil(Clock::now() + answerDelay_))
        return;
    if (adapter_) {
        // On the bus the answer waits in the meter's output until it is read.
        busOutput_ += first + second;
        if (adapter_->AutoRead())
            ReadInstrument();
        return;
    }
    if (options_.interruptQueries && InputWaiting()) {
        std::lock_guard lock(mutex_);
        model_.PushError(-410, "Query INTERRUPTED");
        ++interrupted_;
        return;
    }
    if (!Transmit(first))
        return;
    if (!second.empty() &&
        (!Sleep(std::chrono::milliseconds(step.milliseconds)) || !Transmit(second)))
        return;
    if (options_.onAnswerSent)
        options_.onAnswerSent(lastWriteAt_);
    if (options_.onAnswerText) {
        std::string text = first + second;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        options_.onAnswerText(text, lastWriteAt_);
    }
}

bool MeterEmulator::Transmit(std::string_view bytes) {
    if (LinkFd() < 0)
        return false;
    if (options_.baud == 0) {
        lastWriteAt_ = Clock::now();
        return WriteLink(bytes);
    }
    // A byte is there for the program only once its stop bit has been sent.
    auto due = Clock::now();
    for (const char c : bytes) {
        due += MeterByteTime();
        if (!SleepUntil(due))
            return false;
        // Taken before the write: the write may wake the program's reader,
        // which can keep this thread off the processor for a while.
        lastWriteAt_ = Clock::now();
        if (!WriteLink(std::string_view(&c, 1)))
            return false;
    }
    return true;
}

std::chrono::nanoseconds MeterEmulator::MeterByteTime() const {
    if (options_.baud == 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds((9 + options_.meterStopBits) * 1'000'000'000LL / options_.baud);
}

std::chrono::nanoseconds MeterEmulator::ByteTime() const {
    // One start bit, eight data bits, one stop bit per character.
    if (options_.baud == 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(10'000'000'000LL / options_.baud);
}

void MeterEmulator::HangUp(bool reopen, std::chrono::milliseconds gap) {
    if (tcp_) {
        // The meter goes off the network and, when it reopens, listens again.
        tcp_->DropConnection();
        tcp_->StopListening();
        lineBuffer_.clear();
        if (reopen && !Sleep(gap))
            return;
        if (reopen)
            tcp_->Listen();
        ++hangups_;
        if (reopen && options_.onReopened)
            options_.onReopened(Clock::now());
        return;
    }
    pty_->Close();
    lineBuffer_.clear();
    busOutput_.clear();
    escaped_ = false;
    if (!reopen && !options_.linkPath.empty()) {
        // Unplugged for good: the link goes too, or it would lead to
        // whichever pseudo-terminal gets the freed number next (another
        // test's meter).
        ::unlink(options_.linkPath.c_str());
    }
    if (reopen && gap.count() > 0) {
        // Unplugged for a while: the port is gone from its path, then comes back there.
        if (!options_.linkPath.empty())
            ::unlink(options_.linkPath.c_str());
        if (!Sleep(gap))
            return;
    }
    if (reopen) {
        pty_ = std::make_unique<PseudoTerminal>();
        {
            std::lock_guard lock(mutex_);
            slavePath_ = pty_->SlavePath();
        }
        UpdateLink();
    }
    ++hangups_; // counted once the new port is ready
    if (reopen && options_.onReopened)
        options_.onReopened(Clock::now());
}

bool MeterEmulator::Sleep(std::chrono::milliseconds duration) {
    if (duration.count() <= 0)
        return !stopping_;
    return SleepUntil(Clock::now() + duration);
}

bool MeterEmulator::SleepUntil(Clock::time_point until) {
    // To the microsecond, not the millisecond: byte and measurement times
    // add up over a reading, and the program's timer grid is only 50 ms.
    pollfd wake{wakeFd_, POLLIN, 0};
    for (auto now = Clock::now(); !stopping_ && now < until; now = Clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(until - now).count();
        const timespec timeout{static_cast<time_t>(left / 1'000'000'000),
                               static_cast<long>(left % 1'000'000'000)};
        if (::ppoll(&wake, 1, &timeout, nullptr) > 0 && (wake.revents & POLLIN)) {
            // A wake-up for new steps must not cut the pause short, only a stop.
            uint64_t count = 0;
            (void)::read(wakeFd_, &count, sizeof count);
        }
    }
    return !stopping_;
}

void MeterEmulator::UpdateLink() {
    if (options_.linkPath.empty())
        return;
    // Replace atomically, so a program opening the link never finds it missing.
    const std::string temporary = options_.linkPath + ".new";
    ::unlink(temporary.c_str());
    if (::symlink(SlavePath().c_str(), temporary.c_str()) != 0 ||
        ::rename(temporary.c_str(), options_.linkPath.c_str()) != 0)
        throw std::system_error(errno, std::generic_category(), "link " + options_.linkPath);
}

} // namespace velmora
