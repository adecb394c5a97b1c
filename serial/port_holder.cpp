// Who holds a serial device: the kernel's lock list and the processes' open descriptors.
#include "serial/port_holder.h"

#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace velmora {

namespace {

std::string CommandName(const std::string& procRoot, pid_t pid) {
    std::ifstream file(procRoot + "/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(file, name);
    return name.empty() ? "process " + std::to_string(pid) : name;
}

void Add(std::vector<PortHolder>& holders, const std::string& procRoot, pid_t pid, pid_t self) {
    if (pid <= 0 || pid == self)
        return;
    for (const PortHolder& holder : holders)
        if (holder.pid == pid)
            return;
    holders.push_back({pid, CommandName(procRoot, pid)});
}

// Lines such as "1: FLOCK  ADVISORY  WRITE 812 00:1a:4 0 EOF" (the device as
// hexadecimal major:minor of its file system and the inode number); lines
// marked "->" wait for a lock and hold none.
void FromLocks(std::vector<PortHolder>& holders, const std::string& procRoot,
               const struct stat& device, pid_t self) {
    std::ifstream locks(procRoot + "/locks");
    for (std::string line; std::getline(locks, line);) {
        if (line.find("->") != std::string::npos)
            continue;
        std::istringstream fields(line);
        std::string id, kind, mode, access, where;
        long pid = 0;
        if (!(fields >> id >> kind >> mode >> access >> pid >> where))
            continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3)
            continue;
        if (major == ::major(device.st_dev) && minor == ::minor(device.st_dev) &&
            inode == device.st_ino)
            Add(holders, procRoot, static_cast<pid_t>(pid), self);
    }
}

void FromOpenFiles(std::vector<PortHolder>& holders, const std::string& procRoot,
                   const std::string& devicePath, pid_t self) {
    DIR* processes = ::opendir(procRoot.c_str());
    if (!processes)
        return;
    while (const dirent* entry = ::readdir(processes)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0)
            continue;
        const std::string fds = procRoot + "/" + entry->d_name + "/fd";
        std::error_code error;
        for (std::filesystem::directory_iterator it(fds, error), done; !error && it != done;
             it.increment(error)) {
            std::error_code linkError;
            if (std::filesystem::read_symlink(it->path(), linkError) == devicePath) {
                Add(holders, procRoot, static_cast<pid_t>(pid), self);
                break;
            }
        }
    }
    ::closedir(processes);
}

} // namespace

std::vector<PortHolder> FindPortHolders(const std::string& devicePath, const std::string& procRoot,
                                        pid_t self) {
    std::vector<PortHolder> holders;
    std::error_code error;
    const std::string real = std::filesystem::canonical(devicePath, error).string();
    struct stat device {};
    if (error || ::stat(real.c_str(), &device) != 0)
        return holders;
    FromLocks(holders, procRoot, device, self);
    FromOpenFiles(holders, procRoot, real, self);
    return holders;
}

} // namespace velmora
