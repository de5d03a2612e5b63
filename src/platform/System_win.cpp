#include "platform/System.h"
#include "platform/Wide_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <shobjidl.h>
#include <utility>

namespace quorvane {

int64_t PhysicalMemoryBytes()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? static_cast<int64_t>(status.ullTotalPhys) : 0;
}

void TuneAllocatorForPictures()
{
    // The Windows heap gives large blocks back whole on its own; picture buffers are mapped apart anyway.
}

void ReturnFreeMemory()
{
    HeapCompact(GetProcessHeap(), 0);
}

bool StandardErrorIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool DisplayAvailable()
{
    return true; // the desktop needs no variable to be reached
}

void ExitNow(int status)
{
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    ExitProcess(static_cast<UINT>(status)); // not reached
}

std::vector<std::string> ProgramArguments(int, char**)
{
    // argv holds the arguments in the ANSI code page, which cannot spell every name: the wide command line can.
    std::vector<std::string> args;
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) {
            args.push_back(Narrow(wide[i]));
        }
        LocalFree(wide);
    }
    return args;
}

void UseUtf8Console()
{
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

namespace {

std::atomic<bool>* interruptFlag = nullptr;

// Ctrl-C or Ctrl-Break asks the run to stop after the picture being written, and so does closing the console
// (the system then ends the process shortly); a second Ctrl-C ends the process at once.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && interruptFlag->exchange(true)) {
        return FALSE;
    }
    interruptFlag->store(true);
    return TRUE;
}

} // namespace

void StopOnInterrupt(std::atomic<bool>* flag)
{
    interruptFlag = flag;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::filesystem::path UserDataFolder()
{
    const wchar_t* appData = _wgetenv(L"APPDATA");
    return std::filesystem::path(appData != nullptr ? appData : L"") / L"Quorvane";
}

void AnnounceRunningProgram()
{
    // The handle is never closed: the system lets the mutex go when the process ends, however it ends.
    CreateMutexW(nullptr, FALSE, L"Local\\Quorvane-running");
}

void ShowTaskbarProgress(uintptr_t window, int percent)
{
    // The taskbar's object is made once, on the window's thread (where Qt has started COM); where there is
    // none, nothing is shown.
    static ITaskbarList3* const taskbar = [] {
        ITaskbarList3* made = nullptr;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                    reinterpret_cast<void**>(&made))) ||
            FAILED(made->HrInit())) {
            if (made != nullptr) {
                made->Release();
            }
            return static_cast<ITaskbarList3*>(nullptr);
        }
        return made;
    }();
    const auto hwnd = reinterpret_cast<HWND>(window);
    if (taskbar == nullptr || hwnd == nullptr) {
        return;
    }
    if (percent < 0) {
        taskbar->SetProgressState(hwnd, TBPF_NOPROGRESS);
        return;
    }
    taskbar->SetProgressState(hwnd, TBPF_NORMAL);
    taskbar->SetProgressValue(hwnd, static_cast<ULONGLONG>(std::min(percent, 100)), 100);
}

std::vector<std::string> PreferredLanguages()
{
    std::vector<std::string> languages;
    // %LANGUAGE% chooses as on other systems (and lets a test or a script choose).
    if (const wchar_t* list = _wgetenv(L"LANGUAGE"); list != nullptr && *list != L'\0') {
        std::string entry;
        for (const char c : Narrow(list) + ":") {
            if (c != ':') {
                entry += c;
            } else if (!entry.empty()) {
                languages.push_back(std::exchange(entry, {}));
            }
        }
        return languages;
    }
    ULONG count = 0;
    ULONG size = 0;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size) || size == 0) {
        return languages;
    }
    std::wstring names(size, L'\0');
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names.data(), &size)) {
        return languages;
    }
    // Names separated by NUL, the list ended by two.
    for (const wchar_t* name = names.c_str(); *name != L'\0'; name += std::wcslen(name) + 1) {
        languages.push_back(Narrow(name));
    }
    return languages;
}

std::string ExamplePathUnderHome(const std::string& name)
{
    return "C:\\" + name;
}

} // namespace quorvane
