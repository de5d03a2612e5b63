#include "support/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quorvane {

ChildResult RunChild(const std::vector<std::string>& args, const ChildOptions& options)
{
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (auto& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(options.OutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(options.ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) {
            _exit(120);
        }
        if (options.AddressSpace != 0) {
            const rlimit limit{options.AddressSpace, options.AddressSpace};
            if (setrlimit(RLIMIT_AS, &limit) != 0) {
                _exit(121);
            }
        }
        if (!options.Folder.empty() && chdir(options.Folder.c_str()) != 0) {
            _exit(123);
        }
        execv(argv[0], argv.data());
        _exit(122);
    }
    ChildResult result;
    if (pid < 0) {
        return result;
    }
    if (options.WhileRunning) {
        options.WhileRunning(pid);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.Seconds);
    int status = 0;
    rusage usage{};
    for (;;) {
        if (wait4(pid, &status, options.Seconds > 0 ? WNOHANG : 0, &usage) == pid) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            result.TimedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.PeakKiB = usage.ru_maxrss;
    return result;
}

void InterruptChild(int64_t id)
{
    kill(static_cast<pid_t>(id), SIGINT);
}

WhyNot WhyNoChildInterrupts()
{
    return nullptr;
}

WhyNot WhyNoPeakMemory()
{
    return nullptr;
}

} // namespace quorvane
