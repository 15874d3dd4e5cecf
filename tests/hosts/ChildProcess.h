// Runs a host program as a child process for the tests: its arguments, its standard output
// and error, its exit status; or keeps it running (the HTTP host) until the test ends. No
// test waits for a child without end: one that outlives its bound is killed, and the test
// fails saying so.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

struct ProcessResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

namespace child_process {

// How long a child may take to end once it should: the HTTP host's own bound for finishing
// what is in flight after a stop (10 s), with room for a loaded machine and the sanitizers.
constexpr std::chrono::seconds kEndBound{30};

inline std::vector<char*> Argv(const std::string& program, std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return argv;
}

// Waits for the child to end, up to `bound`; past it kills it and fails the test. Its raw
// wait status.
inline int Reap(pid_t pid, const std::string& program, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << program << " (pid " << pid << ") had not ended " << bound.count()
                          << " ms after it should have, and was killed";
            break;
        }
        usleep(10000);
    }
    return status;
}

inline void ReadAll(int out_fd, int err_fd, ProcessResult* result) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, 30000) <= 0) break;
        for (pollfd& p : fds) {
            if (p.fd < 0 || p.revents == 0) continue;
            char buffer[65536];
            const ssize_t n = read(p.fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(p.fd);
                p.fd = -1;
                --open;
                continue;
            }
            (&p == &fds[0] ? result->out : result->err).append(buffer, static_cast<size_t>(n));
        }
    }
    for (const pollfd& p : fds) {
        if (p.fd >= 0) close(p.fd);  // silent for 30 s: the caller's bound decides
    }
}

}  // namespace child_process

// Runs program with args to its end. With terminal_stdout, standard output is a terminal.
// Standard input is `input` through a pipe (at most 64 KiB, what a pipe holds), or /dev/null.
inline ProcessResult RunProgram(const std::string& program, std::vector<std::string> args,
                                bool terminal_stdout = false, const std::string* input = nullptr) {
    int out[2], err[2], in[2];
    if (pipe(err) != 0) return {};
    if (input != nullptr ? pipe(in) != 0 : (in[0] = open("/dev/null", O_RDONLY)) < 0) return {};
    if (terminal_stdout) {
        if (openpty(&out[0], &out[1], nullptr, nullptr, nullptr) != 0) return {};
    } else if (pipe(out) != 0) {
        return {};
    }
    const auto argv = child_process::Argv(program, args);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(out[0]);
        close(err[0]);
        if (input != nullptr) close(in[1]);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (input != nullptr) {
        signal(SIGPIPE, SIG_IGN);  // a child that exits unread must not end the test
        const ssize_t written = write(in[1], input->data(), input->size());
        (void)written;  // a program that stops reading early is no error of the test's
        close(in[1]);
    }
    ProcessResult result;
    child_process::ReadAll(out[0], err[0], &result);
    const int status = child_process::Reap(pid, program, child_process::kEndBound);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// A program left running, stopped with SIGTERM when the object goes; one that does not end
// within kEndBound of it is killed and fails the test.
class RunningProgram {
public:
    // in_child, if given, runs in the child just before the program starts (to set its
    // environment, descriptors or limits).
    RunningProgram(const std::string& program, std::vector<std::string> args,
                   const std::function<void()>& in_child = {}) {
        int out[2];
        if (pipe(out) != 0) return;
        const auto argv = child_process::Argv(program, args);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            if (in_child) in_child();
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        program_ = program;
    }
    ~RunningProgram() { Stop(); }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Reads standard output until a line containing `marker`; the text read, or "" on timeout.
    std::string WaitFor(const std::string& marker) {
        std::string seen;
        while (seen.find(marker) == std::string::npos) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 20000) <= 0) return "";
            char buffer[4096];
            const ssize_t n = read(out_, buffer, sizeof buffer);
            if (n <= 0) return "";
            seen.append(buffer, static_cast<size_t>(n));
        }
        return seen;
    }

    pid_t pid() const { return pid_; }
    void Signal(int number) const { kill(pid_, number); }

    // Waits up to `timeout` for the program to end: its exit status, -1 when it did not exit
    // normally, or -2 when it is still running.
    int Wait(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) return -2;
            usleep(10000);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Sends SIGTERM and waits, at most kEndBound: the exit status, or -1.
    int Stop() {
        int status = -1;
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            const int raw = child_process::Reap(pid_, program_, child_process::kEndBound);
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            pid_ = -1;
        }
        if (out_ >= 0) close(out_);
        out_ = -1;
        return status;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string program_;
};
