#include "picture/Exif.h"

#include <cstring>

namespace quorvane {

namespace {

constexpr uint16_t OrientationTag = 0x0112;
constexpr uint16_t TypeShort = 3;

// Reads TIFF integers in the byte order of the header; the caller has checked the bounds.
struct TiffReader {
    const uint8_t* base;
    bool bigEndian;

    uint32_t U16(size_t at) const
    {
        return bigEndian ? (uint32_t{base[at]} << 8) | base[at + 1] : (uint32_t{base[at + 1]} << 8) | base[at];
    }
    uint32_t U32(size_t at) const { return bigEndian ? (U16(at) << 16) | U16(at + 2) : (U16(at + 2) << 16) | U16(at); }
};

} // namespace

int ExifOrientation(const uint8_t* data, size_t size)
{
    static constexpr uint8_t Signature[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (data == nullptr || size < sizeof(Signature) || std::memcmp(data, Signature, sizeof(Signature)) != 0) {
        return 1;
    }
    return TiffOrientation(data + sizeof(Signature), size - sizeof(Signature));
}

int ExifChunkOrientation(const uint8_t* data, size_t size)
{
    return data != nullptr && size >= 4 && std::memcmp(data, "Exif", 4) == 0 ? ExifOrientation(data, size)
                                                                              : TiffOrientation(data, size);
}

int TiffOrientation(const uint8_t* tiff, size_t length)
{
    constexpr size_t TiffHeaderSize = 8;
    if (tiff == nullptr || length < TiffHeaderSize) {
        return 1;
    }
    TiffReader read{tiff, false};
    if (tiff[0] == 'M' && tiff[1] == 'M') {
        read.bigEndian = true;
    } else if (tiff[0] != 'I' || tiff[1] != 'I') {
        return 1;
    }
    if (read.U16(2) != 42) {
        return 1;
    }
    const size_t ifd = read.U32(4);
    if (ifd < TiffHeaderSize || ifd + 2 > length) {
        return 1;
    }
    const size_t entries = read.U16(ifd);
    if (ifd + 2 + 12 * entries > length) {
        return 1;
    }
    for (size_t i = 0; i < entries; ++i) {
        const size_t entry = ifd + 2 + 12 * i;
        if (read.U16(entry) != OrientationTag) {
            continue;
        }
        if (read.U16(entry + 2) != TypeShort || read.U32(entry + 4) != 1) {
            return 1;
        }
        const uint32_t value = read.U16(entry + 8); // a single SHORT sits in the first half of the value field
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
    }
    return 1;
}

void PlaceStoredRows(Raster& upright, int orientation, int32_t storedWidth, int32_t storedHeight, int32_t firstRow,
                     const uint8_t* const* rows, int32_t count)
{
    const int32_t w = storedWidth;
    const int32_t h = storedHeight;
    // Stored pixel (sx, sy) goes to upright (dx, dy): 2..4 mirror within rows or move whole rows; 5..8 make
    // stored row sy upright column sy or h-1-sy, and stored column sx upright row sx or w-1-sx.
    const bool reverseX = orientation == 2 || orientation == 3 || orientation == 7 || orientation == 8;
    const bool reverseY = orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
    if (!OrientationSwapsSides(orientation)) {
        for (int32_t i = 0; i < count; ++i) {
            const int32_t sy = firstRow + i;
            uint8_t* to = upright.Row(reverseY ? h - 1 - sy : sy);
            const uint8_t* from = rows[i];
            if (!reverseX) {
                std::memcpy(to, from, 3 * static_cast<size_t>(w));
                continue;
            }
            for (size_t x = static_cast<size_t>(w); x-- > 0; to += 3) {
                std::memcpy(to, from + 3 * x, 3);
            }
        }
        return;
    }
    for (int32_t sx = 0; sx < w; ++sx) {
        uint8_t* to = upright.Row(reverseX ? w - 1 - sx : sx);
        const size_t offset = 3 * static_cast<size_t>(sx);
        for (int32_t i = 0; i < count; ++i) {
            const int32_t sy = firstRow + i;
            std::memcpy(to + 3 * static_cast<size_t>(reverseY ? h - 1 - sy : sy), rows[i] + offset, 3);
        }
    }
}

} // namespace quorvane
