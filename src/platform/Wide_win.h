#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// Texts inside the program are UTF-8; the Windows files of the platform layer convert them at each system
// call. Used by the *_win.cpp files only.

// UTF-8 to UTF-16 (an invalid byte becomes U+FFFD).
std::wstring Widen(std::string_view text);

// UTF-16 to UTF-8.
std::string Narrow(std::wstring_view text);

// A path for the wide file functions: an absolute path too long for the classic limit (MAX_PATH) is made
// whole ("\\?\" before its full form), so folders are walked whatever the length of their path.
std::wstring WidePath(std::string_view path);

} // namespace quorvane
