#pragma once

#include "picture/PictureSource.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string_view>

namespace quorvane {

// The picture formats the tool reads. Every choice by format is a switch without a default, so a format
// added here and forgotten somewhere does not compile.
enum class PictureFormat { Jpeg, Bmp };

// The format a file's name gives it: its extension, from the last '.', compared byte for byte with the
// extensions that count (".jpg", ".jpeg", ".bmp", each in lower or upper case). Nothing for any other name.
std::optional<PictureFormat> FormatOfName(std::string_view fileName);

// Opens the decoder of the format over `file` (which must outlive it): nullptr with the reason when the
// file is not a picture of that format. While `stop` is set, decoding gives up (LoadReason::Cancelled).
std::unique_ptr<PictureSource> OpenPicture(PictureFormat format, ByteReader& file, LoadError& error,
                                           const std::atomic<bool>* stop = nullptr);

} // namespace quorvane
