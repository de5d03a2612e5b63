// Typed text in, a 32-bit value or a refusal out, checked against the conversion rules written out
// independently here: leading blanks, then a sign and decimal digits, or "$", "x", "X" or "0x" and
// hexadecimal digits, nothing after them, and a value that fits in 32 signed bits.

#include "platform/EngineError.h"
#include "platform/IntConv.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

using namespace quorvane;

namespace {

std::optional<int64_t> ByTheRules(std::string_view text)
{
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    text.remove_prefix(start);
    int base = 10;
    bool negative = false;
    if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.starts_with("0x")) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.starts_with('+') || text.starts_with('-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars would take a sign of its own; only digits may remain here.
    if (text.empty() || text.front() == '-' || text.front() == '+') {
        return std::nullopt;
    }
    uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (end != text.data() + text.size()) {
        return std::nullopt;
    }
    const uint64_t limit = negative ? 2147483648u : 2147483647u;
    if (error == std::errc::result_out_of_range || magnitude > limit) {
        return std::nullopt;
    }
    return negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
}

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<int32_t> value = TryStrToInt(text);
    const std::optional<int64_t> expected = ByTheRules(text);
    Check(value.has_value() == expected.has_value());
    if (value) {
        Check(*value == *expected);
        // The decimal text of the value, with or without blanks before it, converts back to it.
        Check(TryStrToInt(IntToStr(*value)) == value);
        Check(TryStrToInt("  " + IntToStr(*value)) == value);
        Check(StrToInt(text) == *value);
        return 0;
    }
    try {
        StrToInt(text);
        Check(false);
    } catch (const EngineError& error) {
        // The text is shown as it stands (as far as a C string carries it).
        const std::string message = "'" + text + "' is not a valid integer value";
        Check(std::string_view(error.what()) == std::string_view(message).substr(0, message.find('\0')));
    }
    return 0;
}
