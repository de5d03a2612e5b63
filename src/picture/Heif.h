#pragma once

#include "picture/PictureSource.h"

#include <atomic>
#include <memory>

namespace quorvane {

// Opens a HEIF file with libheif: HEIC (HEVC through libde265) and AVIF (AV1 through dav1d). Reads and
// checks the primary picture's header (nullptr with the reason: not HEIF, damaged, cut short, a codec this
// build does not decode, no picture, over the decode limits); thumbnails, depth and other pictures of
// the file are passed over. The picture is decoded whole on first use, turned upright as its irot and imir
// boxes say (not again by EXIF), 10- and 12-bit samples rounded to 8 bits, transparency laid over white;
// its ICC profile or nclx colour information gives the profile. `file` must outlive the decoder; while
// `stop` is set, decoding gives up.
std::unique_ptr<PictureSource> OpenHeif(ByteReader& file, LoadError& error, const std::atomic<bool>* stop = nullptr);

} // namespace quorvane
