// Every libwebp call of the tool lives here. libwebp decodes from memory, and its demuxer wants the whole
// file, but nothing large may be held before the decoding's memory is leased: opening therefore walks the
// RIFF chunks in the file itself, reading only their headers and the small chunks (VP8X, ICCP, EXIF, the
// first frame's headers), by the rules of libwebp's demuxer. The first row then reads the file whole, lets
// the demuxer check it and hand over the first frame, checks that it lies where opening found it, and
// decodes the columns the reader keeps in one call.

#include "picture/Webp.h"

#include "picture/Exif.h"
#include "picture/WholeSource.h"
#include "platform/Limits.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>
#include <webp/decode.h>
#include <webp/demux.h>

namespace quorvane {

namespace {

constexpr uint64_t ChunkHeaderBytes = 8;
constexpr uint64_t RiffHeaderBytes = 12;
constexpr uint32_t Vp8xBytes = 10;
constexpr uint32_t AnimBytes = 6;
constexpr uint32_t AnmfBytes = 16;
// libwebp's largest chunk payload.
constexpr uint32_t MaxChunkPayload = ~0u - ChunkHeaderBytes - 1;
// Bytes of a bitstream chunk's payload that WebPGetFeatures reads (VP8's frame header is 10 bytes,
// VP8L's 5).
constexpr uint32_t FeatureBytes = 32;
// The EXIF chunk is read this far: IFD0, which holds the orientation, comes first.
constexpr uint32_t MaxExifBytes = 64 * 1024;
// A file of more chunks is refused: the demuxer keeps a record of every chunk, and no picture needs them.
constexpr int64_t MaxChunks = int64_t{1} << 20;

// Columns decoded on each side of the kept ones. libwebp's upsampling of lossy chroma treats the edges of a
// cropped window as picture edges, so the first and last column of the window differ from a whole decode;
// and it upsamples a window that starts at an odd column out of phase, so the window starts at an even one.
constexpr int32_t CropMargin = 2;

// What libwebp holds while it decodes, besides the output: measured on 16-megapixel pictures and read from
// its sources. The demuxer keeps one record of at most 96 bytes per chunk. A lossy picture holds a few
// macroblock rows; with alpha, the alpha plane twice (one of them allocated and never written) and the
// lossless decoder of the plane. The lossless decoder holds the whole picture as ARGB, 16 more rows, the
// sub-pictures of its transforms and of its Huffman groups (at most 3 of a pixel per 16) and the Huffman
// tables: at most 20.6 KB per group, for at most 1000 groups (libwebp's own encoder writes far fewer; a
// hostile file may make libwebp allocate tables for up to 65536 groups). Besides: the decoders' state,
// and what the heap keeps of it once freed.
constexpr int64_t DemuxBytesPerChunk = 128;
constexpr int64_t LossyBytesPerColumn = 160;
constexpr int64_t LosslessBytesPerColumn = 17 * 4;
constexpr int64_t HuffmanGroupBytes = 5004 * 4 + 600;
constexpr int64_t MaxHuffmanGroups = 1000;
constexpr int64_t LibwebpFixedBytes = 1024 * 1024;

uint32_t Le16(const uint8_t* p)
{
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8);
}

uint32_t Le24(const uint8_t* p)
{
    return Le16(p) | (uint32_t{p[2]} << 16);
}

uint32_t Le32(const uint8_t* p)
{
    return Le24(p) | (uint32_t{p[3]} << 24);
}

bool IsFourcc(const uint8_t* p, const char* fourcc)
{
    return std::memcmp(p, fourcc, 4) == 0;
}

LoadReason ReasonOf(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return LoadReason::WebpCutShort;
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return LoadReason::WebpUnsupported;
    case VP8_STATUS_OUT_OF_MEMORY:
        return LoadReason::OutOfMemory;
    default:
        return LoadReason::WebpDamaged;
    }
}

// Reads small pieces of a file through a buffer, so walking many small chunks costs few reads.
class Peek {
  public:
    explicit Peek(ByteReader& file) : file_(file) {}

