#include "platform/Wide_win.h"

#include <windows.h>

namespace quorvane {

std::wstring Widen(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string Narrow(std::wstring_view text)
{
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::wstring WidePath(std::string_view path)
{
    std::wstring wide = Widen(path);
    // Room for "\*" and a file name of a listing: anything near the limit takes the long form.
    if (wide.size() < MAX_PATH - 16 || wide.starts_with(L"\\\\?\\")) {
        return wide;
    }
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return wide;
    }
    std::wstring full(needed, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (got == 0 || got >= needed) {
        return wide;
    }
    full.resize(got);
    if (full.starts_with(L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2); // \\server\share\...
    }
    return L"\\\\?\\" + full;
}

} // namespace quorvane
