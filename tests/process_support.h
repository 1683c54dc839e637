// Running the programs as separate processes in tests: their paths in the
// build, starting them with a private TARVEL_SIM_DIR and their output in
// files, and waiting for them with a time limit.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "capture/sim_fixture.h"

inline std::string binary_path(const char *relative) {
    const char *binary_dir = std::getenv("TARVEL_BINARY_DIR");
    return std::string(binary_dir != nullptr ? binary_dir : ".") + "/" + relative;
}

inline std::string text_of(const std::string &name) {
    std::vector<unsigned char> bytes = file_bytes(name);
    return std::string(bytes.begin(), bytes.end());
}

// Starts a program with TARVEL_SIM_DIR set and its output in files (an
// empty out_name: standard output closed), in folder when one is given.
inline pid_t spawn(const std::vector<std::string> &arguments, const std::string &world,
            const std::string &out_name, const std::string &err_name,
            const std::string &folder = "") {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("TARVEL_SIM_DIR", world.c_str(), 1);
        int err = open(err_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        if (out_name.empty()) {
            close(1);
        } else {
            dup2(open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        }
        if (!folder.empty() && chdir(folder.c_str()) != 0) {
            _exit(127);
        }
        std::vector<char *> argv;
        for (const std::string &argument : arguments) {
            argv.push_back(const_cast<char *>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Signals one started program. A pid that is not a child's (fork failed, or
// already waited for) is refused: kill(-1, ...) would reach every process.
inline void send_signal(pid_t pid, int signal) {
    if (pid > 0) {
        kill(pid, signal);
    }
}

// The exit status, or -1 (after killing it) when it does not end in time.
inline int wait_for(pid_t pid, int seconds) {
    if (pid <= 0) {
        return -1;
    }
    for (int step = 0; step < seconds * 100; ++step) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    send_signal(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

inline bool wait_for_file(const std::string &name, int seconds) {
    for (int step = 0; step < seconds * 100; ++step) {
        if (file_exists(name)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}
