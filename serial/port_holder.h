// Who holds a serial device, as far as an ordinary process can see.
#pragma once

#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace velmora {

struct PortHolder {
    pid_t pid = 0;
    std::string name; // the process's command name ("ModemManager")

    bool operator==(const PortHolder&) const = default;
};

// The processes other than `self` that hold `devicePath`: those with a lock
// on it in <procRoot>/locks (readable by anyone), then those with it open
// among <procRoot>/<pid>/fd (readable for one's own processes, or as root).
// Each process once, in that order; empty when none can be found.
std::vector<PortHolder> FindPortHolders(const std::string& devicePath,
                                        const std::string& procRoot = "/proc",
                                        pid_t self = ::getpid());

} // namespace velmora
