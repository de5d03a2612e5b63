#include "picture/Bmp.h"

#include "platform/Limits.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

namespace quorvane {

namespace {

constexpr uint32_t BiRgb = 0;
constexpr uint32_t BiRle8 = 1;
constexpr uint32_t BiRle4 = 2;
constexpr uint32_t BiBitfields = 3;
constexpr uint32_t BiAlphaBitfields = 6;

constexpr uint64_t FileHeaderSize = 14;
constexpr uint32_t CoreHeaderSize = 12;
constexpr uint32_t InfoHeaderSize = 40;
// From the V2 info header (52 bytes) on, the R, G, B masks sit inside the header itself.
constexpr uint32_t HeaderWithMasksSize = 52;
// The V5 header (124 bytes) adds where an embedded colour profile lies.
constexpr uint32_t V5HeaderSize = 124;
// Bytes read for the headers: the file header and a V5 header, which also covers a 40-byte header with
// four masks after it.
constexpr size_t HeadBytes = FileHeaderSize + V5HeaderSize;
// The colour space word of V4 and V5 headers, and the one value that says a profile is embedded.
constexpr uint32_t CsTypeOffset = 56;
constexpr uint32_t ProfileEmbedded = 0x4D424544; // 'MBED'
// In a V5 header: the profile's offset from the start of the header, and its size.
constexpr uint32_t ProfileDataOffset = 112;
constexpr uint32_t ProfileSizeOffset = 116;

uint16_t Get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// One colour channel of a bit-field pixel. The bits under the mask, shifted down to the mask's lowest set
// bit, are scaled against the mask shifted the same way: value * 255 / max, rounded to nearest. For a
// contiguous mask that is the usual exact scaling (5 bits: 31 -> 255, 16 -> 132); a mask with holes is
// read the same way, so every mask, however odd, gives a defined value in 0..255.
class Channel {
  public:
    explicit Channel(uint32_t mask) : mask_(mask), shift_(mask == 0 ? 0 : std::countr_zero(mask)), max_(mask >> shift_)
    {
        // Masks up to 16 bits wide (all 16-bit files and the usual 32-bit ones) go through a table.
        if (max_ <= 0xFFFF) {
            lut_.resize(static_cast<size_t>(max_) + 1);
            for (uint32_t v = 0; v <= max_; ++v) {
                lut_[v] = Scale(v);
            }
        }
    }

    uint8_t operator()(uint32_t pixel) const
    {
        const uint32_t v = (pixel & mask_) >> shift_;
        return lut_.empty() ? Scale(v) : lut_[v];
    }

  private:
    uint8_t Scale(uint32_t v) const
    {
        if (max_ == 0) {
            return 0;
        }
        return static_cast<uint8_t>((uint64_t{v} * 510 + max_) / (uint64_t{max_} * 2));
    }

