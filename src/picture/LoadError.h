#pragma once

#include <string>

// Why a picture was not loaded: one named reason per check, so a check that stops working shows in the
// tests, and the command line can tell the user why a file was skipped.
enum class LoadReason {
    None,
    CannotOpen,     // the file cannot be opened
    NotRegularFile, // a folder, pipe or device named like a picture
    FileTooLarge,   // larger than any acceptable picture file
    ReadFailed,     // the system reported a read error
    OutOfMemory,
    Cancelled, // the run was interrupted
    BmpSignature,
    BmpHeaderCut,  // the file ends inside its headers
    BmpHeaderKind, // a header size no BMP version has
    BmpPlanes,
    BmpBitCount,
    BmpCompression,
    BmpBitMasks,   // the bit-field masks lie outside the file
    BmpColorTable, // more than 256 colours, or the table lies outside the file
    PictureSize,   // a side of 0, or over the decode limits
    JpegError,     // libjpeg's own message is the detail
    JpegScans,     // more scans than a picture needs
    JpegNoImage,   // the file ends before its image data
    JpegProcess,   // 12-bit, lossless or hierarchical: libjpeg's message is the detail
    JpegColorSpace,
};

struct LoadError {
    LoadReason Reason = LoadReason::None;
    std::string Detail;

    explicit operator bool() const { return Reason != LoadReason::None; }
    // One line for the user.
    std::string Text() const;
};
