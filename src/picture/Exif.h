#pragma once

#include "platform/Raster.h"

#include <cstddef>
#include <cstdint>

namespace quorvane {

// The EXIF orientation (1..8) held in the payload of an APP1 segment (the bytes after the segment length,
// starting with "Exif\0\0"). 1 when the payload is not EXIF, carries no orientation in IFD0, or is malformed
// in any way; never reads outside [data, data + size).
int ExifOrientation(const uint8_t* data, size_t size);
// The same for the TIFF data itself (from its "II" or "MM" header on).
int TiffOrientation(const uint8_t* tiff, size_t size);
// The same for an EXIF chunk of a PNG (eXIf) or WebP (EXIF) file: TIFF data, which some writers put after
// "Exif\0\0" as in JPEG.
int ExifChunkOrientation(const uint8_t* data, size_t size);

// True for the orientations 5..8, whose upright picture has width and height swapped.
inline bool OrientationSwapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// Places rows [firstRow, firstRow + count) of a picture stored storedWidth x storedHeight with the given EXIF
// orientation where they belong in `upright`, which already has the upright size; rows[i] holds the
// 3 * storedWidth bytes of row firstRow + i. A decoder hands over its rows band by band this way, so the
// picture is turned without a second full-size raster. Orientations outside 1..8 count as 1.
void PlaceStoredRows(Raster& upright, int orientation, int32_t storedWidth, int32_t storedHeight, int32_t firstRow,
                     const uint8_t* const* rows, int32_t count);

} // namespace quorvane