    uint32_t mask_;
    int shift_;
    uint32_t max_;
    std::vector<uint8_t> lut_;
};

enum class RowKind { Indexed1, Indexed4, Indexed8, Bgr24, Bgrx32, Fields16, Fields32 };

// Everything the header says about the picture, checked and with every offset in 64 bits.
struct Layout {
    int64_t Width = 0;
    int64_t Height = 0; // always positive; BottomUp keeps the direction
    bool BottomUp = true;
    uint32_t BitCount = 0;
    uint32_t Compression = BiRgb;
    std::array<uint32_t, 3> Masks{}; // R, G, B
    uint64_t TableOffset = 0;
    uint64_t TableEntries = 0;
    uint64_t EntrySize = 4;
    uint64_t PixelOffset = 0;
    uint64_t FileSize = 0;
    // An embedded colour profile (V5 header): where it lies, and whether it lies inside the file.
    uint64_t ProfileOffset = 0;
    uint64_t ProfileSize = 0;
    bool ProfileBroken = false;
    bool Rle() const { return Compression == BiRle8 || Compression == BiRle4; }
};

// The start of the file as read for its headers: the bytes there are, zeros after them.
struct Head {
    std::array<uint8_t, HeadBytes> Bytes{};
    uint64_t Present = 0;
    const uint8_t* Info() const { return Bytes.data() + FileHeaderSize; }
};

void ReadCoreHeader(const Head& head, Layout& layout, uint32_t& planes)
{
    const uint8_t* h = head.Info();
    layout.Width = Get16(h + 4);
    layout.Height = Get16(h + 6);
    planes = Get16(h + 8);
    layout.BitCount = Get16(h + 10);
    layout.EntrySize = 3;
}

void ReadInfoHeader(const Head& head, Layout& layout, uint32_t& planes, uint64_t& colorsUsed)
{
    const uint8_t* h = head.Info();
    layout.Width = static_cast<int32_t>(Get32(h + 4));
    const int64_t height = static_cast<int32_t>(Get32(h + 8));
    layout.BottomUp = height > 0;
    layout.Height = height < 0 ? -height : height;
    planes = Get16(h + 12);
    layout.BitCount = Get16(h + 14);
    layout.Compression = Get32(h + 16);
    colorsUsed = Get32(h + 32);
    layout.EntrySize = 4;
}

// The bit counts and the compressions each of them may have.
LoadReason CheckFormat(const Layout& layout)
{
    const uint32_t c = layout.Compression;
    const bool fields = c == BiBitfields || c == BiAlphaBitfields;
    switch (layout.BitCount) {
    case 1:
    case 24:
        return c == BiRgb ? LoadReason::None : LoadReason::BmpCompression;
    case 4:
        return c == BiRgb || c == BiRle4 ? LoadReason::None : LoadReason::BmpCompression;
    case 8:
        return c == BiRgb || c == BiRle8 ? LoadReason::None : LoadReason::BmpCompression;
    case 16:
    case 32:
        return c == BiRgb || fields ? LoadReason::None : LoadReason::BmpCompression;
    default:
        return LoadReason::BmpBitCount;
    }
}

// The channel masks: the defaults of the bit count, or the ones the file gives, inside the info header
// from V2 on and right after it before that. `masksAfterHeader` is the room those take.
LoadReason ReadMasks(const Head& head, uint64_t headerSize, Layout& layout, uint64_t& masksAfterHeader)
{
    if (layout.BitCount == 16) {
        layout.Masks = {0x7C00, 0x03E0, 0x001F};
    } else if (layout.BitCount == 32) {
        layout.Masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    }
    if (layout.Compression != BiBitfields && layout.Compression != BiAlphaBitfields) {
        return LoadReason::None;
    }
    const uint8_t* masks = head.Info() + InfoHeaderSize;
    if (headerSize < HeaderWithMasksSize) {
        masksAfterHeader = layout.Compression == BiAlphaBitfields ? 16 : 12;
        if (FileHeaderSize + headerSize + masksAfterHeader > layout.FileSize) {
            return LoadReason::BmpBitMasks;
        }
        masks = head.Info() + headerSize;
    }
    layout.Masks = {Get32(masks), Get32(masks + 4), Get32(masks + 8)};
    return LoadReason::None;
}

// Checks the headers and places the colour table and the pixels, every offset in 64 bits.
LoadReason ReadLayout(const Head& head, Layout& layout)
{
    const uint8_t* data = head.Bytes.data();
    if (head.Present < 2 || data[0] != 'B' || data[1] != 'M') {
        return LoadReason::BmpSignature;
    }
    if (head.Present < FileHeaderSize + 4) {
        return LoadReason::BmpHeaderCut;
    }
    const uint64_t offBits = Get32(data + 10);
    const uint64_t headerSize = Get32(data + 14);
    if (headerSize != CoreHeaderSize && headerSize < InfoHeaderSize) {
        return LoadReason::BmpHeaderKind;
    }
    if (headerSize > layout.FileSize - FileHeaderSize) {
        return LoadReason::BmpHeaderCut;
    }
    uint32_t planes = 0;
    uint64_t colorsUsed = 0;
    if (headerSize == CoreHeaderSize) {
        ReadCoreHeader(head, layout, planes);
    } else {
        ReadInfoHeader(head, layout, planes, colorsUsed);
    }
    if (planes != 1) {
        return LoadReason::BmpPlanes;
    }
    if (layout.Width <= 0 || layout.Height <= 0 || layout.Width > MaxPictureSide || layout.Height > MaxPictureSide ||
        layout.Width * layout.Height > MaxPicturePixels) {
        return LoadReason::PictureSize;
    }
    uint64_t masksAfterHeader = 0;
    if (LoadReason format = CheckFormat(layout); format != LoadReason::None) {
        return format;
    }
    if (LoadReason masks = ReadMasks(head, headerSize, layout, masksAfterHeader); masks != LoadReason::None) {
        return masks;
    }
    const uint32_t bits = layout.BitCount;
    layout.TableEntries = colorsUsed != 0 ? colorsUsed : (bits <= 8 ? uint64_t{1} << bits : 0);
    layout.TableOffset = FileHeaderSize + headerSize + masksAfterHeader;
    const uint64_t tableEnd = layout.TableOffset + layout.TableEntries * layout.EntrySize;
    if (layout.TableEntries > 256 || tableEnd > layout.FileSize) {
        return LoadReason::BmpColorTable;
    }
    // Only an embedded profile counts: sRGB and the system's colour space are what an untagged picture is,
    // calibrated endpoints are taken as sRGB too, and a linked profile file is never opened.
    if (headerSize >= V5HeaderSize && Get32(head.Info() + CsTypeOffset) == ProfileEmbedded) {
        layout.ProfileOffset = FileHeaderSize + uint64_t{Get32(head.Info() + ProfileDataOffset)};
        layout.ProfileSize = Get32(head.Info() + ProfileSizeOffset);
        layout.ProfileBroken = layout.ProfileSize == 0 || layout.ProfileSize > MaxProfileBytes ||
                               layout.ProfileOffset + layout.ProfileSize > layout.FileSize;
    }
    // Writers may leave a gap before the pixels; an offset pointing into the headers or outside the file is
    // a broken one, and then the pixels are taken to follow the colour table.
    layout.PixelOffset = offBits >= tableEnd && offBits <= layout.FileSize ? offBits : tableEnd;
    return LoadReason::None;
}

constexpr bool LittleEndian = std::endian::native == std::endian::little;

// A pixel as a 32-bit value whose first three bytes in memory are R, G, B: one 4-byte store writes a pixel.
uint32_t Pack(uint8_t r, uint8_t g, uint8_t b)
{
    if constexpr (LittleEndian) {
        return r | (uint32_t{g} << 8) | (uint32_t{b} << 16);
    } else {
        return (uint32_t{r} << 24) | (uint32_t{g} << 16) | (uint32_t{b} << 8);
    }
}

// Writes `count` pixels, pixel i being pixel(i). Every pixel but the last is stored with one 4-byte write
// whose spare byte the next pixel overwrites, so nothing is written past the last pixel.
template <typename PixelAt> void WritePixels(uint8_t* dst, int64_t count, PixelAt pixel)
{
    if (count <= 0) {
        return;
    }
    const int64_t last = count - 1;
    for (int64_t i = 0; i < last; ++i, dst += 3) {
        const uint32_t v = pixel(i);
        std::memcpy(dst, &v, 4);
    }
    const uint32_t v = pixel(last);
    std::memcpy(dst, &v, 3);
}

// The colour table as 256 packed pixels; indices beyond the table stay black.
using Palette = std::array<uint32_t, 256>;

Palette MakePalette(const uint8_t* table, const Layout& layout)
{
    Palette palette{};
    const uint64_t count = std::min<uint64_t>(layout.TableEntries, 256);
    const uint8_t* entry = table;
    for (uint64_t i = 0; i < count; ++i, entry += layout.EntrySize) {
        palette[i] = Pack(entry[2], entry[1], entry[0]);
    }
    return palette;
}

struct RowDecoder {
    RowKind Kind;
    const Palette& Colors;
    const Channel& Red;
    const Channel& Green;
    const Channel& Blue;

