#include "platform/File.h"
#include "platform/TextFile.h"
#include "platform/Wide_win.h"

#include <windows.h>

namespace quorvane {

bool WriteTextFile(const std::string& path, std::string_view bytes, WriteMode mode)
{
    // Shared for reading and writing by others while open; reading too when the last byte may be a Ctrl-Z
    // to replace.
    const DWORD access = GENERIC_WRITE | (mode == WriteMode::AppendOverCtrlZ ? GENERIC_READ : 0);
    FileDescriptor file(reinterpret_cast<intptr_t>(CreateFileW(WidePath(path).c_str(), access,
                                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file) {
        return false;
    }
    const auto handle = reinterpret_cast<HANDLE>(file.Get());
    LARGE_INTEGER size{};
    // A device of that name (CON, NUL, a pipe) is not a text file.
    bool written = GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size);
    LARGE_INTEGER end = size;
    if (written && mode == WriteMode::Replace) {
        end.QuadPart = 0;
    }
    char last = 0;
    DWORD got = 0;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(size.QuadPart - 1);
    at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
    if (written && mode == WriteMode::AppendOverCtrlZ && size.QuadPart > 0 && ReadFile(handle, &last, 1, &got, &at) &&
        got == 1 && last == '\x1a') {
        end.QuadPart = size.QuadPart - 1;
    }
    written = written && SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
    for (size_t done = 0; written && done < bytes.size();) {
        DWORD wrote = 0;
        written = WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote, nullptr) &&
                  wrote > 0;
        done += wrote;
    }
    return file.Close() && written;
}

} // namespace quorvane
