#pragma once

#include "picture/PictureSource.h"

#include <atomic>
#include <memory>

namespace quorvane {

// The JPEG decoder as a row source, with the tool's decoder settings (floating-point IDCT, block
// smoothing, grayscale through the 236-level quantiser, four-component files converted to RGB) and the
// picture turned upright by its EXIF orientation. Its ICC profile (APP2 segments) is handed over as found.
class JpegSource : public PictureSource {
  public:
    // EXIF orientation 1..8 (1 when absent or invalid); Width() and Height() are the upright size.
    virtual int Orientation() const = 0;
};

// Reads and checks the header (nullptr with the reason on failure: libjpeg's message, too many scans,
// over the decode limits, cut before its image data, 12-bit, lossless or hierarchical). Warnings are
// ignored. `file` must outlive the source; while `stop` is set, decoding gives up (LoadReason::Cancelled).
std::unique_ptr<JpegSource> OpenJpeg(ByteReader& file, LoadError& error, const std::atomic<bool>* stop = nullptr);

} // namespace quorvane