    // Turns one stored row (at least as many bytes as the row holds) into `width` RGB pixels.
    void operator()(const uint8_t* src, uint8_t* dst, int64_t width) const
    {
        const uint32_t* pal = Colors.data();
        switch (Kind) {
        // Plain byte moves are the fastest here: overlapping 4-byte stores stall on the 3-byte steps.
        case RowKind::Bgr24:
            for (int64_t x = 0; x < width; ++x, src += 3, dst += 3) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
            }
            break;
        case RowKind::Bgrx32:
            for (int64_t x = 0; x < width; ++x, src += 4, dst += 3) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
            }
            break;
        case RowKind::Indexed8:
            WritePixels(dst, width, [src, pal](int64_t x) { return pal[src[x]]; });
            break;
        case RowKind::Indexed4:
            WritePixels(dst, width, [src, pal](int64_t x) {
                const uint8_t byte = src[x >> 1];
                return pal[(x & 1) ? (byte & 0x0F) : (byte >> 4)];
            });
            break;
        case RowKind::Indexed1:
            WritePixels(dst, width, [src, pal](int64_t x) { return pal[(src[x >> 3] >> (7 - (x & 7))) & 1]; });
            break;
        case RowKind::Fields16:
            WritePixels(dst, width, [this, src](int64_t x) {
                const uint32_t v = Get16(src + 2 * x);
                return Pack(Red(v), Green(v), Blue(v));
            });
            break;
        case RowKind::Fields32:
            WritePixels(dst, width, [this, src](int64_t x) {
                const uint32_t v = Get32(src + 4 * x);
                return Pack(Red(v), Green(v), Blue(v));
            });
            break;
        }
    }
};

