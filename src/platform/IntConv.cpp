#include "platform/IntConv.h"

#include "platform/EngineError.h"

namespace quorvane {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::optional<int32_t> TryStrToInt(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    int base = 10;
    bool negative = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && text[i + 1] == 'x') {
        base = 16;
        i += 2;
    } else if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    // Accumulate the magnitude in 64 bits and stop as soon as it cannot fit any more.
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = base == 16 ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > limit) {
            return std::nullopt;
        }
    }
    return static_cast<int32_t>(negative ? -value : value);
}

int32_t StrToInt(const std::string& text)
{
    if (auto value = TryStrToInt(text)) {
        return *value;
    }
    throw EngineError("'" + text + "' is not a valid integer value");
}

std::string IntToStr(int64_t value)
{
    return std::to_string(value);
}

} // namespace quorvane
