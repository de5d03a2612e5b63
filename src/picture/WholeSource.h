#pragma once

#include "picture/PictureSource.h"

#include <cstdint>

namespace quorvane {

// A decoder that makes its whole upright picture at the first row asked for: for data that does not come
// row by row in order (HEIF's tiles, interlaced PNG) and for pictures that must be turned upright.
class WholeSource : public PictureSource {
  public:
    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    const uint8_t* Row(int32_t y) override;
    bool Finish() override;
    const LoadError& Error() const override { return error_; }

  protected:
    // The upright size, known from the header.
    WholeSource(int32_t width, int32_t height) : width_(width), height_(height) {}
    // Fills `upright` (already of the upright size); false with error_ set when the data is damaged.
    virtual bool Decode(Raster& upright) = 0;
    // The bytes of the whole picture this source holds.
    int64_t PictureBytes() const { return int64_t{width_} * height_ * 3; }

    LoadError error_;

  private:
    bool Decoded();

    int32_t width_;
    int32_t height_;
    Raster picture_;
    bool tried_ = false;
    bool decoded_ = false;
};

// A sample of `bits` bits (9 to 16) rounded to 8 bits.
inline uint8_t ToEightBits(uint32_t sample, int bits)
{
    const uint32_t max = (1u << bits) - 1;
    return static_cast<uint8_t>((sample * 255u + max / 2) / max);
}

// A sample of `bits` bits (8 to 16) under alpha `alpha` of the same depth, laid over white and rounded to 8
// bits: what the picture looks like on a white page.
inline uint8_t OverWhite(uint32_t sample, uint32_t alpha, int bits)
{
    const uint64_t max = (uint64_t{1} << bits) - 1;
    const uint64_t mixed = (uint64_t{sample} * alpha + max * (max - alpha)) * 255u;
    return static_cast<uint8_t>((mixed + max * max / 2) / (max * max));
}

} // namespace quorvane
