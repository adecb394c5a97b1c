// velmora-log as a child process for tests: started with its output in a folder, waited for.
#pragma once

#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace velmora {

using namespace std::chrono_literals;

struct LoggerResult {
    int status = -1; // exit status, or -1 when it did not end by itself
    std::string errors;
};

// Starts velmora-log with `arguments`, its output in `folder` (prefix.stdout.txt,
// prefix.stderr.txt); 0 when it cannot be started.
inline pid_t StartLogger(const std::vector<std::string>& arguments, test::TempFolder& folder,
                         const std::string& prefix = {}) {
    const std::string errorsPath = folder / (prefix + "stderr.txt");
    std::vector<std::string> all = {VELMORA_LOG_PROGRAM};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 1, (folder / (prefix + "stdout.txt")).c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        ADD_FAILURE() << "cannot start " << VELMORA_LOG_PROGRAM;
        pid = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits (at most `limit`) for a logger StartLogger started.
inline LoggerResult WaitForLogger(pid_t pid, test::TempFolder& folder,
                                  const std::string& prefix = {},
                                  std::chrono::seconds limit = 20s) {
    LoggerResult run;
    if (pid == 0) {
        return run;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + limit; // the longest run takes 12 s
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "velmora-log did not end";
            return run;
        }
        std::this_thread::sleep_for(10ms);
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.errors = test::ReadBytes(folder / (prefix + "stderr.txt")).value_or("");
    return run;
}

// Runs velmora-log with `arguments` to its end; `whileRunning` may signal it.
inline LoggerResult RunLogger(const std::vector<std::string>& arguments, test::TempFolder& folder,
                              const std::function<void(pid_t)>& whileRunning = {},
                              std::chrono::seconds limit = 20s) {
    const pid_t pid = StartLogger(arguments, folder);
    if (pid != 0 && whileRunning) {
        whileRunning(pid);
    }
    return WaitForLogger(pid, folder, {}, limit);
}

} // namespace velmora
