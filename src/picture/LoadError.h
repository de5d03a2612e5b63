#pragma once

#include "Messages.h"

#include <cstdint>
#include <new>
#include <string>
#include <type_traits>

namespace quorvane {

// Why a picture was not loaded: one named reason per check, so a check that stops working shows in the
// tests, and the command line can tell the user why a file was skipped.
enum class LoadReason {
    None,
    CannotOpen,     // the file cannot be opened; the system's reason is the detail
    NotRegularFile, // a folder, pipe or device named like a picture
    EmptyFile,      // a file of 0 bytes
    ReadFailed,     // the system reported a read error
    OutOfMemory,
    Cancelled, // the run was interrupted
    BmpSignature,
    BmpHeaderCut,  // the file ends inside its headers
    BmpHeaderKind, // a header size no BMP version has
    BmpPlanes,
    BmpBitCount,
    BmpCompression,
    BmpBitMasks,    // the bit-field masks lie outside the file
    BmpColorTable,  // more than 256 colours, or the table lies outside the file
    PictureSize,    // a side of 0, over the decode limits, or a file larger than any such picture; the
                    // size is the detail
    JpegNotJpeg,    // no start-of-image marker: some other kind of file
    JpegHeader,     // a damaged marker segment before the image data
    JpegTables,     // missing or damaged quantisation or Huffman tables
    JpegNoImage,    // the file ends before its image data, wherever the cut falls
    JpegTablesOnly, // a JPEG file of tables without a picture
    JpegScans,      // more scans than a picture needs
    JpegProcess,    // 12-bit, lossless, hierarchical or arithmetic-coded
    JpegColorSpace,
    JpegError, // any other libjpeg error; its own (English) message is the detail
    HeifNotHeif,    // no HEIF or AVIF brand
    HeifDamaged,    // libheif's own message is the detail
    HeifCutShort,   // the file ends inside a box or the picture's data
    HeifCodec,      // compressed with a codec this build does not decode; libheif's message
    HeifNoImage,    // no primary picture
    WebpNotWebp,    // no RIFF WEBP header
    WebpDamaged,    // the decoder refused the data
    WebpCutShort,   // the file ends before the picture does
    WebpUnsupported,
    PngNotPng,      // no PNG signature
    PngDamaged,     // libpng's own message is the detail
    PngCutShort,    // the file ends before the picture does
    BitDepth,       // samples of more bits than the tool reads; the depth is the detail
    // The texts of the reasons are in Messages.cpp.
};

// A picture's size as the reasons show it: "65535×100".
Message SizeText(int64_t width, int64_t height);

struct LoadError {
    LoadReason Reason = LoadReason::None;
    // What the reason leaves to say: the system's words, the size, a library's own message; none is empty.
    Message Detail;

    explicit operator bool() const { return Reason != LoadReason::None; }
    // One line for the user: the reason, and its detail after a colon.
    Message Text() const;
};

// Runs a decoder step that allocates. Running out of memory in it is a failed load like any other: `error`
// becomes OutOfMemory and the step gives its empty result (nullptr, or false for a step that returns
// nothing, true when it completes). This is the decoders' one place for std::bad_alloc; their allocations
// stay outside the functions that call into libjpeg, so no exception ever crosses libjpeg's frames.
template <typename Step> auto CatchOutOfMemory(LoadError& error, Step&& step)
{
    auto run = [&step] {
        if constexpr (std::is_void_v<decltype(step())>) {
            step();
            return true;
        } else {
            return step();
        }
    };
    using Result = decltype(run());
    try {
        return run();
    } catch (const std::bad_alloc&) {
        error = {LoadReason::OutOfMemory, {}};
        return Result{};
    }
}

} // namespace quorvane
