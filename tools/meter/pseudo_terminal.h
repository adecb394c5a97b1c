// A pseudo-terminal pair for tests and the meter emulator: the master end is ours, the slave path
// is the "port".
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// Opens a master (non-blocking, raw: nothing echoed or translated) and
// keeps one slave descriptor open, also raw, so that the master does not
// see a hang-up while nobody else has the port open. Whoever opens
// SlavePath() afterwards plays the program's side. Closing the master
// hangs the slave side up, as an unplugged adapter would.
class PseudoTerminal {
public:
    // Throws std::system_error when no pseudo-terminal can be had.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }
    bool MasterOpen() const { return master_ >= 0; }

    // Writes every byte to the master, waiting for room; false when the
    // master is closed or `timeout` passes first.
    bool Write(std::string_view bytes,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // Reads until `count` bytes have come or `timeout` passes; returns what came.
    std::string Read(size_t count, std::chrono::milliseconds timeout);
    // Reads whatever arrives until `quiet` passes without a byte.
    std::string ReadUntilQuiet(std::chrono::milliseconds quiet);

    // Closes the master (the slave side is hung up) and the held slave descriptor.
    void Close();

private:
    int master_ = -1;
    int heldSlave_ = -1;
    std::string slavePath_;
};

} // namespace velmora
