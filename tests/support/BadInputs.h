#pragma once

#include "platform/Raster.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

// Builders for BMP and JPEG files of every kind the decoders meet, valid or hostile, and the generated
// bad-input corpus. Shared by the tests, the fuzzers' seed generator and the soak run; nothing here is
// stored as a binary file.
namespace TestFiles {

using Bytes = std::vector<uint8_t>;

// ---- BMP ----

enum class BmpHeader { Core, Info, V4, V5 };

inline constexpr uint32_t BmpRgb = 0, BmpRle8 = 1, BmpRle4 = 2, BmpBitfields = 3, BmpAlphaBitfields = 6;

// Every header field as written, so any of them can be made wrong.
struct BmpRecipe {
    BmpHeader Header = BmpHeader::Info;
    uint32_t HeaderSize = 0; // 0: the size of the header kind
    int32_t Width = 1;
    int32_t Height = 1;
    uint16_t Planes = 1;
    uint16_t BitCount = 24;
    uint32_t Compression = BmpRgb;
    uint32_t ColorsUsed = 0;
    std::vector<uint32_t> Palette;   // 0xRRGGBB, the table exactly as written
    std::vector<uint32_t> Masks;     // after a 40-byte header, or inside a V4/V5 header
    uint32_t Gap = 0;                // bytes (0xEE) between the colour table and the pixels
    std::optional<uint32_t> OffBits; // default: right after the table and the gap
    Bytes Pixels;                    // stored pixel data as it stands
};
// The one BMP writer of the test kit: every builder of BMP files goes through it.
Bytes BuildBmp(const BmpRecipe& recipe);

// Packs pixel values (palette indices, 16-bit words, 0xRRGGBB for 24 bits, 32-bit words) into stored rows
// padded to 4 bytes, in the order given.
Bytes PackBmpRows(int bitCount, const std::vector<std::vector<uint32_t>>& rows);

// A valid BMP of the picture: 1, 4 and 8 bits through a fixed palette, 16 bits as 5-5-5 (or 5-6-5 bit
// fields), 24 bits, 32 bits (plain or with bit fields).
Bytes EncodeBmp(const Raster& picture, int bitCount, BmpHeader header = BmpHeader::Info, bool topDown = false,
                bool bitfields = false);
// A valid run-length encoded BMP (4 or 8 bits) of the picture, with encoded and absolute runs and a delta.
Bytes EncodeRleBmp(const Raster& picture, int bitCount);

// ---- JPEG ----

enum class JpegColor { YCbCr, Gray, Rgb, Cmyk, Ycck };

struct JpegRecipe {
    int Quality = 85;
    JpegColor Color = JpegColor::YCbCr;
    bool Progressive = false;
    bool Arithmetic = false;
    int RestartInterval = 0;                     // in MCUs; 0 for none
    std::vector<std::pair<int, int>> Sampling{}; // horizontal and vertical factor per component; empty: default
    int SingleCoefficientScans = 0; // > 0: a progressive file of one DC scan and this many one-coefficient scans
};
Bytes BuildJpeg(const Raster& picture, const JpegRecipe& recipe = {});

// Offset of the first header segment with the marker (FF marker), or npos.
size_t FindSegment(const Bytes& jpeg, uint8_t marker);
// Offset where the entropy-coded data of the first scan starts.
size_t FirstScanData(const Bytes& jpeg);
// The [begin, end) spans of entropy-coded data, one per scan, in file order.
std::vector<std::pair<size_t, size_t>> EntropySpans(const Bytes& jpeg);
// The payload of an EXIF APP1 segment: "Exif\0\0" and a TIFF header whose IFD0 holds a Make entry and then
// the orientation entry with the type and count given (a valid one is a single SHORT).
Bytes ExifPayload(bool bigEndian, uint16_t orientation, uint16_t type = 3, uint32_t count = 1);
// The file with an APP1 segment of the payload inserted at offset `at`.
Bytes WithApp1(Bytes jpeg, const Bytes& payload, size_t at);
// The file with an EXIF APP1 segment carrying the orientation inserted after SOI.
Bytes WithExifOrientation(Bytes jpeg, uint16_t orientation, bool bigEndian = false);
// The file with its frame header given another SOF marker and sample precision.
Bytes WithFrame(Bytes jpeg, uint8_t sofMarker, uint8_t precision);
// The file with its frame header claiming another size.
Bytes WithClaimedSize(Bytes jpeg, uint16_t width, uint16_t height);

// ---- The corpus ----

enum class Outcome { Converted, Skipped };

struct BadInput {
    std::string Name; // file name, extension included
    Bytes Content;
    Outcome Expected;
};

// Hostile, damaged and strange files, each with what the run must make of it. Every file is small.
std::vector<BadInput> MakeBadInputs();

// Valid small files of every kind the decoders accept (names with extensions), for seeds and soak runs.
std::vector<BadInput> MakeGoodVariants(const Raster& picture);

} // namespace TestFiles

} // namespace quorvane
