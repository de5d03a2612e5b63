#pragma once

#include "Messages.h"

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

// Exit statuses of the command-line front end.
namespace CliExit {
inline constexpr int Clean = 0;         // completed, nothing skipped, every save succeeded
inline constexpr int WithFailures = 1;  // completed with skipped pictures or failed saves
inline constexpr int Stopped = 2;       // an input test refused the run, or an error ended it
inline constexpr int Usage = 64;        // malformed command line
inline constexpr int Interrupted = 130; // stopped by Ctrl-C after the report of what was done so far
} // namespace CliExit

// Runs the command line given as arguments (without the program name). The report goes to `out`;
// messages, errors and (when `progressOnErr`) the gauge go to `err`, every line in `language`. Setting
// `stop` ends the run after the picture being written.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressOnErr,
           const std::atomic<bool>* stop = nullptr, quorvane::Language language = quorvane::Language::Russian);
