#pragma once

#include "platform/Raster.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::TestFiles {

// PNG files written with libpng: every colour type and depth, interlaced or not, with the colour and EXIF
// chunks set as asked. Made in the tests, so no PNG is stored in the repository.
enum class PngKind { Gray, GrayAlpha, Rgb, RgbAlpha, Palette };

struct PngRecipe {
    PngKind Kind = PngKind::Rgb;
    int BitDepth = 8; // 1, 2, 4 (gray, palette), 8, 16
    bool Interlaced = false;
    // Alpha of every pixel, for the kinds with alpha (scaled to the depth); the palette's transparency of
    // its first entry, for Palette.
    uint16_t Alpha = 0xFFFF;
    std::optional<double> FileGamma; // gAMA
    bool Srgb = false;               // sRGB
    bool DisplayP3 = false;          // cHRM with Display P3's primaries
    std::vector<uint8_t> Icc;        // iCCP
    std::vector<uint8_t> Exif;       // eXIf: TIFF data
};

// The picture in the recipe's kind: gray from each pixel's green (scaled to the depth; 16-bit samples are
// v * 257), a palette of the picture's first 256 distinct colours (further colours take entry 0).
std::vector<uint8_t> BuildPng(const Raster& picture, const PngRecipe& recipe = {});

} // namespace quorvane::TestFiles