    // The `count` bytes at `offset` (count at most the buffer's size); false when the file ends first or
    // cannot be read (then Failed()).
    bool Read(uint64_t offset, uint8_t* to, size_t count)
    {
        if (offset < start_ || offset - start_ + count > size_) {
            const int64_t got = file_.ReadAt(offset, buffer_, sizeof buffer_);
            if (got < 0) {
                failed_ = true;
                size_ = 0;
                return false;
            }
            start_ = offset;
            size_ = static_cast<size_t>(got);
            if (count > size_) {
                return false;
            }
        }
        std::memcpy(to, buffer_ + (offset - start_), count);
        return true;
    }

    bool Failed() const { return failed_; }

  private:
    ByteReader& file_;
    uint64_t start_ = 0;
    size_t size_ = 0;
    uint8_t buffer_[4096] = {};
    bool failed_ = false;
};

// A chunk: where its header starts, its fourcc and its payload's size as written (without the padding).
struct Chunk {
    uint64_t Offset = 0;
    uint8_t Fourcc[4] = {};
    uint32_t Size = 0;

    uint64_t Payload() const { return Offset + ChunkHeaderBytes; }
    uint64_t Padded() const { return uint64_t{Size} + (Size & 1); }
    uint64_t End() const { return Payload() + Padded(); }
};

// What opening found out: the canvas and its first frame.
struct Layout {
    uint64_t RiffEnd = 0; // the bytes of the file that count; anything after them is ignored
    int64_t Chunks = 0;
    int32_t CanvasWidth = 0;
    int32_t CanvasHeight = 0;
    // The first frame: its place on the canvas, its size, and its data as the demuxer hands it over (the
    // ALPH chunk, when it counts, and the VP8 or VP8L chunk).
    int32_t FrameX = 0;
    int32_t FrameY = 0;
    int32_t FrameWidth = 0;
    int32_t FrameHeight = 0;
    uint64_t FragmentOffset = 0;
    uint64_t FragmentSize = 0;
    bool Lossless = false;
    bool Alpha = false; // decoded as RGBA
};

// The walk over the chunks of a file, by the rules of libwebp's demuxer: every chunk header is checked
// as the demuxer checks it, so a file the walk accepts is one the demuxer accepts with the same first
// frame, ICCP and EXIF chunk (anything it finds wrong only later turns up when the first row is read).
class ChunkWalk {
  public:
    ChunkWalk(ByteReader& file, Layout& layout, ColourProfile& profile, int& orientation, LoadError& error)
        : file_(file), peek_(file), layout_(layout), profile_(profile), orientation_(orientation), error_(error)
    {
    }

    bool Run()
    {
        const uint64_t size = file_.Size();
        if (size == 0) {
            return Fail(LoadReason::EmptyFile);
        }
        uint8_t head[RiffHeaderBytes + ChunkHeaderBytes] = {};
        const size_t got = static_cast<size_t>(std::min<uint64_t>(size, sizeof head));
        if (!peek_.Read(0, head, got)) {
            return Fail(peek_.Failed() ? LoadReason::ReadFailed : LoadReason::WebpCutShort);
        }
        static const uint8_t Signature[RiffHeaderBytes] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'};
        for (size_t i = 0; i < std::min<size_t>(got, RiffHeaderBytes); ++i) {
            if ((i < 4 || i >= 8) && head[i] != Signature[i]) {
                return Fail(LoadReason::WebpNotWebp);
            }
        }
        if (got < RiffHeaderBytes) {
            return Fail(LoadReason::WebpCutShort);
        }
        const uint32_t riffSize = Le32(head + 4);
        if (riffSize < RiffHeaderBytes || riffSize > MaxChunkPayload) {
            return Fail(LoadReason::WebpDamaged);
        }
        layout_.RiffEnd = ChunkHeaderBytes + riffSize;
        if (layout_.RiffEnd > size) {
            return Fail(LoadReason::WebpCutShort);
        }
        Chunk first;
        if (!ReadChunk(RiffHeaderBytes, first)) {
            return false;
        }
        if (IsFourcc(first.Fourcc, "VP8X")) {
            return Extended(first);
        }
        if (IsFourcc(first.Fourcc, "VP8 ") || IsFourcc(first.Fourcc, "VP8L")) {
            // A simple file: the picture alone (an ALPH chunk counts only in an extended file).
            Frame frame;
            uint64_t end = 0;
            if (!ReadFrame(first.Offset, frame, end)) {
                return false;
            }
            frame.Alpha.reset();
            if (!Features(frame)) {
                return false;
            }
            layout_.CanvasWidth = layout_.FrameWidth;
            layout_.CanvasHeight = layout_.FrameHeight;
            return CheckSize(layout_.CanvasWidth, layout_.CanvasHeight);
        }
        return Fail(LoadReason::WebpDamaged);
    }

