#pragma once

#include "picture/FormatSet.h"
#include "picture/PictureSource.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string_view>

namespace quorvane {

// The format a file's name gives it among the formats turned on: its extension, from the last '.'. JPEG
// and BMP names are compared byte for byte (".jpg", ".jpeg", ".bmp", each in lower or upper case); the
// other formats' extensions in any letter case (".heic", ".heif", ".hif", ".avif", ".webp", ".png").
// Nothing for any other name.
std::optional<PictureFormat> FormatOfName(std::string_view fileName, FormatSet formats = FormatSet::Defined());

// Opens the decoder of the format over `file` (which must outlive it): nullptr with the reason when the
// file is not a picture of that format. A file named as one of the formats beyond JPEG and BMP is opened
// by what its first bytes show it to be (a JPEG named ".heic" is a JPEG). While `stop` is set, decoding
// gives up (LoadReason::Cancelled).
std::unique_ptr<PictureSource> OpenPicture(PictureFormat format, ByteReader& file, LoadError& error,
                                           const std::atomic<bool>* stop = nullptr);

} // namespace quorvane
