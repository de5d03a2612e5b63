// BMP bytes in, a raster or a refusal out, through both decoders: the whole-picture one and the row source
// the run reads. Beyond the sanitizers' checks, a picture accepted must have a size within the limits,
// decode identically into a fresh raster, into one that still holds an earlier picture and row by row, and
// fit onto a small target the same way from either decoder; a refused one leaves the raster untouched and
// gets no row source.

#include "conversion/Picture.h"
#include "support/WholePicture.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace quorvane;

namespace {

// Pictures claiming more pixels are passed over: decoding them is correct but slow (a 60-byte file may
// rightly ask for 768 MiB), and the limits themselves are covered by the unit tests.
constexpr int64_t MaxFuzzPixels = int64_t{1} << 20;

uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

bool ClaimsTooMuch(const uint8_t* data, size_t size)
{
    if (size < 26) {
        return false;
    }
    int64_t width = 0;
    int64_t height = 0;
    if (Le32(data + 14) == 12) {
        width = data[18] | data[19] << 8;
        height = data[20] | data[21] << 8;
    } else {
        width = static_cast<int32_t>(Le32(data + 18));
        height = static_cast<int32_t>(Le32(data + 22));
    }
    return std::llabs(width) * std::llabs(height) > MaxFuzzPixels;
}

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (ClaimsTooMuch(data, size)) {
        return 0;
    }
    Raster fresh;
    LoadError error;
    const bool decoded = DecodeBmp(data, size, fresh, &error);
    Check(decoded || error); // every refusal names its reason
    // Holds the previous input's picture, so the reuse of a larger or smaller buffer is exercised.
    static Raster reused;
    Check(DecodeBmp(data, size, reused) == decoded);
    MemoryReader reader(data, size);
    const std::unique_ptr<PictureSource> rows = OpenBmp(reader, error);
    Check((rows != nullptr) == decoded);
    if (!decoded) {
        Check(fresh.Width == 0 && fresh.Height == 0 && fresh.Pixels.empty());
        return 0;
    }
    Check(fresh.Width > 0 && fresh.Height > 0 && fresh.Width <= MaxPictureSide && fresh.Height <= MaxPictureSide);
    Check(fresh.Pixels.size() == fresh.Stride() * static_cast<size_t>(fresh.Height));
    Check(reused.Width == fresh.Width && reused.Height == fresh.Height && reused.Pixels == fresh.Pixels);

    Check(rows->Width() == fresh.Width && rows->Height() == fresh.Height);
    Check(rows->WorkingBytes() > 0);
    // Rows skipped on the way down, as a reader limited to part of the picture skips them.
    for (int32_t y = 0; y < fresh.Height; y += 1 + y / 3) {
        Check(std::memcmp(rows->Row(y), fresh.Row(y), fresh.Stride()) == 0);
    }

    // The run's path: the row source into the resample, against the same fit of the whole picture.
    const TargetSize target = size % 2 ? TargetSize{17, 13} : TargetSize{9, 31};
    const PictureSettings settings{std::to_string(target.Width), std::to_string(target.Height), "60"};
    MemoryReader again(data, size);
    const std::unique_ptr<PictureSource> streamed = OpenBmp(again, error);
    JpegObject viaRows;
    FitPicture(viaRows, *streamed, target, settings);
    Check(!viaRows.SourceFailed && !viaRows.Unencodable && streamed->Finish());
    Check(viaRows.Image.Width == target.Width && viaRows.Image.Height == target.Height);
    RasterRowSource wholeRows(fresh);
    JpegObject viaWhole;
    FitPicture(viaWhole, wholeRows, target, settings);
    Check(viaWhole.Image.Pixels == viaRows.Image.Pixels);
    // An embedded colour profile goes through lcms2.
    ColourTransforms colours;
    std::vector<Message> warnings;
    PictureColour(*streamed, colours, warnings).ToSrgb(viaRows.Image);
    return 0;
}
