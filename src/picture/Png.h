#pragma once

#include "picture/PictureSource.h"

#include <atomic>
#include <memory>

namespace quorvane {

// Opens a PNG file with libpng: reads and checks everything up to its image data (nullptr with the reason:
// not a PNG, damaged, cut short, over the decode limits). Rows are handed out as they are decoded; an
// interlaced picture, and one to be turned upright by its EXIF orientation (eXIf), is decoded whole on
// first use. Every bit depth, palette and gray kind is read; 16-bit samples are rounded to 8 bits,
// transparency is laid over white, and the colour chunks (iCCP, sRGB, gAMA, cHRM) give the profile. An
// animated PNG gives its default picture. `file` must outlive the decoder; while `stop` is set, decoding
// gives up (LoadReason::Cancelled).
std::unique_ptr<PictureSource> OpenPng(ByteReader& file, LoadError& error, const std::atomic<bool>* stop = nullptr);

} // namespace quorvane