RowKind KindOf(const Layout& layout)
{
    switch (layout.BitCount) {
    case 1:
        return RowKind::Indexed1;
    case 4:
        return RowKind::Indexed4;
    case 8:
        return RowKind::Indexed8;
    case 16:
        return RowKind::Fields16;
    case 24:
        return RowKind::Bgr24;
    default:
        return layout.Masks == std::array<uint32_t, 3>{0x00FF0000, 0x0000FF00, 0x000000FF} ? RowKind::Bgrx32
                                                                                           : RowKind::Fields32;
    }
}

uint64_t RowBytes(const Layout& layout)
{
    return (static_cast<uint64_t>(layout.Width) * layout.BitCount + 31) / 32 * 4;
}

// Run-length encoded 4- and 8-bit data. Lines only ever move forward, so decoding stops at the last line,
// and every run is clipped to the row: hostile data can neither write outside the raster nor make the
// work exceed a bounded amount per input byte.
// The pixels of one encoded run: `count` pixels alternating the two nibbles (4 bits) or repeating the
// byte (8 bits).
void WriteEncodedRun(uint8_t* dst, int64_t count, unsigned code, bool rle4, const Palette& palette)
{
    if (rle4) {
        const uint32_t colors[2] = {palette[code >> 4], palette[code & 0x0F]};
        WritePixels(dst, count, [&colors](int64_t i) { return colors[i & 1]; });
    } else {
        WritePixels(dst, count, [color = palette[code]](int64_t) { return color; });
    }
}

// The pixels of one absolute run, `count` indices stored as nibbles or bytes from `p`.
void WriteAbsoluteRun(uint8_t* dst, int64_t count, const uint8_t* p, bool rle4, const Palette& palette)
{
    if (rle4) {
        WritePixels(dst, count,
                    [p, &palette](int64_t i) { return palette[(i & 1) ? (p[i >> 1] & 0x0F) : (p[i >> 1] >> 4)]; });
    } else {
        WritePixels(dst, count, [p, &palette](int64_t i) { return palette[p[i]]; });
    }
}

