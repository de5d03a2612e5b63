#pragma once

#include "conversion/RunState.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace quorvane {

// Smallest file number with k + 2 digits: each one reached drops one more zero from the name prefix.
// The last three entries carry the rule on past a million, so a number keeps its width there too.
inline constexpr std::array<int32_t, 9> ZeroDropThresholds = {10,      100,      1000,      10000,     100000,
                                                              1000000, 10000000, 100000000, 1000000000};

// What the file-name preview does with the prefix and digit-count texts: either the caption to show,
// or the text the digit-count box must be given instead ("4" for a non-number, "1" outside 1..8),
// after which the preview is computed again.
struct NamePreview {
    std::optional<std::string> Caption;
    std::optional<std::string> DigitCountText;
};
NamePreview ComputeNamePreview(const std::string& prefixText, const std::string& digitCountText);

// Removes the last "0" of the text; returns its 1-based position, 0 (and the text unchanged) when the
// text has none.
int32_t RemoveLastZero(std::string& text);

// The numbering set-up of a run: the working prefix from the preview caption, less one zero per
// character of the first number. With a start number the file number is set to one before it.
void PrepareNumbering(RunState& state, const std::string& previewCaption, bool startTicked,
                      const std::string& startNumberText);
// Drops one zero per character of the start number's decimal text and returns the number.
int32_t ApplyStartNumber(RunState& state, const std::string& startNumberText);

// The file name of the picture numbered FileNumber: prefix, decimal number, ".jpg". A number reaching
// the next threshold first drops one more zero from the prefix.
std::string NumberedFileName(RunState& state);

} // namespace quorvane