  private:
    // The chunks of one frame, as the demuxer gathers them: an ALPH chunk and a VP8 or VP8L chunk, each
    // taken once, in a run of such chunks.
    struct Frame {
        std::optional<Chunk> Alpha;
        std::optional<Chunk> Image;
    };

    bool Fail(LoadReason reason)
    {
        error_ = {reason, {}};
        return false;
    }

    // The chunk header at `offset`, which the demuxer requires to lie inside the RIFF data with its payload.
    bool ReadChunk(uint64_t offset, Chunk& chunk)
    {
        uint8_t header[ChunkHeaderBytes];
        if (layout_.RiffEnd - offset < ChunkHeaderBytes) {
            return Fail(LoadReason::WebpDamaged);
        }
        if (!peek_.Read(offset, header, sizeof header)) {
            return Fail(peek_.Failed() ? LoadReason::ReadFailed : LoadReason::WebpCutShort);
        }
        if (++layout_.Chunks > MaxChunks) {
            return Fail(LoadReason::WebpUnsupported);
        }
        chunk.Offset = offset;
        std::memcpy(chunk.Fourcc, header, 4);
        chunk.Size = Le32(header + 4);
        if (chunk.Size > MaxChunkPayload || chunk.Padded() > layout_.RiffEnd - chunk.Payload()) {
            return Fail(LoadReason::WebpDamaged);
        }
        return true;
    }

    bool ReadPayload(const Chunk& chunk, uint8_t* to, size_t count)
    {
        if (count == 0) {
            return true; // an empty chunk: `to` may be no buffer at all
        }
        const int64_t got = file_.ReadAt(chunk.Payload(), to, count);
        if (got < 0) {
            return Fail(LoadReason::ReadFailed);
        }
        return static_cast<size_t>(got) == count || Fail(LoadReason::WebpCutShort);
    }

    // Gathers a frame's chunks from `offset` on; `end` is where the run stopped. False with the error set
    // when a chunk is out of place.
    bool ReadFrame(uint64_t offset, Frame& frame, uint64_t& end)
    {
        end = offset;
        while (end < layout_.RiffEnd) {
            Chunk chunk;
            if (!ReadChunk(end, chunk)) {
                return false;
            }
            const bool alpha = IsFourcc(chunk.Fourcc, "ALPH");
            const bool lossless = IsFourcc(chunk.Fourcc, "VP8L");
            const bool lossy = IsFourcc(chunk.Fourcc, "VP8 ");
            if (alpha && !frame.Alpha) {
                frame.Alpha = chunk;
            } else if (lossless && frame.Alpha) {
                return Fail(LoadReason::WebpDamaged); // VP8L carries its own alpha
            } else if ((lossless || lossy) && !frame.Image) {
                frame.Image = chunk;
            } else {
                --layout_.Chunks; // read again by the caller
                return true;
            }
            end = chunk.End();
        }
        return true;
    }

    // The first frame's bitstream header, through libwebp, and what it gives the layout.
    bool Features(const Frame& frame)
    {
        const Chunk& image = *frame.Image;
        uint8_t head[ChunkHeaderBytes + FeatureBytes];
        const size_t count = ChunkHeaderBytes + static_cast<size_t>(std::min<uint64_t>(image.Padded(), FeatureBytes));
        if (!peek_.Read(image.Offset, head, count)) {
            return Fail(peek_.Failed() ? LoadReason::ReadFailed : LoadReason::WebpCutShort);
        }
        WebPBitstreamFeatures features;
        const VP8StatusCode status = WebPGetFeatures(head, count, &features);
        if (status != VP8_STATUS_OK) {
            return Fail(ReasonOf(status));
        }
        if (frame.Alpha && frame.Alpha->Offset > image.Offset) {
            return Fail(LoadReason::WebpDamaged); // the demuxer wants the alpha first
        }
        layout_.FrameWidth = features.width;
        layout_.FrameHeight = features.height;
        layout_.Lossless = IsFourcc(image.Fourcc, "VP8L");
        layout_.Alpha = layout_.Lossless || frame.Alpha.has_value();
        layout_.FragmentOffset = frame.Alpha ? frame.Alpha->Offset : image.Offset;
        layout_.FragmentSize = image.End() - layout_.FragmentOffset;
        return true;
    }

