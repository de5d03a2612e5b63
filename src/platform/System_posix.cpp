#include "platform/System.h"

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

} // namespace quorvane
