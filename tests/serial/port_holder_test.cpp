// Who holds a port: found in the kernel's lock list and in other processes' open descriptors.
#include "serial/port_holder.h"

#include "tests/settings/temp_folder.h"
#include "tools/meter/pseudo_terminal.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// A child process that holds `path` open (and locked) until released.
class Holder {
public:
    Holder(const std::string& path, bool lock) {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(release_), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char ok = fd >= 0 && (!lock || ::flock(fd, LOCK_EX | LOCK_NB) == 0) ? '1' : '0';
            (void)::write(ready[1], &ok, 1);
            char done;
            (void)::read(release_[0], &done, 1);
            ::_exit(0);
        }
        char ok = 0;
        EXPECT_EQ(::read(ready[0], &ok, 1), 1);
        EXPECT_EQ(ok, '1');
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~Holder() {
        (void)::write(release_[1], "x", 1);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        ::close(release_[0]);
        ::close(release_[1]);
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int release_[2] = {-1, -1};
};

std::string OwnName() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

TEST(PortHolders, ALockingProcessIsFoundByNameAndNumber) {
    PseudoTerminal pty; // this process holds the slave too, and does not count
    for (const bool lock : {true, false}) {
        SCOPED_TRACE(lock ? "locked" : "only open");
        Holder holder(pty.SlavePath(), lock);
        const std::vector<PortHolder> found = FindPortHolders(pty.SlavePath());
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].pid, holder.pid());
        EXPECT_EQ(found[0].name, OwnName()) << "a forked child keeps its parent's name";
    }
    EXPECT_TRUE(FindPortHolders(pty.SlavePath()).empty());
}

// A /proc of the test's own making: the parsing rules, one line at a time.
TEST(PortHolders, LockLinesOfOtherFilesOrWaitersDoNotCount) {
    TempFolder proc;
    const std::string device = proc / "ttyUSB0";
    WriteBytes(device, "");
    struct stat info {};
    ASSERT_EQ(::stat(device.c_str(), &info), 0);
    char where[64];
    std::snprintf(where, sizeof where, "%02x:%02x:%llu", ::major(info.st_dev), ::minor(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    char other[64];
    std::snprintf(other, sizeof other, "%02x:%02x:%llu", ::major(info.st_dev), ::minor(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino) + 1);
    WriteBytes(proc / "locks", std::string("1: FLOCK  ADVISORY  WRITE 812 ") + where +
                                   " 0 EOF\n"
                                   "2: FLOCK  ADVISORY  WRITE 900 " +
                                   other +
                                   " 0 EOF\n"
                                   "3: -> FLOCK  ADVISORY  WRITE 901 " +
                                   where +
                                   " 0 EOF\n"
                                   "garbage line\n"
                                   "4: POSIX  ADVISORY  WRITE 812 " +
                                   where + " 0 EOF\n");
    fs::create_directories(proc / "812");
    WriteBytes(proc / "812/comm", "ModemManager\n");
    fs::create_directories(proc / "4242/fd");
    WriteBytes(proc / "4242/comm", "brltty\n");
    fs::create_symlink(device, proc / "4242/fd/7");
    fs::create_directories(proc / "4343/fd");
    fs::create_symlink(proc / "elsewhere", proc / "4343/fd/3");

    EXPECT_EQ(FindPortHolders(device, proc.path(), 1),
              (std::vector<PortHolder>{{812, "ModemManager"}, {4242, "brltty"}}));
    // Our own process is never named as the holder.
    EXPECT_EQ(FindPortHolders(device, proc.path(), 812),
              (std::vector<PortHolder>{{4242, "brltty"}}));
    EXPECT_TRUE(FindPortHolders(proc / "missing", proc.path(), 1).empty());
}

} // namespace
} // namespace velmora::test
