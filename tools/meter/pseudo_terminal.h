// A pseudo-terminal pair for tests and the meter emulator: the master end is ours, the slave path
// is the "port".
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// Opens a master (non-blocking, raw: nothing echoed or translated) and
// keeps one slave descriptor open so that the master does not see a
// hang-up while nobody else has the port open. The slave keeps the line
// settings the kernel gives a new terminal (canonical, echo, CR/LF
// translation), as a real serial port has them before a program sets it
// up: whoever opens SlavePath() plays the program's side and must make the
// line raw itself. Closing the master hangs the slave side up, as an
// unplugged adapter would.
class PseudoTerminal {
public:
    // Throws std::system_error when no pseudo-terminal can be had.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int MasterFd() const { return master_; }
    // The held slave descriptor: its line settings are the port's, so tests
    // read them here without opening the port a second time.
    int HeldSlaveFd() const { return heldSlave_; }
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
