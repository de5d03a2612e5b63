#pragma once

#include "platform/PictureMemory.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvane {

// The one raster type of the tool: 24-bit RGB, rows top to bottom, 3 * Width bytes per row, no padding.
struct Raster {
    int32_t Width = 0;
    int32_t Height = 0;
    PictureBytes Pixels;

    Raster() = default;
    Raster(int32_t width, int32_t height, uint8_t fill = 0)
        : Width(width), Height(height), Pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, fill)
    {
    }

    bool Empty() const { return Width <= 0 || Height <= 0; }
    size_t Stride() const { return static_cast<size_t>(Width) * 3; }
    uint8_t* Row(int32_t y) { return Pixels.data() + static_cast<size_t>(y) * Stride(); }
    const uint8_t* Row(int32_t y) const { return Pixels.data() + static_cast<size_t>(y) * Stride(); }
};

// Hands out the rows of a picture one after another (the row index never decreases), so a decoder can
// feed the resample without holding the whole picture.
class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    // Tells the source, before the first row, that only columns [first, end) will be looked at, so it may
    // leave the others undecoded.
    virtual void LimitColumns(int32_t /*first*/, int32_t /*end*/) {}
    // Row y as 3 * Width() bytes of RGB; valid until the next call. Returns nullptr when the row cannot
    // be produced (a decoder error).
    virtual const uint8_t* Row(int32_t y) = 0;
    // Reads whatever rows are left and checks the end of the picture; false when it turns out damaged.
    virtual bool Finish() { return true; }
};

class RasterRowSource : public RowSource {
  public:
    explicit RasterRowSource(const Raster& raster) : raster_(raster) {}
    int32_t Width() const override { return raster_.Width; }
    int32_t Height() const override { return raster_.Height; }
    const uint8_t* Row(int32_t y) override { return raster_.Row(y); }

  private:
    const Raster& raster_;
};

// The window [left, right) x [top, bottom) of the source resampled onto a W x H raster by exact area
// averaging: each destination pixel is the coverage-weighted mean of the source pixels under it,
// rounded to nearest. Only the window is computed, so W and H may be far larger than memory allows.
// The caller keeps 0 <= left < right <= W and 0 <= top < bottom <= H, and the source's sides at most
// 65535. Returns false when the source fails to deliver a row.
bool ResampleAreaWindow(RowSource& source, int64_t W, int64_t H, int64_t left, int64_t top, int64_t right,
                        int64_t bottom, Raster& window);

// Copies the whole of `from` onto a raster of width x height the way a plain stretching copy does: a
// side that is too long loses pixels by AND-merging them into their neighbour, a side that is too short
// repeats pixels.
Raster StretchCopy(const Raster& from, int32_t width, int32_t height);

} // namespace quorvane
