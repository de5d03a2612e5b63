#include "conversion/Naming.h"

#include "platform/IntConv.h"

namespace quorvane {

NamePreview ComputeNamePreview(const std::string& prefixText, const std::string& digitCountText)
{
    const auto digits = TryStrToInt(digitCountText);
    if (!digits) {
        return {std::nullopt, "4"};
    }
    if (*digits < 1 || *digits > 8) {
        return {std::nullopt, "1"};
    }
    return {prefixText + std::string(static_cast<size_t>(*digits), '0'), std::nullopt};
}

int32_t RemoveLastZero(std::string& text)
{
    const size_t at = text.rfind('0');
    if (at == std::string::npos) {
        return 0;
    }
    text.erase(at, 1);
    return static_cast<int32_t>(at + 1);
}

void PrepareNumbering(RunState& state, const std::string& previewCaption, bool startTicked,
                      const std::string& startNumberText)
{
    state.NamePrefix = previewCaption;
    if (startTicked) {
        // The number is 32-bit and wraps around at the lowest value instead of overflowing.
        state.FileNumber = static_cast<int32_t>(static_cast<uint32_t>(ApplyStartNumber(state, startNumberText)) - 1u);
    } else {
        state.ZeroPosition = RemoveLastZero(state.NamePrefix);
    }
}

int32_t ApplyStartNumber(RunState& state, const std::string& startNumberText)
{
    const int32_t number = StrToInt(startNumberText);
    const std::string digits = IntToStr(number);
    state.ZeroDropLevel = static_cast<int32_t>(digits.size()) - 1;
    for (size_t i = 0; i < digits.size(); ++i) {
        state.ZeroPosition = RemoveLastZero(state.NamePrefix);
    }
    return number;
}

std::string NumberedFileName(RunState& state)
{
    const int32_t number = state.FileNumber;
    const auto level = static_cast<size_t>(state.ZeroDropLevel);
    if (state.ZeroDropLevel >= 0 && level < ZeroDropThresholds.size() && number == ZeroDropThresholds[level]) {
        state.ZeroPosition = RemoveLastZero(state.NamePrefix);
        ++state.ZeroDropLevel;
    }
    return state.NamePrefix + IntToStr(number) + ".jpg";
}

} // namespace quorvane
