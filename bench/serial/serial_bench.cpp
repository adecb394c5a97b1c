// Prints the serial path's latencies, measured on a pseudo-terminal:
//   delivery: last byte written at the far end -> OnReceiveData on the main thread, less the
//             interval
//   send:     SendData -> bytes readable at the far end
//   close:    ClosePort while XOFF holds a pending write, and while the driver's close blocks
// Targets: delivery median <= 1 ms and p99 <= 3 ms, send median <= 0.2 ms, close <= 100 ms.
#include "serial/comm.h"
#include "tools/meter/pseudo_terminal.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using velmora::PseudoTerminal;
using velmora::TComm;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* name, std::vector<double> samples, const char* target) {
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) { return samples[static_cast<size_t>(q * (samples.size() - 1))]; };
    std::printf("%-34s n=%-5zu median %8.3f ms   p99 %8.3f ms   max %8.3f ms   (%s)\n", name,
                samples.size(), at(0.5), at(0.99), samples.back(), target);
}

// Runs the event loop until `done` holds.
template <typename Condition>
void RunUntil(Condition done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
}

std::vector<double> DeliveryLatency(PseudoTerminal& pty, TComm& comm, uint32_t interval, int n) {
    comm.SetReadIntervalTimeout(interval);
    std::vector<double> samples;
    Clock::time_point delivered;
    bool got = false;
    comm.OnReceiveData = [&](TComm*, const char*, uint16_t) {
        delivered = Clock::now();
        got = true;
    };
    for (int i = 0; i < n; ++i) {
        got = false;
        pty.Write("+1.16040760E+03\r\n");
        const auto written = Clock::now();
        RunUntil([&] { return got; });
        samples.push_back(Milliseconds(delivered - written) - interval);
    }
    comm.OnReceiveData = nullptr;
    return samples;
}

std::vector<double> SendLatency(PseudoTerminal& pty, TComm& comm, int n) {
    std::vector<double> samples;
    for (int i = 0; i < n; ++i) {
        const auto start = Clock::now();
        comm.SendData("Read?\r\n", 7);
        pollfd in{pty.MasterFd(), POLLIN, 0};
        ::poll(&in, 1, 1000);
        samples.push_back(Milliseconds(Clock::now() - start));
        pty.Read(7, std::chrono::milliseconds(1000));
        QCoreApplication::processEvents(); // the empty notices
    }
    return samples;
}

std::vector<double> CloseWhileHeld(PseudoTerminal& pty, TComm& comm, int n) {
    std::vector<double> samples;
    const std::string block(4096, 'x');
    for (int i = 0; i < n; ++i) {
        comm.OpenPort();
        bool marker = false;
        comm.OnReceiveData = [&](TComm*, const char*, uint16_t) { marker = true; };
        pty.Write("\x13M"); // XOFF, then a byte that proves it was seen
        RunUntil([&] { return marker; });
        for (int k = 0; k < 3; ++k)
            comm.SendData(block.data(), static_cast<uint16_t>(block.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // let the writer block
        const auto start = Clock::now();
        comm.ClosePort();
        samples.push_back(Milliseconds(Clock::now() - start));
        pty.Write("\x11"); // XON for the next round
        pty.ReadUntilQuiet(std::chrono::milliseconds(5));
        QCoreApplication::processEvents();
    }
    comm.OnReceiveData = nullptr;
    return samples;
}

// A driver whose close takes 5 s, as a USB adapter's does when XOFF holds
// bytes it has taken and its closing wait cannot be dropped.
class SlowCloseIo : public velmora::SystemPortIo {
public:
    int Open(const char* path, int flags) override {
        const int fd = SystemPortIo::Open(path, flags);
        port_ = fd;
        return fd;
    }
    int Close(int fd) override {
        if (fd == port_)
            std::this_thread::sleep_for(std::chrono::seconds(5));
        return SystemPortIo::Close(fd);
    }

private:
    std::atomic<int> port_{-1};
};

std::vector<double> CloseThatBlocks(int n) {
    static SlowCloseIo io; // outlives the closes still under way
    std::vector<double> samples;
    for (int i = 0; i < n; ++i) {
        PseudoTerminal pty; // a port of its own: the last one's close is not over yet
        auto comm = std::make_unique<TComm>(nullptr, &io);
        comm->SetCommName(pty.SlavePath());
        comm->OpenPort();
        const auto start = Clock::now();
        comm->ClosePort();
        samples.push_back(Milliseconds(Clock::now() - start));
        comm.reset(); // waits for the slow close, off the clock
    }
    return samples;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    PseudoTerminal pty;
    TComm comm;
    comm.SetCommName(pty.SlavePath());
    comm.OpenPort();

    Report("delivery - interval (26 ms)", DeliveryLatency(pty, comm, 26, 300),
           "target median <= 1, p99 <= 3");
    Report("delivery - interval (5 ms)", DeliveryLatency(pty, comm, 5, 300),
           "target median <= 1, p99 <= 3");
    Report("SendData -> readable at far end", SendLatency(pty, comm, 2000), "target median <= 0.2");
    comm.ClosePort();
    Report("ClosePort while XOFF holds", CloseWhileHeld(pty, comm, 30), "target <= 100");
    Report("ClosePort, driver close takes 5 s", CloseThatBlocks(3), "target <= 100");
    return 0;
}
