#include "platform/Bmp.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <exception>
#include <vector>

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
};

bool ReadLayout(const uint8_t* data, uint64_t size, Layout& layout)
{
    if (size < FileHeaderSize + 4 || data[0] != 'B' || data[1] != 'M') {
        return false;
    }
    const uint64_t offBits = Get32(data + 10);
    const uint64_t headerSize = Get32(data + 14);
    const uint8_t* h = data + FileHeaderSize;
    if (headerSize != CoreHeaderSize && headerSize < InfoHeaderSize) {
        return false;
    }
    if (headerSize > size - FileHeaderSize) {
        return false;
    }

    uint32_t planes = 0;
    uint64_t colorsUsed = 0;
    uint64_t masksAfterHeader = 0;
    if (headerSize == CoreHeaderSize) {
        layout.Width = Get16(h + 4);
        layout.Height = Get16(h + 6);
        planes = Get16(h + 8);
        layout.BitCount = Get16(h + 10);
        layout.EntrySize = 3;
    } else {
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
    if (planes != 1) {
        return false;
    }
    if (layout.Width <= 0 || layout.Height <= 0 || layout.Width > MaxPictureSide || layout.Height > MaxPictureSide ||
        layout.Width * layout.Height > MaxPicturePixels) {
        return false;
    }

    const uint32_t bits = layout.BitCount;
    const uint32_t compression = layout.Compression;
    const bool fields = compression == BiBitfields || compression == BiAlphaBitfields;
    bool accepted = false;
    switch (bits) {
    case 1:
    case 24:
        accepted = compression == BiRgb;
        break;
    case 4:
        accepted = compression == BiRgb || compression == BiRle4;
        break;
    case 8:
        accepted = compression == BiRgb || compression == BiRle8;
        break;
    case 16:
    case 32:
        accepted = compression == BiRgb || fields;
        break;
    default:
        break;
    }
    if (!accepted) {
        return false;
    }

    if (bits == 16) {
        layout.Masks = {0x7C00, 0x03E0, 0x001F};
    } else if (bits == 32) {
        layout.Masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    }
    if (fields) {
        const uint8_t* masks = h + InfoHeaderSize;
        if (headerSize < HeaderWithMasksSize) {
            masksAfterHeader = compression == BiAlphaBitfields ? 16 : 12;
            if (FileHeaderSize + headerSize + masksAfterHeader > size) {
                return false;
            }
            masks = data + FileHeaderSize + headerSize;
        }
        layout.Masks = {Get32(masks), Get32(masks + 4), Get32(masks + 8)};
    }

    layout.TableEntries = colorsUsed != 0 ? colorsUsed : (bits <= 8 ? uint64_t{1} << bits : 0);
    if (layout.TableEntries > 256) {
        return false;
    }
    layout.TableOffset = FileHeaderSize + headerSize + masksAfterHeader;
    const uint64_t tableEnd = layout.TableOffset + layout.TableEntries * layout.EntrySize;
    if (tableEnd > size) {
        return false;
    }
    // Writers may leave a gap before the pixels; an offset pointing into the headers or outside the file is
    // a broken one, and then the pixels are taken to follow the colour table.
    layout.PixelOffset = offBits >= tableEnd && offBits <= size ? offBits : tableEnd;
    return true;
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

Palette ReadPalette(const uint8_t* data, const Layout& layout)
{
    Palette palette{};
    const uint64_t count = std::min<uint64_t>(layout.TableEntries, 256);
    const uint8_t* entry = data + layout.TableOffset;
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

// `scratch` holds one stored row when the file is cut short inside the pixels, and is empty otherwise.
void DecodeRows(const uint8_t* data, uint64_t size, const Layout& layout, const RowDecoder& decode,
                std::vector<uint8_t>& scratch, Raster& out)
{
    const uint64_t stride = RowBytes(layout);
    const uint64_t present = size - layout.PixelOffset;
    const uint8_t* pixels = data + layout.PixelOffset;
    // A row cut off by the end of the file is completed with zero bytes, and the rows after it are all
    // zero: the part of the picture the file does not hold shows pixel value 0.
    const uint8_t* zeroRow = nullptr;
    for (int64_t i = 0; i < layout.Height; ++i) {
        const int64_t y = layout.BottomUp ? layout.Height - 1 - i : i;
        uint8_t* dst = out.Row(static_cast<int32_t>(y));
        const uint64_t start = static_cast<uint64_t>(i) * stride;
        if (start + stride <= present) {
            decode(pixels + start, dst, layout.Width);
        } else if (start < present) {
            std::fill(scratch.begin(), scratch.end(), uint8_t{0});
            std::memcpy(scratch.data(), pixels + start, present - start);
            decode(scratch.data(), dst, layout.Width);
        } else if (zeroRow == nullptr) {
            std::fill(scratch.begin(), scratch.end(), uint8_t{0});
            decode(scratch.data(), dst, layout.Width);
            zeroRow = dst;
        } else {
            std::memcpy(dst, zeroRow, out.Stride());
        }
    }
}

// Run-length encoded 4- and 8-bit data. Lines only ever move forward, so decoding stops at the last line,
// and every run is clipped to the row: hostile data can neither write outside the raster nor make the
// work exceed a bounded amount per input byte.
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
            const int64_t n = std::min<int64_t>(count, width - x);
            if (rle4) {
                const uint32_t colors[2] = {palette[code >> 4], palette[code & 0x0F]};
                WritePixels(rowAt(x), n, [&colors](int64_t i) { return colors[i & 1]; });
            } else {
                WritePixels(rowAt(x), n, [color = palette[code]](int64_t) { return color; });
            }
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
            const int64_t n = std::min<int64_t>(pixels, width - x);
            if (rle4) {
                WritePixels(rowAt(x), n, [p, &palette](int64_t i) {
                    return palette[(i & 1) ? (p[i >> 1] & 0x0F) : (p[i >> 1] >> 4)];
                });
            } else {
                WritePixels(rowAt(x), n, [p, &palette](int64_t i) { return palette[p[i]]; });
            }
            x = std::min<int64_t>(x + code, width);
            if (available < bytes) {
                break;
            }
            // Absolute runs are padded to a 16-bit boundary.
            p += std::min<int64_t>((bytes + 1) & ~int64_t{1}, end - p);
        }
    }
}

