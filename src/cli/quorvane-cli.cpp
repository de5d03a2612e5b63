#include "cli/Cli.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <malloc.h>
#include <unistd.h>

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
#ifdef __GLIBC__
    // Workers free large picture buffers that another worker could use next; with one arena they do,
    // instead of each thread keeping its own freed memory.
    mallopt(M_ARENA_MAX, 1);
#endif
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    return RunCli(args, std::cout, std::cerr, isatty(STDERR_FILENO) != 0, &interrupted);
}
