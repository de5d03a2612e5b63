// WebP bytes in, through the whole loading path: the chunk walk of opening, the demuxer's check of the
// same file and the decode of the first frame. Besides the sanitizers' checks the decoder is held against
// itself and against libwebp used plainly: a file decodes or is refused with a reason, the same way over
// every window of kept columns, with the kept columns as in the whole decode; and it decodes exactly when
// libwebp's demuxer and decoder take it whole, to the same pixels and profile (so opening, which walks the
// chunks itself, accepts what the demuxer accepts, no more and no less).

#include "picture/Exif.h"
#include "picture/Webp.h"
#include "picture/WholeSource.h"
#include "support/WholePicture.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>
#include <webp/decode.h>
#include <webp/demux.h>

using namespace quorvane;

namespace {

// Pictures of more pixels are passed over: decoding them is correct but slow, and the limits themselves
// are covered by the unit tests.
constexpr int64_t MaxFuzzPixels = int64_t{1} << 20;

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

struct Reference {
    Raster Upright;
    std::vector<uint8_t> Profile;
};

// The first frame as libwebp's demuxer hands it over, decoded whole as RGBA, laid over white at its place
// on a white canvas and turned by the EXIF chunk the demuxer keeps. Nothing when libwebp refuses the file;
// `skipped` when it is too large to decode here.
std::optional<Reference> DecodePlainly(const uint8_t* data, size_t size, bool& skipped)
{
    skipped = false;
    const WebPData bytes = {data, size};
    std::unique_ptr<WebPDemuxer, void (*)(WebPDemuxer*)> demuxer(WebPDemux(&bytes), WebPDemuxDelete);
    WebPIterator frame;
    if (!demuxer || !WebPDemuxGetFrame(demuxer.get(), 1, &frame)) {
        return std::nullopt;
    }
    const int32_t canvasWidth = static_cast<int32_t>(WebPDemuxGetI(demuxer.get(), WEBP_FF_CANVAS_WIDTH));
    const int32_t canvasHeight = static_cast<int32_t>(WebPDemuxGetI(demuxer.get(), WEBP_FF_CANVAS_HEIGHT));
    if (int64_t{canvasWidth} * canvasHeight > MaxFuzzPixels || int64_t{frame.width} * frame.height > MaxFuzzPixels) {
        skipped = true;
        return std::nullopt;
    }
    std::vector<uint8_t> rgba(static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height) * 4);
    if (WebPDecodeRGBAInto(frame.fragment.bytes, frame.fragment.size, rgba.data(), rgba.size(), frame.width * 4) ==
        nullptr) {
        return std::nullopt;
    }
    Reference reference;
    WebPChunkIterator chunk;
    if (WebPDemuxGetChunk(demuxer.get(), "ICCP", 1, &chunk)) {
        reference.Profile.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    int orientation = 1;
    if (WebPDemuxGetChunk(demuxer.get(), "EXIF", 1, &chunk)) {
        orientation = ExifChunkOrientation(chunk.chunk.bytes, chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    const bool swapped = OrientationSwapsSides(orientation);
    reference.Upright =
        Raster(swapped ? canvasHeight : canvasWidth, swapped ? canvasWidth : canvasHeight, uint8_t{255});
    std::vector<uint8_t> row(static_cast<size_t>(canvasWidth) * 3);
    for (int32_t y = 0; y < canvasHeight; ++y) {
        std::fill(row.begin(), row.end(), uint8_t{255});
        const int32_t frameRow = y - frame.y_offset;
        for (int32_t x = 0; x < frame.width && frameRow >= 0 && frameRow < frame.height; ++x) {
            const uint8_t* p = rgba.data() + (static_cast<size_t>(frameRow) * frame.width + x) * 4;
            for (int c = 0; c < 3; ++c) {
                row[static_cast<size_t>(frame.x_offset + x) * 3 + c] = OverWhite(p[c], p[3], 8);
            }
        }
        const uint8_t* rows = row.data();
        PlaceStoredRows(reference.Upright, orientation, canvasWidth, canvasHeight, y, &rows, 1);
    }
    return reference;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryReader reader(data, size);
    LoadError error;
    std::unique_ptr<PictureSource> source = OpenWebp(reader, error);
    Check(source != nullptr || error); // every refusal names its reason
    if (!source && (error.Reason == LoadReason::PictureSize || error.Reason == LoadReason::WebpUnsupported)) {
        return 0; // the tool's own limits
    }
    bool skipped = false;
    const std::optional<Reference> reference = size > 0 ? DecodePlainly(data, size, skipped) : std::nullopt;
    if (skipped) {
        return 0;
    }
    if (!source) {
        Check(!reference);
        return 0;
    }
    const int32_t width = source->Width();
    const int32_t height = source->Height();
    Check(width > 0 && height > 0 && source->WorkingBytes() > 0);
    if (int64_t{width} * height > MaxFuzzPixels) {
        return 0;
    }
    Raster whole;
    LoadError wholeError;
    const bool decoded = DrainSource(*source, whole, &wholeError);
    Check(decoded || wholeError);
    Check(decoded == reference.has_value());
    if (decoded) {
        Check(whole.Width == reference->Upright.Width && whole.Height == reference->Upright.Height);
        Check(whole.Pixels == reference->Upright.Pixels);
        Check(source->Profile().Bytes == reference->Profile);
    }

    // A window of kept columns chosen from the bytes themselves.
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; i += 1 + size / 64) {
        hash = (hash ^ data[i]) * 16777619u;
    }
    const int32_t first = static_cast<int32_t>(hash % static_cast<uint32_t>(width));
    const int32_t end = first + 1 + static_cast<int32_t>((hash >> 16) % static_cast<uint32_t>(width - first));
    MemoryReader again(data, size);
    std::unique_ptr<PictureSource> kept = OpenWebp(again, error);
    Check(kept && kept->Width() == width && kept->Height() == height);
    kept->LimitColumns(first, end);
    bool read = true;
    for (int32_t y = 0; y < height && read; ++y) {
        const uint8_t* row = kept->Row(y);
        read = row != nullptr;
        if (row && decoded) {
            Check(std::memcmp(row + 3 * first, whole.Row(y) + 3 * first, 3 * static_cast<size_t>(end - first)) == 0);
        }
    }
    read = kept->Finish() && read;
    Check(read == decoded);
    Check(read || kept->Error().Reason == wholeError.Reason);
    return 0;
}
