#include "support/ChildProcess.h"

#include <windows.h>

#include <psapi.h>

namespace quorvane {

namespace {

std::wstring Widen(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// One argument as the C runtime splits a command line: quoted, with backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& arg)
{
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

HANDLE Output(const std::string& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

ChildResult RunChild(const std::vector<std::string>& args, const ChildOptions& options)
{
    std::wstring commandLine;
    for (const std::string& arg : args) {
        commandLine += (commandLine.empty() ? L"" : L" ") + Quoted(Widen(arg));
    }
    ChildResult result;
    HANDLE out = Output(options.OutPath);
    HANDLE err = Output(options.ErrPath);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const std::wstring folder = Widen(options.Folder);
    // A process group of its own, so that a Ctrl-Break sent to it reaches it alone.
    const bool started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                                        nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &process);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) {
        return result;
    }
    if (options.WhileRunning) {
        options.WhileRunning(process.dwProcessId);
    }
    const DWORD wait = options.Seconds > 0 ? static_cast<DWORD>(options.Seconds) * 1000 : INFINITE;
    if (WaitForSingleObject(process.hProcess, wait) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 255);
        WaitForSingleObject(process.hProcess, INFINITE);
        result.TimedOut = true;
    }
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    result.Status = result.TimedOut ? -1 : static_cast<int>(status);
    PROCESS_MEMORY_COUNTERS counters{};
    if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters)) {
        result.PeakKiB = static_cast<long>(counters.PeakWorkingSetSize / 1024);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

void InterruptChild(int64_t id)
{
    GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(id));
}

WhyNot WhyNoChildInterrupts()
{
    return "a console event reaches no child without a console of its own under Wine";
}

WhyNot WhyNoPeakMemory()
{
    return "under Wine a process's peak working set counts Wine's own libraries and varies from run to run";
}

} // namespace quorvane
