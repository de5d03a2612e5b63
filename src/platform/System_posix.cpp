#include "platform/System.h"

#include <csignal>
#include <cstdlib>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace quorvane {

int64_t PhysicalMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? int64_t{pages} * pageSize : 0;
}

void TuneAllocatorForPictures()
{
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 4 << 20);
#endif
}

void ReturnFreeMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

} // namespace

bool DisplayAvailable()
{
#if defined(__linux__) || defined(__FreeBSD__)
    std::string platform = Environment("QT_QPA_PLATFORM");
    platform = platform.substr(0, platform.find(';'));
    platform = platform.substr(0, platform.find(':'));
    const std::string x11 = Environment("DISPLAY");
    const std::string wayland = Environment("WAYLAND_DISPLAY");
    if (platform.empty()) {
        return !x11.empty() || !wayland.empty();
    }
    if (platform == "wayland" || platform == "wayland-egl") {
        return !wayland.empty();
    }
    if (platform == "xcb") {
        return !x11.empty();
    }
    return true; // offscreen, vnc, eglfs, linuxfb...: they need no display server
#else
    return true; // a system whose window server needs no variable
#endif
}

void ExitNow(int status)
{
    _exit(status);
}

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

void UseUtf8Console()
{
    // Terminals take the bytes as they are.
}

namespace {

std::atomic<bool>* interruptFlag = nullptr;

extern "C" void OnInterrupt(int signal)
{
    interruptFlag->store(true);
    std::signal(signal, SIG_DFL);
}

} // namespace

void StopOnInterrupt(std::atomic<bool>* flag)
{
    interruptFlag = flag;
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

std::filesystem::path UserDataFolder()
{
    const std::string data = Environment("XDG_DATA_HOME");
    if (!data.empty() && data[0] == '/') {
        return std::filesystem::path(data) / "quorvane";
    }
    return std::filesystem::path(Environment("HOME")) / ".local/share/quorvane";
}

void AnnounceRunningProgram()
{
    // Packages are replaced by the package manager, which needs no such sign.
}

void ShowTaskbarProgress(uintptr_t /*window*/, int /*percent*/)
{
    // The desktops' task bars offer no common way to show it.
}

std::vector<std::string> PreferredLanguages()
{
    std::vector<std::string> languages;
    if (const char* list = std::getenv("LANGUAGE"); list != nullptr && *list != '\0') {
        std::string entry;
        for (const char* c = list;; ++c) {
            if (*c == ':' || *c == '\0') {
                if (!entry.empty()) {
                    languages.push_back(entry);
                }
                entry.clear();
                if (*c == '\0') {
                    break;
                }
            } else {
                entry += *c;
            }
        }
        return languages;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0') {
            languages.emplace_back(value);
            break;
        }
    }
    return languages;
}

std::string ExamplePathUnderHome(const std::string& name)
{
    return "~/" + name;
}

} // namespace quorvane
