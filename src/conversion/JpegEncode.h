#pragma once

#include "platform/Raster.h"

#include <cstdint>
#include <vector>

namespace quorvane {

// Encodes a 24-bit raster with the tool's encoder settings (floating-point DCT, quality with
// force-baseline, simple progression when progressive). False on a libjpeg error or an empty raster.
bool EncodeJpeg(const Raster& image, uint8_t quality, bool progressive, std::vector<uint8_t>& out);

} // namespace quorvane
