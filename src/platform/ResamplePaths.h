#pragma once

// Internal to the resample: its instruction-set paths, so the tests can run each one this machine has.
#include "platform/Raster.h"

namespace quorvane {

enum class ResamplePath { Scalar, Sse2, Avx2 };

// Whether this build and this processor can run the path.
bool ResamplePathAvailable(ResamplePath path);

// ResampleAreaWindow through the given path, which must be available. Every path gives the same bytes.
bool ResampleAreaWindowWith(ResamplePath path, RowSource& source, int64_t W, int64_t H, int64_t left, int64_t top,
                            int64_t right, int64_t bottom, Raster& window);

} // namespace quorvane
