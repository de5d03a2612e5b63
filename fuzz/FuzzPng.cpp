// PNG bytes in, through the whole loading path: the signature and size checks, libpng's header and chunk
// reading with its limits, the colour chunks made into a profile (lcms2 parses it), the row-by-row decode
// (or the whole one of an interlaced or turned picture), then a small fit and the conversion to sRGB.
// Besides the sanitizers' checks: every refusal names its reason, an accepted picture gives every row,
// and a second decode of the same bytes gives the same pixels.

#include "conversion/Picture.h"
#include "picture/Png.h"
#include "support/WholePicture.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace quorvane;

namespace {

// Pictures claiming more pixels are passed over: decoding them is correct but slow.
constexpr int64_t MaxFuzzPixels = int64_t{1} << 20;

bool ClaimsTooMuch(const uint8_t* data, size_t size)
{
    if (size < 24) {
        return false;
    }
    const auto be32 = [&](size_t at) {
        return int64_t{data[at]} << 24 | int64_t{data[at + 1]} << 16 | int64_t{data[at + 2]} << 8 | data[at + 3];
    };
    const int64_t width = be32(16);
    const int64_t height = be32(20);
    return width > MaxFuzzPixels || height > MaxFuzzPixels || width * height > MaxFuzzPixels;
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
    MemoryReader reader(data, size);
    LoadError error;
    auto source = OpenPng(reader, error);
    if (!source) {
        Check(static_cast<bool>(error));
        return 0;
    }
    Check(source->Width() > 0 && source->Height() > 0 && source->WorkingBytes() > 0);
    Raster whole;
    if (!DrainSource(*source, whole, &error)) {
        Check(static_cast<bool>(error));
        return 0;
    }

    MemoryReader again(data, size);
    auto rows = OpenPng(again, error);
    Check(rows != nullptr);
    ColourTransforms colours;
    std::vector<Message> warnings;
    const PictureColour colour(*rows, colours, warnings);
    static constexpr TargetSize Targets[] = {{24, 32}, {32, 18}, {7, 5}};
    const TargetSize target = Targets[size % 3];
    JpegObject jpeg;
    FitPicture(jpeg, *rows, target, PictureSettings{std::to_string(target.Width), std::to_string(target.Height), "80"});
    Check(!jpeg.SourceFailed && rows->Finish());
    Check(jpeg.Image.Width == target.Width && jpeg.Image.Height == target.Height);
    colour.ToSrgb(jpeg.Image);

    // The same bytes decode to the same pixels.
    MemoryReader third(data, size);
    auto repeat = OpenPng(third, error);
    Raster second;
    Check(repeat != nullptr && DrainSource(*repeat, second, &error));
    Check(second.Pixels == whole.Pixels);
    return 0;
}