    bool CheckSize(int64_t width, int64_t height)
    {
        if (width <= 0 || height <= 0 || width > MaxPictureSide || height > MaxPictureSide ||
            width * height > MaxPicturePixels) {
            error_ = {LoadReason::PictureSize, SizeText(width, height)};
            return false;
        }
        return true;
    }

    // An extended file: the VP8X chunk with the canvas and the flags, then any chunks in any order, as
    // the demuxer takes them.
    bool Extended(const Chunk& vp8x)
    {
        uint8_t header[Vp8xBytes];
        if (vp8x.Size < Vp8xBytes) {
            return Fail(LoadReason::WebpDamaged);
        }
        if (!ReadPayload(vp8x, header, sizeof header)) {
            return false;
        }
        const uint8_t flags = header[0];
        layout_.CanvasWidth = static_cast<int32_t>(Le24(header + 4) + 1);
        layout_.CanvasHeight = static_cast<int32_t>(Le24(header + 7) + 1);
        if (!CheckSize(layout_.CanvasWidth, layout_.CanvasHeight)) {
            return false;
        }
        if ((flags & ~ALL_VALID_FLAGS) != 0) {
            return Fail(LoadReason::WebpDamaged);
        }
        const bool animated = (flags & ANIMATION_FLAG) != 0;
        bool anim = false;
        bool found = false;
        bool still = false;
        bool iccp = false;
        bool exif = false;
        uint64_t at = vp8x.End();
        while (at < layout_.RiffEnd) {
            Chunk chunk;
            if (!ReadChunk(at, chunk)) {
                return false;
            }
            at = chunk.End();
            const uint8_t* fourcc = chunk.Fourcc;
            if (IsFourcc(fourcc, "VP8X")) {
                return Fail(LoadReason::WebpDamaged);
            }
            if (IsFourcc(fourcc, "ALPH") || IsFourcc(fourcc, "VP8 ") || IsFourcc(fourcc, "VP8L")) {
                // A still picture; an animation keeps its pictures in frames, and there is one picture.
                if (anim || animated || still) {
                    return Fail(LoadReason::WebpDamaged);
                }
                --layout_.Chunks;
                Frame frame;
                if (!ReadFrame(chunk.Offset, frame, at)) {
                    return false;
                }
                still = true;
                if (!frame.Image) {
                    return Fail(LoadReason::WebpDamaged);
                }
                if ((flags & ALPHA_FLAG) == 0) {
                    frame.Alpha.reset();
                }
                if (!Features(frame)) {
                    return false;
                }
                if (layout_.FrameWidth != layout_.CanvasWidth || layout_.FrameHeight != layout_.CanvasHeight) {
                    return Fail(LoadReason::WebpDamaged);
                }
                found = true;
            } else if (IsFourcc(fourcc, "ANIM")) {
                if (chunk.Padded() < AnimBytes) {
                    return Fail(LoadReason::WebpDamaged);
                }
                anim = true;
            } else if (IsFourcc(fourcc, "ANMF")) {
                if (!anim || chunk.Padded() < AnmfBytes) {
                    return Fail(LoadReason::WebpDamaged);
                }
                if (!AnimationFrame(chunk, animated && !found, found, at)) {
                    return false;
                }
            } else if (IsFourcc(fourcc, "ICCP") && (flags & ICCP_FLAG) != 0 && !iccp) {
                iccp = true;
                if (!Profile(chunk)) {
                    return false;
                }
            } else if (IsFourcc(fourcc, "EXIF") && (flags & EXIF_FLAG) != 0 && !exif) {
                exif = true;
                if (!Orientation(chunk)) {
                    return false;
                }
            }
        }
        return found || Fail(LoadReason::WebpDamaged);
    }

