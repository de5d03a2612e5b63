#include "picture/WholeSource.h"

namespace quorvane {

bool WholeSource::Decoded()
{
    if (!tried_) {
        tried_ = true;
        decoded_ = CatchOutOfMemory(error_, [this] {
            picture_ = Raster(width_, height_);
            return Decode(picture_);
        });
        if (!decoded_) {
            picture_ = Raster();
        }
    }
    return decoded_;
}

const uint8_t* WholeSource::Row(int32_t y)
{
    return Decoded() && y >= 0 && y < height_ ? picture_.Row(y) : nullptr;
}

bool WholeSource::Finish()
{
    const bool decoded = Decoded();
    picture_ = Raster();
    return decoded;
}

} // namespace quorvane
