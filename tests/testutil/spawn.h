#pragma once
// Runs a program with its standard output and error on pipes (posix_spawn), for tests
// of the built executable: wait for a line, send it a signal, collect what it printed.
#include <sys/types.h>

#include <string>
#include <vector>

namespace testutil {

struct ProgramResult {
    int status = -1;  // exit status; -1 when it did not exit normally
    int signal = 0;   // the signal that ended it, if any
    std::string out;  // standard output
    std::string err;  // standard error
};

class SpawnedProgram {
public:
    // Starts exe with args (argv[0] is exe). A failed start records a test failure.
    SpawnedProgram(const std::string &exe, const std::vector<std::string> &args);
    ~SpawnedProgram();
    SpawnedProgram(const SpawnedProgram &) = delete;
    SpawnedProgram &operator=(const SpawnedProgram &) = delete;

    // Reads output until standard output holds text or the program ends or seconds pass.
    bool wait_for_output(const std::string &text, double seconds);
    void send_signal(int sig);
    // Reads everything to the end and waits for the program.
    ProgramResult finish();
    const std::string &out() const { return result_.out; }

private:
    bool pump(int timeout_ms);  // false once both pipes are closed
    pid_t pid_ = -1;
    int out_fd_ = -1, err_fd_ = -1;
    ProgramResult result_;
};

// Runs exe with args to its end.
ProgramResult run_program(const std::string &exe, const std::vector<std::string> &args);

}  // namespace testutil
