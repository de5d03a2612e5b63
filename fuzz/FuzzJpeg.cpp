// JPEG bytes in, through the whole loading path: the header and its limits, the decode, the EXIF
// orientation, and the row-by-row decode the run uses, then a small fit, the conversion of an embedded
// colour profile to sRGB (lcms2 parses the profile) and the encoder. Besides the
// sanitizers' checks the two decoders are held against each other: they accept the same files and give
// the same pixels, and a picture accepted whole also fits and encodes when decoded over a few columns.

#include "conversion/Picture.h"
#include "support/WholePicture.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace quorvane;

namespace {

// Frames claiming more pixels are passed over: decoding them is correct but slow, and the limits
// themselves are covered by the unit tests. Every byte pair that looks like a frame marker counts, so
// nothing larger slips through inside another segment.
constexpr int64_t MaxFuzzPixels = int64_t{1} << 20;

bool ClaimsTooMuch(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i + 9 <= size; ++i) {
        const uint8_t marker = data[i + 1];
        if (data[i] != 0xFF || marker < 0xC0 || marker > 0xCF || marker == 0xC4 || marker == 0xC8 || marker == 0xCC) {
            continue;
        }
        const int64_t height = data[i + 5] << 8 | data[i + 6];
        const int64_t width = data[i + 7] << 8 | data[i + 8];
        if (width * height > MaxFuzzPixels) {
            return true;
        }
    }
    return false;
}

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool SameHeader(const JpegHeaderInfo& a, const JpegHeaderInfo& b)
{
    return a.Width == b.Width && a.Height == b.Height && a.MultiScan == b.MultiScan && a.Orientation == b.Orientation;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (ClaimsTooMuch(data, size)) {
        return 0;
    }
    Raster whole;
    JpegHeaderInfo info;
    LoadError error;
    const bool decoded = DecodeJpeg(data, size, whole, info, &error);
    Check(decoded || error); // every refusal names its reason
    if (decoded) {
        Check(whole.Width == info.Width && whole.Height == info.Height && whole.Width > 0 && whole.Height > 0);
        Check(whole.Pixels.size() == whole.Stride() * static_cast<size_t>(whole.Height));
        Check(info.Orientation >= 1 && info.Orientation <= 8);
    }

    JpegHeaderInfo streamInfo;
    bool streamed = false;
    MemoryReader reader(data, size);
    if (auto rows = OpenJpeg(reader, error)) {
        streamInfo = {rows->Width(), rows->Height(), rows->MultiScan(), rows->Orientation()};
        streamed = true;
        for (int32_t y = 0; y < rows->Height() && streamed; ++y) {
            const uint8_t* row = rows->Row(y);
            streamed = row != nullptr;
            if (row && decoded) {
                Check(std::memcmp(row, whole.Row(y), whole.Stride()) == 0);
            }
        }
        streamed = streamed && rows->Finish();
    }
    Check(streamed == decoded);
    if (!decoded) {
        return 0;
    }
    Check(SameHeader(info, streamInfo));

    // The run's own path: the reader looks at the kept columns only, so libjpeg decodes a cropped band.
    // The target's shape follows the input's size, so portrait and landscape crops and stretching all occur.
    static constexpr TargetSize Targets[] = {{24, 32}, {32, 18}, {7, 5}};
    const TargetSize target = Targets[size % 3];
    MemoryReader again(data, size);
    auto rows = OpenJpeg(again, error);
    Check(rows != nullptr);
    ColourTransforms colours;
    std::vector<Message> warnings;
    const PictureColour colour(*rows, colours, warnings);
    JpegObject jpeg;
    jpeg.Progressive = streamInfo.MultiScan;
    FitPicture(jpeg, *rows, target,
               PictureSettings{std::to_string(target.Width), std::to_string(target.Height), std::to_string(size)});
    Check(!jpeg.SourceFailed && rows->Finish());
    Check(jpeg.Image.Width == target.Width && jpeg.Image.Height == target.Height);
    colour.ToSrgb(jpeg.Image);
    Check(EncodeJpegObject(jpeg));
    Check(jpeg.Data.size() > 4 && jpeg.Data[0] == 0xFF && jpeg.Data[1] == 0xD8);

    // A quick look (the preview's thumbnails): decoded at a reduced size, a progressive file from its first
    // scans; it may give up on damage the full decode filled in, but never reads out of bounds.
    MemoryReader third(data, size);
    if (auto look = OpenJpeg(third, error)) {
        look->ReduceTo(static_cast<int32_t>(size % 64) + 1);
        Check(look->Width() > 0 && look->Height() > 0 && look->Width() <= info.Width && look->Height() <= info.Height);
        bool rowsRead = true;
        for (int32_t y = 0; y < look->Height() && rowsRead; ++y) {
            rowsRead = look->Row(y) != nullptr;
        }
        Check(!rowsRead || look->Finish() || look->Error());
    }
    return 0;
}
