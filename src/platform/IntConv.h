#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvane {

// Integer conversion of typed text: leading blanks, then an optional sign and decimal digits, or a
// "$", "x", "X" or "0x" prefix and hexadecimal digits; nothing may follow; the value must fit in 32
// signed bits.
std::optional<int32_t> TryStrToInt(const std::string& text);

// As TryStrToInt, but a failure throws EngineError("'<text>' is not a valid integer value").
int32_t StrToInt(const std::string& text);

std::string IntToStr(int64_t value);

} // namespace quorvane
