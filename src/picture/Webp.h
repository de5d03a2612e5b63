#pragma once

#include "picture/PictureSource.h"

#include <atomic>
#include <memory>

namespace quorvane {

// Opens a WebP file with libwebp (lossy, lossless, with alpha, extended; an animation gives its first
// frame): reads and checks its header (nullptr with the reason: not a WebP, damaged, cut short, an
// unsupported variant, over the decode limits). Only the columns the reader keeps are decoded;
// transparency is laid over white, the ICCP chunk gives the profile and the EXIF chunk's orientation turns
// the picture upright. `file` must outlive the decoder; while `stop` is set, decoding gives up.
std::unique_ptr<PictureSource> OpenWebp(ByteReader& file, LoadError& error, const std::atomic<bool>* stop = nullptr);

} // namespace quorvane
