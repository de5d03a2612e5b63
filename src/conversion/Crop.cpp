#include "conversion/Crop.h"

#include <algorithm>

namespace quorvane {

std::optional<CropPosition> ParseCropPosition(std::string_view text)
{
    if (text == "centre" || text == "center") {
        return CropPosition{};
    }
    if (text == "start") {
        return CropPosition{0};
    }
    if (text == "end") {
        return CropPosition{CropPosition::Whole};
    }
    if (text == "smart") {
        return CropPosition{.Smart = true};
    }
    // Digits, then at most one separator and six decimals, at least one digit in all.
    int64_t whole = 0;
    int64_t fraction = 0;
    int64_t scale = CropPosition::Whole;
    size_t digits = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        whole = std::min<int64_t>(whole * 10 + (text[i] - '0'), 10);
    }
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
            if (scale == 1) {
                return std::nullopt;
            }
            scale /= 10;
            fraction += (text[i] - '0') * scale;
        }
    }
    const int64_t millionths = whole * CropPosition::Whole + fraction;
    if (i != text.size() || digits == 0 || millionths > CropPosition::Whole) {
        return std::nullopt;
    }
    return CropPosition{millionths};
}

std::string CropPositionText(CropPosition position)
{
    if (position.Smart) {
        return "smart";
    }
    std::string text = std::to_string(position.Millionths / CropPosition::Whole);
    if (int64_t fraction = position.Millionths % CropPosition::Whole; fraction != 0) {
        std::string digits = std::to_string(CropPosition::Whole + fraction).substr(1);
        digits.erase(digits.find_last_not_of('0') + 1);
        text += "." + digits;
    }
    return text;
}

} // namespace quorvane