    // An ANMF chunk: its header, then the frame's chunks, after which the walk goes on where they end.
    // The first frame with a picture, when `first`, becomes the layout's.
    bool AnimationFrame(const Chunk& anmf, bool first, bool& found, uint64_t& at)
    {
        uint8_t header[AnmfBytes];
        if (!ReadPayload(anmf, header, sizeof header)) {
            return false;
        }
        const uint64_t width = uint64_t{Le24(header + 6)} + 1;
        const uint64_t height = uint64_t{Le24(header + 9)} + 1;
        if (width * height >= (uint64_t{1} << 32)) {
            return Fail(LoadReason::WebpDamaged);
        }
        const uint64_t start = anmf.Payload() + AnmfBytes;
        if (layout_.RiffEnd - start < ChunkHeaderBytes) {
            return Fail(LoadReason::WebpDamaged);
        }
        Frame frame;
        if (!ReadFrame(start, frame, at)) {
            return false;
        }
        if (at - start > anmf.Padded() - AnmfBytes) {
            return Fail(LoadReason::WebpDamaged);
        }
        if (!first || (!frame.Alpha && !frame.Image)) {
            return true; // not the first frame, or no frame at all: the demuxer passes over it
        }
        if (!frame.Image) {
            return Fail(LoadReason::WebpDamaged);
        }
        if (!Features(frame)) {
            return false;
        }
        layout_.FrameX = static_cast<int32_t>(2 * Le24(header));
        layout_.FrameY = static_cast<int32_t>(2 * Le24(header + 3));
        if (int64_t{layout_.FrameX} + layout_.FrameWidth > layout_.CanvasWidth ||
            int64_t{layout_.FrameY} + layout_.FrameHeight > layout_.CanvasHeight) {
            return Fail(LoadReason::WebpDamaged);
        }
        found = true;
        return true;
    }

    bool Profile(const Chunk& chunk)
    {
        if (chunk.Size > MaxProfileBytes) {
            profile_.Malformed = true;
            return true;
        }
        profile_.Bytes.resize(chunk.Size);
        profile_.Model = ColourModel::Rgb;
        return ReadPayload(chunk, profile_.Bytes.data(), profile_.Bytes.size());
    }

    bool Orientation(const Chunk& chunk)
    {
        std::vector<uint8_t> exif(std::min(chunk.Size, MaxExifBytes));
        if (!ReadPayload(chunk, exif.data(), exif.size())) {
            return false;
        }
        orientation_ = ExifChunkOrientation(exif.data(), exif.size());
        return true;
    }

    ByteReader& file_;
    Peek peek_;
    Layout& layout_;
    ColourProfile& profile_;
    int& orientation_;
    LoadError& error_;
};

// The memory libwebp's lossless decoder holds for a picture of width x height.
int64_t LosslessBytes(int64_t width, int64_t height)
{
    const int64_t groups = std::min(((width + 3) / 4) * ((height + 3) / 4), MaxHuffmanGroups);
    return width * height * 4 + width * height * 3 / 4 + width * LosslessBytesPerColumn + groups * HuffmanGroupBytes;
}

struct DemuxerDelete {
    void operator()(WebPDemuxer* demuxer) const { WebPDemuxDelete(demuxer); }
};
using Demuxer = std::unique_ptr<WebPDemuxer, DemuxerDelete>;

// Frees what libwebp may have put into a decoder's output, whatever way the decoding ends.
class OutputBuffer {
  public:
    explicit OutputBuffer(WebPDecBuffer& buffer) : buffer_(buffer) {}
    ~OutputBuffer() { WebPFreeDecBuffer(&buffer_); }
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

  private:
    WebPDecBuffer& buffer_;
};

class WebpSource final : public PictureSource {
  public:
    WebpSource(ByteReader& file, const std::atomic<bool>* stop) : file_(file), stop_(stop) {}

    bool Open()
    {
        ChunkWalk walk(file_, layout_, profile_, orientation_, error_);
        if (!walk.Run()) {
            return false;
        }
        turned_ = orientation_ >= 2 && orientation_ <= 8;
        const bool swapped = OrientationSwapsSides(orientation_);
        width_ = swapped ? layout_.CanvasHeight : layout_.CanvasWidth;
        height_ = swapped ? layout_.CanvasWidth : layout_.CanvasHeight;
        return true;
    }

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    const LoadError& Error() const override { return error_; }
    const ColourProfile& Profile() const override { return profile_; }

