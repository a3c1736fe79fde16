#include "testutil/spawn.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

extern char **environ;

namespace testutil {

SpawnedProgram::SpawnedProgram(const std::string &exe, const std::vector<std::string> &args) {
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(exe.c_str()));
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out_pipe[1]);
    close(err_pipe[1]);
    out_fd_ = out_pipe[0];
    err_fd_ = err_pipe[0];
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << exe << ": " << strerror(rc);
        pid_ = -1;
    }
}

SpawnedProgram::~SpawnedProgram() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_fd_ >= 0) close(out_fd_);
    if (err_fd_ >= 0) close(err_fd_);
}

bool SpawnedProgram::pump(int timeout_ms) {
    pollfd fds[2];
    int n = 0;
    if (out_fd_ >= 0) fds[n++] = {out_fd_, POLLIN, 0};
    if (err_fd_ >= 0) fds[n++] = {err_fd_, POLLIN, 0};
    if (n == 0) return false;
    if (poll(fds, nfds_t(n), timeout_ms) <= 0) return true;
    for (int i = 0; i < n; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buf[65536];
        const ssize_t got = read(fds[i].fd, buf, sizeof(buf));
        const bool is_out = fds[i].fd == out_fd_;
        if (got > 0) {
            (is_out ? result_.out : result_.err).append(buf, size_t(got));
        } else {
            close(fds[i].fd);
            (is_out ? out_fd_ : err_fd_) = -1;
        }
    }
    return true;
}

bool SpawnedProgram::wait_for_output(const std::string &text, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (result_.out.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= end || !pump(50)) return result_.out.find(text) != std::string::npos;
    }
    return true;
}

void SpawnedProgram::send_signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
}

ProgramResult SpawnedProgram::finish() {
    while (pump(1000)) {}
    if (pid_ > 0) {
        int st = 0;
        waitpid(pid_, &st, 0);
        pid_ = -1;
        result_.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        result_.signal = WIFSIGNALED(st) ? WTERMSIG(st) : 0;
    }
    return result_;
}

ProgramResult run_program(const std::string &exe, const std::vector<std::string> &args) {
    SpawnedProgram p(exe, args);
    return p.finish();
}

}  // namespace testutil