void DecodeRle(const uint8_t* p, const uint8_t* end, const Layout& layout, const Palette& palette, Raster& out)
{
    const bool rle4 = layout.Compression == BiRle4;
    const int64_t width = layout.Width;
    const int64_t height = layout.Height;
    int64_t x = 0;
    int64_t line = 0;
    auto rowAt = [&](int64_t at) {
        const int64_t y = layout.BottomUp ? height - 1 - line : line;
        return out.Row(static_cast<int32_t>(y)) + 3 * at;
    };

    while (line < height && end - p >= 2) {
        const unsigned count = p[0];
        const unsigned code = p[1];
        p += 2;
        if (count > 0) {
            WriteEncodedRun(rowAt(x), std::min<int64_t>(count, width - x), code, rle4, palette);
            x = std::min<int64_t>(x + count, width);
        } else if (code == 0) {
            x = 0;
            ++line;
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            if (end - p < 2) {
                break;
            }
            x = std::min<int64_t>(x + p[0], width);
            line += p[1];
            p += 2;
        } else {
            const int64_t bytes = rle4 ? (code + 1) / 2 : code;
            const int64_t available = std::min<int64_t>(bytes, end - p);
            const int64_t pixels = rle4 ? std::min<int64_t>(code, 2 * available) : available;
            WriteAbsoluteRun(rowAt(x), std::min<int64_t>(pixels, width - x), p, rle4, palette);
            x = std::min<int64_t>(x + code, width);
            if (available < bytes) {
                break;
            }
            // Absolute runs are padded to a 16-bit boundary.
            p += std::min<int64_t>((bytes + 1) & ~int64_t{1}, end - p);
        }
    }
}

// The one BMP decoder. Uncompressed and bit-field rows are read from the file in bands as they are asked
// for, so neither the file nor the picture is held whole; run-length encoded data is decoded whole on
// first use, since a row can only be found by decoding everything before it.
class BmpSource final : public PictureSource {
  public:
    BmpSource(ByteReader& file, const Layout& layout, const Palette& palette, ColourProfile profile)
        : file_(file), layout_(layout), palette_(palette), profile_(std::move(profile)), red_(layout.Masks[0]),
          green_(layout.Masks[1]), blue_(layout.Masks[2]), stride_(RowBytes(layout))
    {
        bandRows_ = std::clamp<int64_t>(static_cast<int64_t>(BandBytes / stride_), 1, layout.Height);
    }

    int32_t Width() const override { return static_cast<int32_t>(layout_.Width); }
    int32_t Height() const override { return static_cast<int32_t>(layout_.Height); }
    const LoadError& Error() const override { return error_; }
    const ColourProfile& Profile() const override { return profile_; }

    int64_t WorkingBytes() const override
    {
        if (layout_.Rle()) {
            return layout_.Width * layout_.Height * 3 + static_cast<int64_t>(layout_.FileSize - layout_.PixelOffset);
        }
        return bandRows_ * static_cast<int64_t>(stride_) + layout_.Width * 3;
    }

    const uint8_t* Row(int32_t y) override
    {
        if (error_) {
            return nullptr;
        }
        return CatchOutOfMemory(error_, [&] { return layout_.Rle() ? RleRow(y) : PlainRow(y); });
    }

    bool Finish() override { return !error_; }

  private:
    static constexpr uint64_t BandBytes = 256 * 1024;

    const uint8_t* RleRow(int32_t y)
    {
        if (whole_.Empty()) {
            std::vector<uint8_t> data(static_cast<size_t>(layout_.FileSize - layout_.PixelOffset));
            const int64_t got = file_.ReadAt(layout_.PixelOffset, data.data(), data.size());
            if (got < 0) {
                error_ = {LoadReason::ReadFailed, {}};
                return nullptr;
            }
            // Pixels the data never sets stay black.
            whole_ = Raster(Width(), Height());
            DecodeRle(data.data(), data.data() + got, layout_, palette_, whole_);
        }
        return whole_.Row(y);
    }