void FillRaster(Raster& out, uint32_t color)
{
    WritePixels(out.Row(0), out.Width, [color](int64_t) { return color; });
    for (int32_t y = 1; y < out.Height; ++y) {
        std::memcpy(out.Row(y), out.Row(0), out.Stride());
    }
}

// Decodes the rows of an uncompressed or bit-field file one at a time, straight from the file's bytes,
// so the whole picture is never held. Run-length encoded files are decoded whole first: their rows can
// only be found by decoding everything before them.
class BmpRowSource final : public RowSource {
  public:
    BmpRowSource(const uint8_t* data, size_t size, const Layout& layout)
        : data_(data), size_(size), layout_(layout), palette_(ReadPalette(data, layout)), red_(layout.Masks[0]),
          green_(layout.Masks[1]), blue_(layout.Masks[2]), row_(static_cast<size_t>(layout.Width) * 3),
          scratch_(RowBytes(layout))
    {
    }

    int32_t Width() const override { return static_cast<int32_t>(layout_.Width); }
    int32_t Height() const override { return static_cast<int32_t>(layout_.Height); }

    const uint8_t* Row(int32_t y) override
    {
        const uint64_t stride = RowBytes(layout_);
        const uint64_t present = size_ - layout_.PixelOffset;
        const int64_t stored = layout_.BottomUp ? layout_.Height - 1 - y : y;
        const uint64_t start = static_cast<uint64_t>(stored) * stride;
        const RowDecoder decode{KindOf(layout_), palette_, red_, green_, blue_};
        if (start + stride <= present) {
            decode(data_ + layout_.PixelOffset + start, row_.data(), layout_.Width);
        } else {
            // Beyond the end of the file the row is completed with zero bytes: pixel value 0.
            std::fill(scratch_.begin(), scratch_.end(), uint8_t{0});
            if (start < present) {
                std::memcpy(scratch_.data(), data_ + layout_.PixelOffset + start, present - start);
            }
            decode(scratch_.data(), row_.data(), layout_.Width);
        }
        return row_.data();
    }

  private:
    const uint8_t* data_;
    size_t size_;
    Layout layout_;
    Palette palette_;
    Channel red_;
    Channel green_;
    Channel blue_;
    std::vector<uint8_t> row_;
    std::vector<uint8_t> scratch_;
};

} // namespace

std::unique_ptr<RowSource> OpenBmp(const uint8_t* data, size_t size, int64_t& wholeBytes)
{
    wholeBytes = 0;
    if (data == nullptr || size == 0) {
        return nullptr;
    }
    try {
        Layout layout;
        if (!ReadLayout(data, size, layout)) {
            return nullptr;
        }
        if (layout.Compression == BiRle8 || layout.Compression == BiRle4) {
            wholeBytes = layout.Width * layout.Height * 3;
            Raster whole;
            return DecodeBmp(data, size, whole) ? std::make_unique<OwnedRasterSource>(std::move(whole)) : nullptr;
        }
        return std::make_unique<BmpRowSource>(data, size, layout);
    } catch (const std::exception&) {
        return nullptr;
    }
}

bool DecodeBmp(const uint8_t* data, size_t size, Raster& out)
{
    if (data == nullptr || size == 0) {
        return false;
    }
    try {
        Layout layout;
        if (!ReadLayout(data, size, layout)) {
            return false;
        }
        const Palette palette = ReadPalette(data, layout);
        const Channel red(layout.Masks[0]);
        const Channel green(layout.Masks[1]);
        const Channel blue(layout.Masks[2]);
        const bool rle = layout.Compression == BiRle8 || layout.Compression == BiRle4;
        std::vector<uint8_t> scratch;
        if (!rle && RowBytes(layout) * static_cast<uint64_t>(layout.Height) > size - layout.PixelOffset) {
            scratch.resize(RowBytes(layout));
        }
        // Nothing can fail once the raster has its size (an allocation failure leaves it unchanged), so it
        // is decoded in place: a caller that reuses its raster keeps the memory it already has.
        const size_t bytes = static_cast<size_t>(layout.Width) * static_cast<size_t>(layout.Height) * 3;
        if (bytes > out.Pixels.capacity()) {
            std::vector<uint8_t> fresh(bytes);
            out.Pixels.swap(fresh);
        } else {
            out.Pixels.resize(bytes);
        }
        out.Width = static_cast<int32_t>(layout.Width);
        out.Height = static_cast<int32_t>(layout.Height);
        if (rle) {
            FillRaster(out, palette[0]);
            DecodeRle(data + layout.PixelOffset, data + size, layout, palette, out);
        } else {
            DecodeRows(data, size, layout, RowDecoder{KindOf(layout), palette, red, green, blue}, scratch, out);
        }
        return true;
    } catch (const std::exception&) {
        return false; // out of memory for the picture
    }
}
