// HEIF and AVIF bytes in, through the whole loading path: the checks of the boxes, libheif's parsing and
// decoding, the turning, rounding and alpha of the rows, then a small fit, the conversion of the colour
// profile to sRGB (lcms2 parses an embedded profile) and the encoder. Besides the sanitizers' checks the
// decoder is held to its word: every refusal names its reason, an accepted picture has the size it
// announced, and decoding the same bytes twice gives the same pixels (a canvas left partly unwritten
// would not).

#include "conversion/Picture.h"
#include "picture/Heif.h"
#include "support/WholePicture.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace quorvane;

namespace {

// Pictures whose decoding would hold more are passed over: decoding them is correct but slow, and the
// limits themselves are covered by the unit tests. The estimate counts the tiles of a grid as well as its
// canvas, so a small canvas of vast tiles is passed over too.
constexpr int64_t MaxFuzzWorkingBytes = int64_t{48} << 20;

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryReader reader(data, size);
    LoadError error;
    std::unique_ptr<PictureSource> source = OpenHeif(reader, error);
    if (!source) {
        Check(static_cast<bool>(error)); // every refusal names its reason
        return 0;
    }
    Check(source->Width() > 0 && source->Height() > 0);
    if (source->WorkingBytes() > MaxFuzzWorkingBytes) {
        return 0;
    }
    Raster whole;
    LoadError failed;
    const bool decoded = DrainSource(*source, whole, &failed);
    Check(decoded || failed);
    if (!decoded) {
        return 0;
    }
    Check(whole.Width == source->Width() && whole.Height == source->Height());
    Check(whole.Pixels.size() == whole.Stride() * static_cast<size_t>(whole.Height));

    MemoryReader again(data, size);
    std::unique_ptr<PictureSource> second = OpenHeif(again, error);
    Check(second != nullptr);
    Raster twice;
    Check(DrainSource(*second, twice));
    Check(twice.Pixels == whole.Pixels);

    // The run's own path: the fit of a third decoding onto a small target, its colours and the encoder.
    static constexpr TargetSize Targets[] = {{24, 32}, {32, 18}, {7, 5}};
    const TargetSize target = Targets[size % 3];
    MemoryReader third(data, size);
    std::unique_ptr<PictureSource> rows = OpenHeif(third, error);
    Check(rows != nullptr);
    ColourTransforms colours;
    std::vector<Message> warnings;
    const PictureColour colour(*rows, colours, warnings);
    JpegObject jpeg;
    FitPicture(jpeg, *rows, target,
               PictureSettings{std::to_string(target.Width), std::to_string(target.Height), std::to_string(size)});
    Check(!jpeg.SourceFailed && rows->Finish());
    Check(jpeg.Image.Width == target.Width && jpeg.Image.Height == target.Height);
    colour.ToSrgb(jpeg.Image);
    Check(EncodeJpegObject(jpeg));
    return 0;
}
