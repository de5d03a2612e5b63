#include "cli/Cli.h"
#include "platform/System.h"

#include <atomic>
#include <iostream>

using namespace quorvane;

namespace {

// The first Ctrl-C asks the run to stop after the picture being written; a second one ends the process
// at once.
std::atomic<bool> interrupted{false};

} // namespace

int main(int argc, char** argv)
{
    TuneAllocatorForPictures();
    StopOnInterrupt(&interrupted);
    UseUtf8Console();
    std::ios::sync_with_stdio(false);
    return RunCli(ProgramArguments(argc, argv), std::cout, std::cerr, StandardErrorIsTerminal(), &interrupted,
                  LanguageFor(PreferredLanguages()));
}
