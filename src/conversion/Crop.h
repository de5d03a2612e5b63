#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// Where the kept window falls along the side a picture is cropped on, in millionths of the excess: 0 keeps
// the left or top, Whole the right or bottom, and half of it, the default, the centre. A smart position is
// chosen from each picture's content when it is converted (until then it stands at the centre).
struct CropPosition {
    static constexpr int64_t Whole = 1000000;
    int64_t Millionths = Whole / 2;
    bool Smart = false;

    bool operator==(const CropPosition&) const = default;
};

// "centre" (or "center"), "start", "end", "smart", or a number from 0 to 1 written with '.' or ',' and at most six
// decimals; nothing for any other text.
std::optional<CropPosition> ParseCropPosition(std::string_view text);
// The position as a number that ParseCropPosition reads back: "0", "0.25", "1"; "smart" for a smart one.
std::string CropPositionText(CropPosition position);

} // namespace quorvane
