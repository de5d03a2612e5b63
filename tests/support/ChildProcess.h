#pragma once

#include "support/SystemKit.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvane {

// Runs a program as a child process for the tests of the real command-line tool, with its standard output
// and error in files. The system's part lives in ChildProcess_posix.cpp and ChildProcess_win.cpp.
struct ChildOptions {
    std::string OutPath;                       // standard output goes here
    std::string ErrPath;                       // standard error goes here
    std::string Folder;                        // the child's current folder; empty: the test's own
    int Seconds = 0;                           // killed after this long; 0: no limit
    uint64_t AddressSpace = 0;                 // a limit on the child's address space where the system has one; 0: none
    std::function<void(int64_t)> WhileRunning; // called with the child's process id while it runs
};

struct ChildResult {
    int Status = -1; // exit status; -1 when killed or not started
    bool TimedOut = false;
    long PeakKiB = 0; // the child's peak resident memory
};

ChildResult RunChild(const std::vector<std::string>& argv, const ChildOptions& options);

// Asks a running child to stop as Ctrl-C would.
void InterruptChild(int64_t id);

// Why InterruptChild() does not reach a child here; nullptr where it does.
WhyNot WhyNoChildInterrupts();

// Why a child's PeakKiB does not measure the program alone here; nullptr where it does.
WhyNot WhyNoPeakMemory();

} // namespace quorvane