    const uint8_t* PlainRow(int32_t y)
    {
        const int64_t stored = layout_.BottomUp ? layout_.Height - 1 - y : y;
        if (stored < bandFirst_ || stored >= bandFirst_ + bandCount_) {
            if (!ReadBand(stored)) {
                return nullptr;
            }
        }
        if (row_.empty()) {
            row_.resize(static_cast<size_t>(layout_.Width) * 3);
        }
        const RowDecoder decode{KindOf(layout_), palette_, red_, green_, blue_};
        decode(band_.data() + static_cast<size_t>(stored - bandFirst_) * stride_, row_.data(), layout_.Width);
        return row_.data();
    }

    // Reads the band of stored rows holding `stored`, reaching in the direction the rows are asked for.
    // Whatever lies beyond the end of the file reads as zero bytes: the part of the picture the file does
    // not hold shows pixel value 0.
    bool ReadBand(int64_t stored)
    {
        bandFirst_ = layout_.BottomUp ? std::max<int64_t>(0, stored - bandRows_ + 1) : stored;
        bandCount_ = std::min(bandRows_, layout_.Height - bandFirst_);
        const size_t bytes = static_cast<size_t>(bandCount_) * stride_;
        band_.resize(bytes);
        const uint64_t offset = layout_.PixelOffset + static_cast<uint64_t>(bandFirst_) * stride_;
        const int64_t got = file_.ReadAt(offset, band_.data(), bytes);
        if (got < 0) {
            error_ = {LoadReason::ReadFailed, {}};
            return false;
        }
        std::fill(band_.begin() + got, band_.end(), uint8_t{0});
        return true;
    }

    ByteReader& file_;
    Layout layout_;
    Palette palette_;
    ColourProfile profile_;
    Channel red_;
    Channel green_;
    Channel blue_;
    uint64_t stride_;
    int64_t bandRows_ = 1;
    int64_t bandFirst_ = 0;
    int64_t bandCount_ = 0;
    std::vector<uint8_t> band_;
    std::vector<uint8_t> row_;
    Raster whole_;
    LoadError error_;
};

} // namespace

std::unique_ptr<PictureSource> OpenBmp(ByteReader& file, LoadError& error)
{
    error = {};
    Head head;
    Layout layout;
    layout.FileSize = file.Size();
    const int64_t got = file.ReadAt(0, head.Bytes.data(), head.Bytes.size());
    if (got < 0) {
        error = {LoadReason::ReadFailed, {}};
        return nullptr;
    }
    head.Present = static_cast<uint64_t>(got);
    if (const LoadReason reason = ReadLayout(head, layout); reason != LoadReason::None) {
        error = {reason, reason == LoadReason::PictureSize ? SizeText(layout.Width, layout.Height) : Message()};
        return nullptr;
    }
    std::array<uint8_t, 256 * 4> table{};
    const size_t tableBytes = static_cast<size_t>(layout.TableEntries * layout.EntrySize);
    if (file.ReadAt(layout.TableOffset, table.data(), tableBytes) != static_cast<int64_t>(tableBytes)) {
        error = {LoadReason::ReadFailed, {}};
        return nullptr;
    }
    return CatchOutOfMemory(error, [&]() -> std::unique_ptr<PictureSource> {
        ColourProfile profile;
        profile.Malformed = layout.ProfileBroken;
        if (layout.ProfileSize > 0 && !layout.ProfileBroken) {
            profile.Bytes.resize(static_cast<size_t>(layout.ProfileSize));
            const int64_t got = file.ReadAt(layout.ProfileOffset, profile.Bytes.data(), profile.Bytes.size());
            if (got != static_cast<int64_t>(profile.Bytes.size())) {
                error = {LoadReason::ReadFailed, {}};
                return nullptr;
            }
        }
        return std::make_unique<BmpSource>(file, layout, MakePalette(table.data(), layout), std::move(profile));
    });
}

} // namespace quorvane
