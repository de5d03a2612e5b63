#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvane {

// What the program asks of the system as a whole: memory size, allocator tuning, the terminal, the
// display, leaving at once, the command line, interrupts, where the desktop tool keeps its files and its
// sign of running. The system's part lives in System_posix.cpp and System_win.cpp.

// The machine's physical memory in bytes; 0 when it cannot be told.
int64_t PhysicalMemoryBytes();

// Sets the heap up for a program whose large buffers live in mappings of their own (PictureMemory.h):
// every thread allocates from one arena, and blocks of a megabyte and more (encoded pictures growing) are
// mapped too, so that no hole of theirs keeps the heap large. A process-wide choice: only main() calls it.
void TuneAllocatorForPictures();

// Gives the memory the allocator keeps for reuse back to the system (at the end of a run).
void ReturnFreeMemory();

// Whether standard error is a terminal (where a percentage line may be redrawn in place).
bool StandardErrorIsTerminal();

// Whether a window can be shown: on systems with display servers, whether the environment names one that
// the Qt platform in use (QT_QPA_PLATFORM) connects to; platforms that need no display server count as
// available.
bool DisplayAvailable();

// Ends the process at once with `status`: no destructors, no handlers, no flushing of C++ streams.
[[noreturn]] void ExitNow(int status);

// The program's arguments (argv[1] on) as UTF-8 texts; on Windows taken from the wide command line, so every
// character of a path comes through.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Standard output and error carry the UTF-8 bytes as the program writes them, and a console shows them:
// on Windows the console's output code page becomes UTF-8 and no CR is put before each LF.
void UseUtf8Console();

// The first interrupt from the terminal (Ctrl-C; on Windows also the console closing) sets `flag`; a second
// Ctrl-C ends the process at once. `flag` must live as long as the process.
void StopOnInterrupt(std::atomic<bool>* flag);

// The user's preferred languages, most preferred first ("ru_RU.UTF-8", "en-US", "C"): on POSIX the list in
// $LANGUAGE, else the first of $LC_ALL, $LC_MESSAGES and $LANG that is set; on Windows the list in
// %LANGUAGE% when set, else the user's display languages.
std::vector<std::string> PreferredLanguages();

// A folder under the user's home in the system's path form, for examples in the help ("~/Photos").
std::string ExamplePathUnderHome(const std::string& name);

// The folder a menu start works in: on POSIX $XDG_DATA_HOME/quorvane when that variable holds an absolute
// path, else $HOME/.local/share/quorvane; on Windows %APPDATA%\Quorvane.
std::filesystem::path UserDataFolder();

// Lets an installer tell that the desktop tool runs, so that it does not replace the program's files under
// it: on Windows a mutex named Local\Quorvane-running, held until the process ends (the installer,
// packaging/windows/quorvane.nsi, looks for that name); elsewhere nothing. Only the window program's main()
// calls it, once.
void AnnounceRunningProgram();

// Shows a run's progress, 0..100, on the taskbar button of the window whose native handle is `window`, or
// no progress when `percent` is below 0: on Windows through the taskbar's ITaskbarList3; elsewhere nothing.
// Called from the window's thread only.
void ShowTaskbarProgress(uintptr_t window, int percent);

} // namespace quorvane
