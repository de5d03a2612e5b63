#include "cli/Cli.h"
#include "platform/System.h"

#include <atomic>
#include <csignal>
#include <iostream>

using namespace quorvane;

namespace {

std::atomic<bool> interrupted{false};

// The first Ctrl-C asks the run to stop after the picture being written; a second one ends the process
// at once.
extern "C" void OnInterrupt(int signal)
{
    interrupted.store(true);
    std::signal(signal, SIG_DFL);
}

} // namespace

int main(int argc, char** argv)
{
    TuneAllocatorForPictures();
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    return RunCli(args, std::cout, std::cerr, StandardErrorIsTerminal(), &interrupted);
}
