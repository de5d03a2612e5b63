#pragma once

#include "picture/PictureSource.h"

#include <memory>

namespace quorvane {

// Opens a Windows BMP file: reads and checks its headers and colour table (nullptr with the reason for
// anything that is not an acceptable BMP) and returns the decoder that hands out its rows as 24-bit RGB.
// Pixel data cut short is not a failure: the missing part shows pixel value 0 (the first palette colour,
// or black); in a run-length encoded file every pixel the data does not set is black. `file` must
// outlive the decoder.
std::unique_ptr<PictureSource> OpenBmp(ByteReader& file, LoadError& error);

} // namespace quorvane
