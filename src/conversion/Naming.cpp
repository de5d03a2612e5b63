#include "conversion/Naming.h"

#include "platform/IntConv.h"

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