    // The file and the demuxer's records, the output and what libwebp holds while decoding; for a picture
    // that is turned, the output and the upright picture afterwards; one row and libwebp's state.
    int64_t WorkingBytes() const override
    {
        const int64_t width = layout_.FrameWidth;
        const int64_t height = layout_.FrameHeight;
        const int64_t output = width * height * (layout_.Alpha ? 4 : 3);
        const int64_t libwebp =
            layout_.Lossless
                ? LosslessBytes(width, height)
                : width * LossyBytesPerColumn + (layout_.Alpha ? 2 * width * height + LosslessBytes(width, height) : 0);
        const int64_t decoding =
            static_cast<int64_t>(layout_.RiffEnd) + layout_.Chunks * DemuxBytesPerChunk + output + libwebp;
        const int64_t placing = turned_ ? output + int64_t{width_} * height_ * 3 : 0;
        return std::max(decoding, placing) + int64_t{width_} * 3 + LibwebpFixedBytes;
    }

    void LimitColumns(int32_t first, int32_t end) override
    {
        first_ = first;
        end_ = end;
    }

    const uint8_t* Row(int32_t y) override
    {
        if (finished_ || !Decoded() || y < 0 || y >= height_) {
            return nullptr;
        }
        if (turned_) {
            return upright_.Row(y);
        }
        CanvasRow(y, row_.data());
        return row_.data();
    }

    bool Finish() override
    {
        const bool decoded = Decoded();
        finished_ = true;
        PictureBytes().swap(output_);
        upright_ = Raster();
        return decoded;
    }

  private:
    bool Fail(LoadReason reason)
    {
        error_ = {reason, {}};
        return false;
    }

    bool Decoded()
    {
        if (!tried_) {
            tried_ = true;
            decoded_ = CatchOutOfMemory(error_, [this] { return Decode(); });
            if (!decoded_) {
                PictureBytes().swap(output_);
                upright_ = Raster();
            }
        }
        return decoded_;
    }

