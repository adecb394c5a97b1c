// A real server from Debian's packages as a child process of a test: started on loopback,
// its output in a log file shown when the test fails, stopped when the fixture goes.
#pragma once

#include "tests/settings/temp_folder.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace velmora::test {

// A loopback port nobody listens on now (taken and given back: another
// program could take it in between, which a test then reports).
inline quint16 FreeLoopbackPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        return 0;
    }
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// Whether something accepts connections on 127.0.0.1:`port`.
inline bool Listening(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

class ServerProcess {
public:
    explicit ServerProcess(std::string name)
        : name_(std::move(name)) {}
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess() {
        stop();
        if (testing::Test::HasFailure()) {
            std::printf("--- %s log ---\n%s--- end of %s log ---\n", name_.c_str(),
                        ReadBytes(logPath()).value_or("(none)\n").c_str(), name_.c_str());
        }
    }

    static bool Installed(const char* program) { return ::access(program, X_OK) == 0; }

    // Starts `arguments` (the program first) in `folder`, its output appended
    // to the log; then waits (at most 10 s) until `port` accepts connections
    // (port 0: a client, nothing to wait for).
    bool start(std::vector<std::string> arguments, const std::string& folder, quint16 port) {
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        log_ = folder + "/" + name_ + ".log";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, log_.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0) {
            pid_ = 0;
            ADD_FAILURE() << "cannot start " << arguments[0];
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (port != 0 && !Listening(port)) {
            if (!running() || std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << name_ << " does not listen on port " << port;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    bool running() {
        if (pid_ == 0) {
            return false;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = 0;
            return false;
        }
        return true;
    }

    // SIGTERM (SIGKILL after 5 s), waited for.
    void stop(int signal = SIGTERM) {
        if (pid_ == 0) {
            return;
        }
        ::kill(pid_, signal);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pid_ = 0;
    }

    std::string logPath() const { return log_; }

private:
    std::string name_;
    std::string log_;
    pid_t pid_ = 0;
};

} // namespace velmora::test
