#pragma once

#include "platform/Raster.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A JPEG with more scans than this is refused (a progressive file can make decoding arbitrarily slow).
inline constexpr int MaxJpegScans = 100;
// libjpeg's own memory ceiling for one decode.
inline constexpr long MaxJpegMemory = 2000L * 1024 * 1024;

struct JpegHeaderInfo {
    int32_t Width = 0; // the upright size, after the EXIF orientation
    int32_t Height = 0;
    bool MultiScan = false; // more than one scan, as progressive files have
    int Orientation = 1;    // EXIF orientation 1..8 (1 when absent or invalid)
    // Memory the row-by-row decoding will hold besides its rows: libjpeg's coefficient buffer for a
    // multi-scan file, the whole picture for one that must be turned.
    int64_t WorkingBytes = 0;
};

// Decodes a JPEG held in memory at full size with the tool's decoder settings (floating-point IDCT,
// block smoothing, grayscale through the 236-level quantiser, four-component files converted to RGB),
// then turns it upright by its EXIF orientation. False on any libjpeg error, on a header over the
// decode limits, or when memory runs out; warnings are ignored. Never throws.
bool DecodeJpeg(const uint8_t* data, size_t size, Raster& out, JpegHeaderInfo& info);

// The same decoding, row by row: the header is read and checked here (nullptr on failure), the rows are
// decoded as they are asked for, only over the columns the reader limits itself to, so the full-size
// picture is never held (a picture to be turned by its orientation is decoded whole first). Row() gives
// nullptr on a decoding error; Finish() decodes what is left and checks the end, so the outcome is the
// same as DecodeJpeg's. `data` must outlive the source.
std::unique_ptr<RowSource> OpenJpeg(const uint8_t* data, size_t size, JpegHeaderInfo& info);

// Encodes a 24-bit raster with the tool's encoder settings (floating-point DCT, quality with
// force-baseline, simple progression when progressive). False on a libjpeg error or an empty raster.
bool EncodeJpeg(const Raster& image, uint8_t quality, bool progressive, std::vector<uint8_t>& out);