    bool Stopped() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }

    // The window of the first frame's columns to decode: the kept columns (all of them for a picture that
    // is turned, whose columns are rows of the stored one), widened by the margin, from an even column.
    void ChooseWindow()
    {
        const int32_t frameWidth = layout_.FrameWidth;
        cropLeft_ = 0;
        cropWidth_ = frameWidth;
        if (turned_ || end_ <= first_) {
            return;
        }
        int32_t left = std::clamp(first_ - layout_.FrameX, 0, frameWidth);
        int32_t right = std::clamp(end_ - layout_.FrameX, 0, frameWidth);
        if (left >= right) {
            // The kept columns miss the frame: a sliver of it is decoded all the same, so that a damaged
            // frame is found whichever columns are kept.
            left = 0;
            right = std::min(frameWidth, 1);
        }
        left = std::max(0, left - CropMargin) & ~1;
        right = std::min(frameWidth, right + CropMargin);
        cropLeft_ = left;
        cropWidth_ = right - left;
    }

    bool Decode()
    {
        if (Stopped()) {
            return Fail(LoadReason::Cancelled);
        }
        ChooseWindow();
        const int bytes = layout_.Alpha ? 4 : 3;
        const size_t stride = static_cast<size_t>(cropWidth_) * bytes;
        row_.assign(static_cast<size_t>(layout_.CanvasWidth) * 3, 255);
        output_.resize(stride * static_cast<size_t>(layout_.FrameHeight));
        PictureBytes data(static_cast<size_t>(layout_.RiffEnd));
        const int64_t got = file_.ReadAt(0, data.data(), data.size());
        if (got < 0) {
            return Fail(LoadReason::ReadFailed);
        }
        if (static_cast<size_t>(got) != data.size()) {
            return Fail(LoadReason::WebpCutShort);
        }
        if (!DecodeFrame(data, stride)) {
            return false;
        }
        PictureBytes().swap(data);
        if (turned_) {
            upright_ = Raster(width_, height_);
            uint8_t* row = row_.data();
            for (int32_t y = 0; y < layout_.CanvasHeight; ++y) {
                CanvasRow(y, row);
                PlaceStoredRows(upright_, orientation_, layout_.CanvasWidth, layout_.CanvasHeight, y, &row, 1);
            }
            PictureBytes().swap(output_);
            std::vector<uint8_t>().swap(row_);
        }
        return true;
    }

    // The demuxer's first frame, which must be the one opening found, decoded over the window into output_.
    bool DecodeFrame(const PictureBytes& data, size_t stride)
    {
        const WebPData bytes = {data.data(), data.size()};
        const Demuxer demuxer(WebPDemux(&bytes));
        WebPIterator frame;
        if (!demuxer || !WebPDemuxGetFrame(demuxer.get(), 1, &frame)) {
            return Fail(LoadReason::WebpDamaged);
        }
        const bool same =
            WebPDemuxGetI(demuxer.get(), WEBP_FF_CANVAS_WIDTH) == static_cast<uint32_t>(layout_.CanvasWidth) &&
            WebPDemuxGetI(demuxer.get(), WEBP_FF_CANVAS_HEIGHT) == static_cast<uint32_t>(layout_.CanvasHeight) &&
            frame.x_offset == layout_.FrameX && frame.y_offset == layout_.FrameY && frame.width == layout_.FrameWidth &&
            frame.height == layout_.FrameHeight && frame.fragment.bytes == data.data() + layout_.FragmentOffset &&
            frame.fragment.size == layout_.FragmentSize;
        const WebPData fragment = frame.fragment;
        WebPDemuxReleaseIterator(&frame);
        if (!same) {
            return Fail(LoadReason::WebpDamaged);
        }
        WebPDecoderConfig config;
        if (!WebPInitDecoderConfig(&config)) {
            return Fail(LoadReason::WebpUnsupported);
        }
        // libwebp's defaults otherwise: fancy upsampling, the loop filter, no dithering, no threads, so
        // every build decodes the same pixels.
        config.output.colorspace = layout_.Alpha ? MODE_RGBA : MODE_RGB;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = output_.data();
        config.output.u.RGBA.stride = static_cast<int>(stride);
        config.output.u.RGBA.size = output_.size();
        if (cropWidth_ < layout_.FrameWidth) {
            config.options.use_cropping = 1;
            config.options.crop_left = cropLeft_;
            config.options.crop_top = 0;
            config.options.crop_width = cropWidth_;
            config.options.crop_height = layout_.FrameHeight;
        }
        const OutputBuffer owned(config.output);
        if (Stopped()) {
            return Fail(LoadReason::Cancelled);
        }
        const VP8StatusCode status = WebPDecode(fragment.bytes, fragment.size, &config);
        if (status != VP8_STATUS_OK) {
            return Fail(ReasonOf(status));
        }
        if (config.output.width != cropWidth_ || config.output.height != layout_.FrameHeight) {
            return Fail(LoadReason::WebpDamaged);
        }
        return true;
    }

    // Row y of the canvas into `to` (3 * canvas width bytes, white where the frame does not cover it): the
    // decoded window of the frame, laid over white. Only the window's columns are written.
    void CanvasRow(int32_t y, uint8_t* to) const
    {
        uint8_t* window = to + (static_cast<size_t>(layout_.FrameX) + static_cast<size_t>(cropLeft_)) * 3;
        const int32_t frameRow = y - layout_.FrameY;
        if (frameRow < 0 || frameRow >= layout_.FrameHeight) {
            std::memset(window, 255, static_cast<size_t>(cropWidth_) * 3);
            return;
        }
        if (!layout_.Alpha) {
            const size_t stride = static_cast<size_t>(cropWidth_) * 3;
            std::memcpy(window, output_.data() + static_cast<size_t>(frameRow) * stride, stride);
            return;
        }
        const uint8_t* from = output_.data() + static_cast<size_t>(frameRow) * static_cast<size_t>(cropWidth_) * 4;
        for (int32_t x = 0; x < cropWidth_; ++x, from += 4, window += 3) {
            for (int c = 0; c < 3; ++c) {
                window[c] = OverWhite(from[c], from[3], 8);
            }
        }
    }

    ByteReader& file_;
    const std::atomic<bool>* stop_;
    Layout layout_;
    ColourProfile profile_;
    LoadError error_;
    int orientation_ = 1;
    bool turned_ = false;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t first_ = 0;
    int32_t end_ = 0;
    int32_t cropLeft_ = 0;
    int32_t cropWidth_ = 0;
    bool tried_ = false;
    bool decoded_ = false;
    bool finished_ = false;
    PictureBytes output_;
    std::vector<uint8_t> row_;
    Raster upright_;
};

} // namespace

std::unique_ptr<PictureSource> OpenWebp(ByteReader& file, LoadError& error, const std::atomic<bool>* stop)
{
    error = {};
    return CatchOutOfMemory(error, [&]() -> std::unique_ptr<PictureSource> {
        auto source = std::make_unique<WebpSource>(file, stop);
        if (!source->Open()) {
            error = source->Error();
            return nullptr;
        }
        return source;
    });
}

} // namespace quorvane
