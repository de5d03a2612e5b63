#include "support/BadInputs.h"

#include "support/TestSupport.h"

#include <jpeglib.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <utility>

namespace quorvane {

namespace TestFiles {

namespace {

void Put16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

uint32_t HeaderSizeOf(BmpHeader header)
{
    switch (header) {
    case BmpHeader::Core:
        return 12;
    case BmpHeader::Info:
        return 40;
    case BmpHeader::V4:
        return 108;
    case BmpHeader::V5:
        return 124;
    }
    return 40;
}

} // namespace

Bytes BuildBmp(const BmpRecipe& recipe)
{
    const uint32_t kindSize = HeaderSizeOf(recipe.Header);
    const uint32_t headerSize = recipe.HeaderSize != 0 ? recipe.HeaderSize : kindSize;
    Bytes header;
    if (recipe.Header == BmpHeader::Core) {
        Put16(header, static_cast<uint32_t>(recipe.Width));
        Put16(header, static_cast<uint32_t>(recipe.Height));
        Put16(header, recipe.Planes);
        Put16(header, recipe.BitCount);
    } else {
        Put32(header, static_cast<uint32_t>(recipe.Width));
        Put32(header, static_cast<uint32_t>(recipe.Height));
        Put16(header, recipe.Planes);
        Put16(header, recipe.BitCount);
        Put32(header, recipe.Compression);
        Put32(header, static_cast<uint32_t>(recipe.Pixels.size()));
        Put32(header, 2835);
        Put32(header, 2835);
        Put32(header, recipe.ColorsUsed);
        Put32(header, 0);
        if (recipe.Header != BmpHeader::Info) {
            for (size_t i = 0; i < 4; ++i) {
                Put32(header, i < recipe.Masks.size() ? recipe.Masks[i] : 0);
            }
            Put32(header, 0x73524742); // 'sRGB'
        }
    }
    // The fields written above fill the header but for its size field; larger headers are zero-padded.
    const size_t written = std::max<size_t>(kindSize, headerSize <= 0x10000 ? headerSize : 0) - 4;
    header.resize(std::max(header.size(), written), 0);
    if (recipe.Header == BmpHeader::Info) {
        for (uint32_t mask : recipe.Masks) {
            Put32(header, mask);
        }
    }
    for (uint32_t color : recipe.Palette) {
        header.push_back(static_cast<uint8_t>(color & 0xFF));
        header.push_back(static_cast<uint8_t>((color >> 8) & 0xFF));
        header.push_back(static_cast<uint8_t>((color >> 16) & 0xFF));
        if (recipe.Header != BmpHeader::Core) {
            header.push_back(0);
        }
    }
    const auto tableEnd = static_cast<uint32_t>(14 + 4 + header.size());
    Bytes b = {'B', 'M'};
    Put32(b, tableEnd + recipe.Gap + static_cast<uint32_t>(recipe.Pixels.size()));
    Put32(b, 0);
    Put32(b, recipe.OffBits.value_or(tableEnd + recipe.Gap));
    Put32(b, headerSize);
    b.insert(b.end(), header.begin(), header.end());
    b.resize(b.size() + recipe.Gap, 0xEE);
    b.insert(b.end(), recipe.Pixels.begin(), recipe.Pixels.end());
    return b;
}

Bytes PackBmpRows(int bitCount, const std::vector<std::vector<uint32_t>>& rows)
{
    Bytes out;
    for (const auto& row : rows) {
        Bytes bytes((row.size() * static_cast<size_t>(bitCount) + 31) / 32 * 4, 0);
        for (size_t x = 0; x < row.size(); ++x) {
            const uint32_t v = row[x];
            switch (bitCount) {
            case 1:
                bytes[x / 8] |= static_cast<uint8_t>((v & 1) << (7 - x % 8));
                break;
            case 4:
                bytes[x / 2] |= static_cast<uint8_t>((v & 15) << (x % 2 ? 0 : 4));
                break;
            case 8:
                bytes[x] = static_cast<uint8_t>(v);
                break;
            case 16:
                bytes[2 * x] = v & 0xFF;
                bytes[2 * x + 1] = (v >> 8) & 0xFF;
                break;
            case 24:
                bytes[3 * x] = v & 0xFF;
                bytes[3 * x + 1] = (v >> 8) & 0xFF;
                bytes[3 * x + 2] = (v >> 16) & 0xFF;
                break;
            case 32:
                for (size_t i = 0; i < 4; ++i) {
                    bytes[4 * x + i] = (v >> (8 * i)) & 0xFF;
                }
                break;
            }
        }
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

namespace {

// The fixed palettes the encoder uses: black and white, 16 colours, and 3-3-2 for 256.
std::vector<uint32_t> FixedPalette(int bits)
{
    std::vector<uint32_t> palette;
    if (bits == 1) {
        return {0x000000, 0xFFFFFF};
    }
    if (bits == 4) {
        for (uint32_t i = 0; i < 16; ++i) {
            const uint32_t level = (i & 8) ? 0xFF : 0x80;
            palette.push_back(((i & 1) ? level << 16 : 0) | ((i & 2) ? level << 8 : 0) | ((i & 4) ? level : 0));
        }
        return palette;
    }
    for (uint32_t i = 0; i < 256; ++i) {
        palette.push_back((((i >> 5) & 7) * 255 / 7) << 16 | (((i >> 2) & 7) * 255 / 7) << 8 | ((i & 3) * 255 / 3));
    }
    return palette;
}

uint32_t PaletteIndex(const uint8_t* p, int bits)
{
    const uint32_t r = p[0], g = p[1], b = p[2];
    if (bits == 1) {
        return (r + g + b) / 3 >= 128 ? 1 : 0;
    }
    if (bits == 4) {
        return (r >= 128 ? 1u : 0u) | (g >= 128 ? 2u : 0u) | (b >= 128 ? 4u : 0u) | ((r + g + b) / 3 >= 192 ? 8u : 0u);
    }
    return (r >> 5) << 5 | (g >> 5) << 2 | (b >> 6);
}

// The value EncodeBmp stores a pixel as (see PackBmpRows): a palette index up to 8 bits, 5-5-5 (or 5-6-5
// bit fields) at 16, 0xRRGGBB at 24, and at 32 B, G, R and 0xFF (or R, G, B in the top three bytes).
uint32_t StoredValue(const uint8_t* p, int bitCount, bool bitfields)
{
    const uint32_t r = p[0], g = p[1], b = p[2];
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
        return PaletteIndex(p, bitCount);
    case 16:
        return bitfields ? (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3) : (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    case 24:
        return r << 16 | g << 8 | b;
    case 32:
        return bitfields ? r << 24 | g << 16 | b << 8 : 0xFF000000u | r << 16 | g << 8 | b;
    default:
        throw std::invalid_argument("no such BMP depth");
    }
}

// The picture's rows in stored order.
std::vector<int32_t> StoredRows(const Raster& picture, bool topDown)
{
    std::vector<int32_t> rows;
    for (int32_t i = 0; i < picture.Height; ++i) {
        rows.push_back(topDown ? i : picture.Height - 1 - i);
    }
    return rows;
}

} // namespace

Bytes EncodeBmp(const Raster& picture, int bitCount, BmpHeader header, bool topDown, bool bitfields)
{
    BmpRecipe recipe;
    recipe.Header = header;
    recipe.Width = picture.Width;
    recipe.Height = topDown ? -picture.Height : picture.Height;
    recipe.BitCount = static_cast<uint16_t>(bitCount);
    if (bitCount <= 8) {
        recipe.Palette = FixedPalette(bitCount);
    }
    if (bitfields && bitCount == 16) {
        recipe.Compression = BmpBitfields;
        recipe.Masks = {0xF800, 0x07E0, 0x001F};
    } else if (bitfields && bitCount == 32) {
        recipe.Compression = BmpBitfields;
        recipe.Masks = {0xFF000000, 0x00FF0000, 0x0000FF00};
    }
    std::vector<std::vector<uint32_t>> rows;
    for (int32_t y : StoredRows(picture, topDown)) {
        std::vector<uint32_t>& row = rows.emplace_back();
        const uint8_t* p = picture.Row(y);
        for (int32_t x = 0; x < picture.Width; ++x, p += 3) {
            row.push_back(StoredValue(p, bitCount, bitfields));
        }
    }
    recipe.Pixels = PackBmpRows(bitCount, rows);
    return BuildBmp(recipe);
}

Bytes EncodeRleBmp(const Raster& picture, int bitCount)
{
    const bool rle4 = bitCount == 4;
    BmpRecipe recipe;
    recipe.Width = picture.Width;
    recipe.Height = picture.Height;
    recipe.BitCount = static_cast<uint16_t>(bitCount);
    recipe.Compression = rle4 ? BmpRle4 : BmpRle8;
    recipe.Palette = FixedPalette(bitCount);
    Bytes& out = recipe.Pixels;
    const auto rows = StoredRows(picture, false);
    for (size_t r = 0; r < rows.size(); ++r) {
        std::vector<uint8_t> index(static_cast<size_t>(picture.Width));
        for (size_t x = 0; x < index.size(); ++x) {
            index[x] = static_cast<uint8_t>(PaletteIndex(picture.Row(rows[r]) + 3 * x, bitCount));
        }
        auto runAt = [&](size_t x) {
            size_t n = 1;
            while (x + n < index.size() && n < 255 && index[x + n] == index[x]) {
                ++n;
            }
            return n;
        };
        size_t x = 0;
        while (x < index.size()) {
            const size_t run = runAt(x);
            if (index[x] == 0 && run >= 4) {
                // Pixels of colour 0 need not be written at all: the decoder starts from colour 0.
                out.insert(out.end(), {0, 2, static_cast<uint8_t>(run), 0});
                x += run;
            } else if (run >= 3) {
                out.push_back(static_cast<uint8_t>(run));
                out.push_back(static_cast<uint8_t>(rle4 ? index[x] << 4 | index[x] : index[x]));
                x += run;
            } else {
                size_t literal = 0;
                while (x + literal < index.size() && literal < 254 && runAt(x + literal) < 3) {
                    ++literal;
                }
                if (literal < 3) {
                    for (size_t i = 0; i < literal; ++i) {
                        out.push_back(1);
                        out.push_back(static_cast<uint8_t>(rle4 ? index[x + i] << 4 : index[x + i]));
                    }
                } else {
                    out.push_back(0);
                    out.push_back(static_cast<uint8_t>(literal));
                    Bytes data;
                    for (size_t i = 0; i < literal; ++i) {
                        if (!rle4) {
                            data.push_back(index[x + i]);
                        } else if (i % 2 == 0) {
                            data.push_back(static_cast<uint8_t>(index[x + i] << 4));
                        } else {
                            data.back() |= index[x + i];
                        }
                    }
                    if (data.size() % 2 != 0) {
                        data.push_back(0);
                    }
                    out.insert(out.end(), data.begin(), data.end());
                }
                x += literal;
            }
        }
        out.insert(out.end(), {0, static_cast<uint8_t>(r + 1 == rows.size() ? 1 : 0)});
    }
    return BuildBmp(recipe);
}

// ---- JPEG ----

Bytes BuildJpeg(const Raster& picture, const JpegRecipe& recipe)
{
    const bool gray = recipe.Color == JpegColor::Gray;
    const bool inks = recipe.Color == JpegColor::Cmyk || recipe.Color == JpegColor::Ycck;
    const int components = gray ? 1 : inks ? 4 : 3;
    Bytes samples;
    samples.reserve(picture.Pixels.size() / 3 * static_cast<size_t>(components));
    for (size_t i = 0; i + 2 < picture.Pixels.size(); i += 3) {
        const uint8_t* p = picture.Pixels.data() + i;
        if (gray) {
            samples.push_back(static_cast<uint8_t>((p[0] + p[1] + p[2]) / 3));
        } else {
            samples.insert(samples.end(), p, p + 3);
            if (inks) {
                samples.push_back(0xFF); // inverted inks, as Adobe stores them: no black
            }
        }
    }

    std::vector<jpeg_scan_info> scans;
    const J_COLOR_SPACE space = gray ? JCS_GRAYSCALE : inks ? JCS_CMYK : JCS_RGB;
    return CompressJpeg(
        samples, picture.Width, picture.Height, components, space, recipe.Quality, [&](jpeg_compress_struct& cinfo) {
            if (recipe.Color == JpegColor::Rgb) {
                jpeg_set_colorspace(&cinfo, JCS_RGB);
            } else if (recipe.Color == JpegColor::Ycck) {
                jpeg_set_colorspace(&cinfo, JCS_YCCK);
            }
            // The colour space chooses the components; the quality is applied to them afterwards.
            jpeg_set_quality(&cinfo, recipe.Quality, TRUE);
            for (size_t i = 0; i < recipe.Sampling.size() && i < static_cast<size_t>(cinfo.num_components); ++i) {
                cinfo.comp_info[i].h_samp_factor = recipe.Sampling[i].first;
                cinfo.comp_info[i].v_samp_factor = recipe.Sampling[i].second;
            }
            cinfo.arith_code = recipe.Arithmetic ? TRUE : FALSE;
            cinfo.restart_interval = static_cast<unsigned>(recipe.RestartInterval);
            if (recipe.SingleCoefficientScans > 0) {
                const int count = std::min(recipe.SingleCoefficientScans, 63 * cinfo.num_components);
                jpeg_scan_info dc{};
                dc.comps_in_scan = cinfo.num_components;
                for (int c = 0; c < cinfo.num_components; ++c) {
                    dc.component_index[c] = c;
                }
                scans.push_back(dc);
                for (int i = 0; i < count; ++i) {
                    jpeg_scan_info ac{};
                    ac.comps_in_scan = 1;
                    ac.component_index[0] = i / 63;
                    ac.Ss = ac.Se = 1 + i % 63;
                    scans.push_back(ac);
                }
                cinfo.scan_info = scans.data();
                cinfo.num_scans = static_cast<int>(scans.size());
            } else if (recipe.Progressive) {
                jpeg_simple_progression(&cinfo);
            }
        });
}

size_t FindSegment(const Bytes& jpeg, uint8_t marker)
{
    size_t at = 2;
    while (at + 3 < jpeg.size() && jpeg[at] == 0xFF) {
        if (jpeg[at + 1] == marker) {
            return at;
        }
        if (jpeg[at + 1] == 0xDA) {
            break;
        }
        at += 2 + ((size_t{jpeg[at + 2]} << 8) | jpeg[at + 3]);
    }
    return Bytes::size_type(-1);
}

size_t FirstScanData(const Bytes& jpeg)
{
    const size_t sos = FindSegment(jpeg, 0xDA);
    return sos + 2 + ((size_t{jpeg[sos + 2]} << 8) | jpeg[sos + 3]);
}

std::vector<std::pair<size_t, size_t>> EntropySpans(const Bytes& jpeg)
{
    std::vector<std::pair<size_t, size_t>> spans;
    size_t at = 2;
    while (at + 3 < jpeg.size() && jpeg[at] == 0xFF) {
        const uint8_t marker = jpeg[at + 1];
        if (marker == 0xD9) {
            break;
        }
        at += 2 + ((size_t{jpeg[at + 2]} << 8) | jpeg[at + 3]);
        if (marker != 0xDA) {
            continue;
        }
        const size_t begin = at;
        // Data runs to the next marker other than a stuffed zero or a restart marker.
        while (at + 1 < jpeg.size() &&
               (jpeg[at] != 0xFF || jpeg[at + 1] == 0 || (jpeg[at + 1] >= 0xD0 && jpeg[at + 1] <= 0xD7))) {
            ++at;
        }
        spans.emplace_back(begin, std::min(at, jpeg.size()));
    }
    return spans;
}

Bytes ExifPayload(bool bigEndian, uint16_t orientation, uint16_t type, uint32_t count)
{
    Bytes b = {'E', 'x', 'i', 'f', 0, 0};
    auto put16 = [&](uint32_t v) {
        b.push_back(static_cast<uint8_t>(bigEndian ? v >> 8 : v & 0xFF));
        b.push_back(static_cast<uint8_t>(bigEndian ? v & 0xFF : v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        put16(bigEndian ? v >> 16 : v & 0xFFFF);
        put16(bigEndian ? v & 0xFFFF : v >> 16);
    };
    b.push_back(bigEndian ? 'M' : 'I');
    b.push_back(bigEndian ? 'M' : 'I');
    put16(42);
    put32(8);
    put16(2);
    put16(0x010F), put16(2), put32(4), put32(0x41424300); // Make "ABC"
    put16(0x0112), put16(type), put32(count), put16(orientation), put16(0);
    put32(0);
    return b;
}

Bytes WithApp1(Bytes jpeg, const Bytes& payload, size_t at)
{
    Bytes segment = {0xFF, 0xE1, static_cast<uint8_t>((payload.size() + 2) >> 8),
                     static_cast<uint8_t>((payload.size() + 2) & 0xFF)};
    segment.insert(segment.end(), payload.begin(), payload.end());
    jpeg.insert(jpeg.begin() + static_cast<ptrdiff_t>(at), segment.begin(), segment.end());
    return jpeg;
}

Bytes WithExifOrientation(Bytes jpeg, uint16_t orientation, bool bigEndian)
{
    return WithApp1(std::move(jpeg), ExifPayload(bigEndian, orientation), 2);
}

namespace {

size_t FindFrame(const Bytes& jpeg)
{
    for (uint8_t marker : {0xC0, 0xC1, 0xC2, 0xC9, 0xCA}) {
        if (const size_t at = FindSegment(jpeg, marker); at != Bytes::size_type(-1)) {
            return at;
        }
    }
    throw std::invalid_argument("no frame header");
}

} // namespace

Bytes WithFrame(Bytes jpeg, uint8_t sofMarker, uint8_t precision)
{
    const size_t at = FindFrame(jpeg);
    jpeg[at + 1] = sofMarker;
    jpeg[at + 4] = precision;
    return jpeg;
}

Bytes WithClaimedSize(Bytes jpeg, uint16_t width, uint16_t height)
{
    const size_t at = FindFrame(jpeg);
    jpeg[at + 5] = static_cast<uint8_t>(height >> 8);
    jpeg[at + 6] = static_cast<uint8_t>(height & 0xFF);
    jpeg[at + 7] = static_cast<uint8_t>(width >> 8);
    jpeg[at + 8] = static_cast<uint8_t>(width & 0xFF);
    return jpeg;
}

// ---- The corpus ----

namespace {

Bytes Cut(const Bytes& bytes, size_t length)
{
    return Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(std::min(length, bytes.size())));
}

Bytes Set32(Bytes bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }
    return bytes;
}

Bytes Set16(Bytes bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
    return bytes;
}

// The bytes with those at `at` replaced.
Bytes Patched(Bytes bytes, size_t at, std::initializer_list<uint8_t> with)
{
    std::copy(with.begin(), with.end(), bytes.begin() + static_cast<ptrdiff_t>(at));
    return bytes;
}

// The bytes with `tail` appended.
Bytes Joined(Bytes bytes, const Bytes& tail)
{
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

// An RLE file of the given size whose pixel data is exactly `data`.
Bytes RleFile(int bits, int32_t width, int32_t height, Bytes data)
{
    BmpRecipe recipe;
    recipe.Width = width;
    recipe.Height = height;
    recipe.BitCount = static_cast<uint16_t>(bits);
    recipe.Compression = bits == 4 ? BmpRle4 : BmpRle8;
    recipe.Palette = FixedPalette(bits);
    recipe.Pixels = std::move(data);
    return BuildBmp(recipe);
}

// A bit-field file with the given masks over a few pixels of every value pattern.
Bytes MaskFile(int bits, std::vector<uint32_t> masks, BmpHeader header = BmpHeader::Info)
{
    BmpRecipe recipe;
    recipe.Header = header;
    recipe.Width = 5;
    recipe.Height = 3;
    recipe.BitCount = static_cast<uint16_t>(bits);
    recipe.Compression = masks.size() > 3 && header == BmpHeader::Info ? BmpAlphaBitfields : BmpBitfields;
    recipe.Masks = std::move(masks);
    std::mt19937 random(static_cast<uint32_t>(bits));
    recipe.Pixels.resize(static_cast<size_t>((5 * bits + 31) / 32 * 4 * 3));
    for (auto& byte : recipe.Pixels) {
        byte = static_cast<uint8_t>(random());
    }
    return BuildBmp(recipe);
}

} // namespace

std::vector<BadInput> MakeBadInputs()
{
    using enum Outcome;
    std::vector<BadInput> cases;
    auto add = [&](std::string name, Bytes content, Outcome expected) {
        cases.push_back({std::move(name), std::move(content), expected});
    };

    // ---- BMP ----
    const Raster picture = MakeTestRaster(24, 18, 7);
    const Bytes bmp8 = EncodeBmp(picture, 8); // table ends at 14 + 40 + 1024 = 1078
    const Bytes bmp24 = EncodeBmp(picture, 24);
    const Bytes core24 = EncodeBmp(picture, 24, BmpHeader::Core);
    const Bytes fields16 = EncodeBmp(picture, 16, BmpHeader::Info, false, true);

    add("bmp-empty.bmp", {}, Skipped);
    // Cut at every field of the file header, the info header and inside the colour table.
    for (size_t length : {1, 2, 6, 10, 14, 18, 22, 26, 28, 30, 34, 38, 42, 46, 50, 53, 54, 58, 566, 1077}) {
        add("bmp-cut-" + std::to_string(length) + ".bmp", Cut(bmp8, length), Skipped);
    }
    add("bmp-cut-at-table-end.bmp", Cut(bmp8, 1078), Converted); // every pixel missing: all colour 0
    add("bmp-cut-in-row.bmp", Cut(bmp8, 1078 + 30), Converted);
    for (size_t length : {20, 24, 25}) {
        add("bmp-core-cut-" + std::to_string(length) + ".bmp", Cut(core24, length), Skipped);
    }
    add("bmp-core-cut-at-header-end.bmp", Cut(core24, 26), Converted);
    add("bmp-masks-cut-58.bmp", Cut(fields16, 58), Skipped);
    add("bmp-masks-cut-62.bmp", Cut(fields16, 62), Skipped);
    add("bmp-masks-cut-at-end.bmp", Cut(fields16, 66), Converted);

    add("bmp-signature-BA.bmp", Patched(bmp24, 1, {'A'}), Skipped);
    add("bmp-signature-MB.bmp", Patched(bmp24, 0, {'M', 'B'}), Skipped);
    add("bmp-signature-lower.bmp", Patched(bmp24, 0, {'b', 'm'}), Skipped);
    add("bmp-planes-0.bmp", Set16(bmp24, 26, 0), Skipped);
    add("bmp-planes-2.bmp", Set16(bmp24, 26, 2), Skipped);
    add("bmp-core-planes-3.bmp", Set16(core24, 22, 3), Skipped);
    for (uint16_t bits : {0, 2, 3, 64}) {
        add("bmp-bits-" + std::to_string(bits) + ".bmp", Set16(bmp24, 28, bits), Skipped);
    }
    add("bmp-rle8-at-4-bits.bmp", Set32(EncodeBmp(picture, 4), 30, BmpRle8), Skipped);
    add("bmp-rle4-at-8-bits.bmp", Set32(bmp8, 30, BmpRle4), Skipped);
    add("bmp-bitfields-at-24-bits.bmp", Set32(bmp24, 30, BmpBitfields), Skipped);
    add("bmp-embedded-jpeg.bmp", Set32(Set16(bmp24, 28, 0), 30, 4), Skipped);
    add("bmp-compression-huge.bmp", Set32(bmp24, 30, 0xFFFFFFFF), Skipped);

    // Sizes, all in small files.
    const struct {
        const char* Name;
        uint32_t Width;
        uint32_t Height;
    } sizes[] = {
        {"width-0", 0, 18},
        {"height-0", 24, 0},
        {"width-negative", static_cast<uint32_t>(-24), 18},
        {"width-int-min", 0x80000000u, 18},
        {"height-int-min", 24, 0x80000000u},
        {"both-int-min", 0x80000000u, 0x80000000u},
        {"width-int-max", 0x7FFFFFFFu, 18},
        {"height-int-max", 24, 0x7FFFFFFFu},
        {"width-70000", 70000, 1},
        {"height-minus-70000", 1, static_cast<uint32_t>(-70000)},
        {"65536-squared", 65536, 65536},        // the 32-bit product is 0
        {"65535-squared", 65535, 65535},        // 3 bytes a pixel overflow 32 bits
        {"46341-squared", 46341, 46341},        // the pixel count alone overflows 31 bits
        {"16385-by-16384", 16385, 16384},       // one column over the pixel limit
        {"65535-by-4097", 65535, 4097},         // each side allowed, the product not
        {"all-ones", 0xFFFFFFFFu, 0xFFFFFFFFu}, // -1 x -1
    };
    for (const auto& size : sizes) {
        add(std::string("bmp-") + size.Name + ".bmp", Set32(Set32(bmp24, 18, size.Width), 22, size.Height), Skipped);
    }
    add("bmp-core-65535-squared.bmp", Set16(Set16(core24, 18, 65535), 20, 65535), Skipped);
    add("bmp-core-width-0.bmp", Set16(core24, 18, 0), Skipped);
    add("bmp-top-down.bmp", Set32(bmp24, 22, static_cast<uint32_t>(-18)), Converted);
    // The longest sides allowed, with almost no pixel data: decoded as colour 0.
    add("bmp-65535-by-1.bmp", Set32(Set32(EncodeBmp(MakeTestRaster(8, 1), 1), 18, 65535), 22, 1), Converted);
    add("bmp-1-by-65535.bmp", Set32(Set32(EncodeBmp(MakeTestRaster(1, 8), 1), 18, 1), 22, 65535), Converted);

    // Colour tables.
    add("bmp-table-257.bmp", Set32(bmp8, 46, 257), Skipped);
    add("bmp-table-huge.bmp", Set32(bmp8, 46, 0xFFFFFFFF), Skipped);
    add("bmp-table-past-file.bmp", Cut(Set32(bmp8, 46, 200), 54 + 40), Skipped);
    add("bmp-table-2-at-8-bits.bmp", Set32(bmp8, 46, 2), Converted); // indices past the table are black
    add("bmp-table-at-24-bits.bmp", Set32(bmp24, 46, 16), Converted);

    // Header size and pixel offset.
    for (uint32_t size : {0u, 11u, 13u, 39u, 0xFFFFFFFFu, 0x10000u}) {
        add("bmp-header-size-" + std::to_string(size) + ".bmp", Set32(bmp24, 14, size), Skipped);
    }
    BmpRecipe os2;
    os2.HeaderSize = 64; // the OS/2 2.x size, read as a larger Windows header
    os2.Width = 2;
    os2.Height = 2;
    os2.Pixels.assign(16, 0x7F);
    add("bmp-header-size-64.bmp", BuildBmp(os2), Converted);
    add("bmp-offset-past-file.bmp", Set32(bmp24, 10, 0xFFFFFFF0), Converted);
    add("bmp-offset-into-header.bmp", Set32(bmp24, 10, 20), Converted);
    add("bmp-offset-0.bmp", Set32(bmp8, 10, 0), Converted);

    // Run-length data.
    add("bmp-rle8-run-past-row.bmp", RleFile(8, 4, 2, {255, 7, 0, 0, 3, 9, 0, 1}), Converted);
    add("bmp-rle4-run-past-row.bmp", RleFile(4, 3, 2, {255, 0x12, 0, 0, 200, 0x34, 0, 1}), Converted);
    add("bmp-rle8-delta-past-row.bmp", RleFile(8, 4, 3, {0, 2, 200, 0, 2, 5, 0, 2, 255, 1, 9, 9, 0, 1}), Converted);
    add("bmp-rle8-delta-past-image.bmp", RleFile(8, 4, 3, {2, 5, 0, 2, 0, 255, 4, 6, 0, 1}), Converted);
    add("bmp-rle4-delta-past-image.bmp", RleFile(4, 4, 3, {0, 2, 255, 255, 0, 2, 255, 255, 4, 0x56, 0, 1}), Converted);
    add("bmp-rle8-absolute-past-data.bmp", RleFile(8, 8, 2, {0, 200, 1, 2, 3}), Converted);
    add("bmp-rle4-absolute-past-data.bmp", RleFile(4, 8, 2, {0, 201, 0x12, 0x34}), Converted);
    add("bmp-rle8-absolute-past-row.bmp", RleFile(8, 4, 2, Joined(Joined({0, 100}, Bytes(100, 0x33)), {0, 1})),
        Converted);
    add("bmp-rle8-no-end-of-bitmap.bmp", RleFile(8, 4, 2, {4, 1, 0, 0, 4, 2, 0, 0}), Converted);
    add("bmp-rle8-lines-past-image.bmp", RleFile(8, 2, 2, Bytes(400, 0)), Converted);
    add("bmp-rle8-odd-tail.bmp", RleFile(8, 4, 2, {4, 1, 0}), Converted);
    add("bmp-rle8-no-data.bmp", RleFile(8, 4, 2, {}), Converted);
    add("bmp-rle8-top-down.bmp", Set32(RleFile(8, 4, 2, {4, 1, 0, 0, 4, 2, 0, 1}), 22, static_cast<uint32_t>(-2)),
        Converted);
    add("bmp-rle8-widest.bmp", RleFile(8, 65535, 64, {255, 3, 0, 2, 255, 255, 0, 1}), Converted);

    // Bit-field masks.
    add("bmp-masks-zero.bmp", MaskFile(16, {0, 0, 0}), Converted);
    add("bmp-masks-overlapping.bmp", MaskFile(16, {0xFFFF, 0x0FF0, 0xFFFF}), Converted);
    add("bmp-masks-non-contiguous.bmp", MaskFile(16, {0x5555, 0xAAAA, 0x0F0F}), Converted);
    add("bmp-masks-32-bit-wide.bmp", MaskFile(32, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}), Converted);
    add("bmp-masks-top-bit.bmp", MaskFile(32, {0x80000000, 0x00000001, 0x7FFFFFFE}), Converted);
    add("bmp-masks-alpha-16.bmp", MaskFile(16, {0x0F00, 0x00F0, 0x000F, 0xF000}), Converted);
    add("bmp-masks-v5-wide.bmp", MaskFile(32, {0xFFFFFFFF, 0, 0x00FFFF00, 0xFFFFFFFF}, BmpHeader::V5), Converted);
    add("bmp-masks-past-16-bits.bmp", MaskFile(16, {0xFFFF0000, 0x0001FFFF, 0x000F}), Converted);
    add("bmp-32-bit-short-data.bmp", Cut(EncodeBmp(picture, 32), 54 + 100), Converted);

    // ---- JPEG ----
    const Raster photo = MakeTestRaster(48, 32, 11);
    const Bytes jpeg = BuildJpeg(photo);
    const Bytes progressive = BuildJpeg(photo, {.Progressive = true});
    const size_t scan = FirstScanData(jpeg);
    const size_t frame = FindSegment(jpeg, 0xC0);
    const size_t frameEnd = frame + 2 + ((size_t{jpeg[frame + 2]} << 8) | jpeg[frame + 3]);

    add("jpeg-empty.jpg", {}, Skipped);
    add("jpeg-soi-only.jpg", {0xFF, 0xD8}, Skipped);
    add("jpeg-soi-eoi.jpg", {0xFF, 0xD8, 0xFF, 0xD9}, Skipped);
    add("jpeg-cut-in-marker.jpg", {0xFF, 0xD8, 0xFF}, Skipped);
    add("jpeg-cut-in-frame.jpg", Cut(jpeg, frame + 7), Skipped);
    add("jpeg-cut-after-frame.jpg", Cut(jpeg, frameEnd), Skipped);
    add("jpeg-cut-before-scan.jpg", Cut(jpeg, FindSegment(jpeg, 0xDA)), Skipped);
    add("jpeg-cut-after-scan-header.jpg", Cut(jpeg, scan), Skipped);
    add("jpeg-cut-one-byte-into-scan.jpg", Cut(jpeg, scan + 1), Converted);
    add("jpeg-cut-in-scan.jpg", Cut(jpeg, (scan + jpeg.size()) / 2), Converted);
    add("jpeg-no-end-marker.jpg", Cut(jpeg, jpeg.size() - 2), Converted);
    add("jpeg-65500-squared.jpg", WithClaimedSize(jpeg, 65500, 65500), Skipped);
    add("jpeg-65535-squared.jpg", WithClaimedSize(jpeg, 65535, 65535), Skipped);
    add("jpeg-16385-by-16384.jpg", WithClaimedSize(jpeg, 16385, 16384), Skipped);
    add("jpeg-progressive-65500-squared.jpg", WithClaimedSize(progressive, 65500, 65500), Skipped);
    add("jpeg-height-0.jpg", WithClaimedSize(jpeg, 48, 0), Skipped);
    add("jpeg-width-0.jpg", WithClaimedSize(jpeg, 0, 32), Skipped);
    add("jpeg-larger-than-its-data.jpg", WithClaimedSize(jpeg, 1600, 1200), Converted);
    add("jpeg-progressive.jpg", progressive, Converted);
    // A progressive file cut inside the data of a scan decodes; cut inside the table segment before a later
    // scan, libjpeg reads its supplied end marker as table bytes and fails.
    const auto spans = EntropySpans(progressive);
    add("jpeg-progressive-cut-in-first-scan.jpg", Cut(progressive, (spans[0].first + spans[0].second) / 2), Converted);
    add("jpeg-progressive-cut-in-later-scan.jpg",
        Cut(progressive, (spans[spans.size() / 2].first + spans[spans.size() / 2].second) / 2), Converted);
    add("jpeg-progressive-cut-in-table.jpg", Cut(progressive, spans[0].second + 6), Skipped);
    add("jpeg-100-scans.jpg", BuildJpeg(photo, {.SingleCoefficientScans = 99}), Converted);
    add("jpeg-190-scans.jpg", BuildJpeg(photo, {.SingleCoefficientScans = 189}), Skipped);
    add("jpeg-arithmetic.jpg", BuildJpeg(photo, {.Arithmetic = true}), Converted);
    add("jpeg-arithmetic-progressive.jpg", BuildJpeg(photo, {.Progressive = true, .Arithmetic = true}), Converted);
    add("jpeg-12-bit.jpg", WithFrame(jpeg, 0xC1, 12), Skipped);
    add("jpeg-16-bit.jpg", WithFrame(jpeg, 0xC1, 16), Skipped);
    add("jpeg-lossless.jpg", WithFrame(jpeg, 0xC3, 8), Skipped);
    add("jpeg-hierarchical.jpg", WithFrame(jpeg, 0xC5, 8), Skipped);
    add("jpeg-ls-frame.jpg", WithFrame(jpeg, 0xF7, 8), Skipped);
    add("jpeg-cmyk-adobe.jpg", BuildJpeg(photo, {.Color = JpegColor::Cmyk}), Converted);
    add("jpeg-ycck-adobe.jpg", BuildJpeg(photo, {.Color = JpegColor::Ycck}), Converted);
    const Bytes cmyk = BuildJpeg(photo, {.Color = JpegColor::Cmyk});
    const size_t adobe = FindSegment(cmyk, 0xEE);
    const size_t afterAdobe = adobe + 2 + ((size_t{cmyk[adobe + 2]} << 8) | cmyk[adobe + 3]);
    add("jpeg-cmyk-without-adobe.jpg", Joined(Cut(cmyk, adobe), Bytes(cmyk.begin() + afterAdobe, cmyk.end())),
        Converted);
    add("jpeg-rgb-stored.jpg", BuildJpeg(photo, {.Color = JpegColor::Rgb}), Converted);
    add("jpeg-gray.jpg", BuildJpeg(photo, {.Color = JpegColor::Gray}), Converted);
    add("jpeg-sampling-4x1.jpg", BuildJpeg(photo, {.Sampling = {{4, 1}, {1, 1}, {1, 1}}}), Converted);
    add("jpeg-sampling-1x4.jpg", BuildJpeg(photo, {.Sampling = {{1, 4}, {1, 1}, {1, 1}}}), Converted);

    add("jpeg-sampling-chroma-larger.jpg", BuildJpeg(photo, {.Sampling = {{1, 1}, {2, 2}, {1, 2}}}), Converted);
    // The second component made 2x1 against the first one's 3x1.
    const Bytes sampled3x1 = BuildJpeg(photo, {.Sampling = {{3, 1}, {1, 1}, {1, 1}}});
    add("jpeg-sampling-3x1.jpg", sampled3x1, Converted);
    add("jpeg-sampling-fractional.jpg", Patched(sampled3x1, FindSegment(sampled3x1, 0xC0) + 14, {0x21}), Skipped);
    // Frame header: marker, length, precision, height, width, component count, then per component its id,
    // sampling factors and quantisation table.
    add("jpeg-sampling-zero.jpg", Patched(jpeg, frame + 11, {0x00}), Skipped);
    add("jpeg-components-0.jpg", Patched(jpeg, frame + 9, {0}), Skipped);
    add("jpeg-restart-every-mcu.jpg", BuildJpeg(photo, {.RestartInterval = 1}), Converted);
    Bytes misnumbered = BuildJpeg(photo, {.RestartInterval = 1});
    for (size_t i = FirstScanData(misnumbered); i + 1 < misnumbered.size(); ++i) {
        if (misnumbered[i] == 0xFF && misnumbered[i + 1] >= 0xD0 && misnumbered[i + 1] <= 0xD7) {
            misnumbered[i + 1] = static_cast<uint8_t>(0xD0 + (misnumbered[i + 1] + 3) % 8);
        }
    }
    add("jpeg-restart-markers-wrong.jpg", misnumbered, Converted);
    const Bytes restarts = BuildJpeg(photo, {.RestartInterval = 2});
    add("jpeg-restart-cut.jpg", Cut(restarts, restarts.size() * 2 / 3), Converted);
    Bytes garbage(4096);
    std::mt19937 random(3);
    for (auto& byte : garbage) {
        byte = static_cast<uint8_t>(random());
    }
    add("jpeg-garbage-after-end.jpg", Joined(jpeg, garbage), Converted);
    add("jpeg-two-pictures.jpg", Joined(jpeg, progressive), Converted);
    add("jpeg-exif-orientation-6.jpg", WithExifOrientation(jpeg, 6), Converted);
    add("jpeg-exif-orientation-8-big-endian.jpg", WithExifOrientation(progressive, 8, true), Converted);
    add("jpeg-exif-orientation-99.jpg", WithExifOrientation(jpeg, 99), Converted);
    // IFD0 offset far outside the segment.
    add("jpeg-exif-broken.jpg", Set32(WithExifOrientation(jpeg, 6), 2 + 4 + 6 + 4, 0xFFFFFFF0), Converted);
    add("jpeg-tables-only.jpg", Joined(Cut(jpeg, frame), {0xFF, 0xD9}), Skipped);
    // Sixteen code counts of 255 each: far more codes than a table can hold.
    add("jpeg-huffman-table-broken.jpg",
        Patched(jpeg, FindSegment(jpeg, 0xC4) + 5,
                {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255}),
        Skipped);
    add("jpeg-quant-table-missing.jpg", Patched(jpeg, frame + 12, {3}), Skipped); // a table never defined

    // Contents under the other format's name, and names that are not ASCII.
    add("bmp-named.jpg", bmp24, Skipped);
    add("jpeg-named.bmp", jpeg, Skipped);
    add("фотография.jpg", jpeg, Converted);
    add("картинка.bmp", bmp8, Converted);
    add("испорченный снимок.jpg", Cut(jpeg, 20), Skipped);
    add("UPPER-CASE.JPEG", progressive, Converted);
    add("UPPER-CASE-cut.BMP", Cut(bmp24, 30), Skipped);
    return cases;
}

std::vector<BadInput> MakeGoodVariants(const Raster& picture)
{
    using enum Outcome;
    std::vector<BadInput> files;
    auto add = [&](std::string name, Bytes content) {
        files.push_back({std::move(name), std::move(content), Converted});
    };
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        add("info-" + std::to_string(bits) + ".bmp", EncodeBmp(picture, bits));
    }
    for (int bits : {1, 4, 8, 24}) {
        add("core-" + std::to_string(bits) + ".bmp", EncodeBmp(picture, bits, BmpHeader::Core));
    }
    add("info-565.bmp", EncodeBmp(picture, 16, BmpHeader::Info, false, true));
    add("info-32-fields.bmp", EncodeBmp(picture, 32, BmpHeader::Info, false, true));
    add("v4-565.bmp", EncodeBmp(picture, 16, BmpHeader::V4, false, true));
    add("v5-32-fields.bmp", EncodeBmp(picture, 32, BmpHeader::V5, false, true));
    add("v5-8.bmp", EncodeBmp(picture, 8, BmpHeader::V5));
    add("top-down-24.bmp", EncodeBmp(picture, 24, BmpHeader::Info, true));
    add("top-down-4.bmp", EncodeBmp(picture, 4, BmpHeader::Info, true));
    add("rle4.bmp", EncodeRleBmp(picture, 4));
    add("rle8.bmp", EncodeRleBmp(picture, 8));

    add("baseline.jpg", BuildJpeg(picture));
    add("progressive.jpg", BuildJpeg(picture, {.Progressive = true}));
    add("gray.jpg", BuildJpeg(picture, {.Color = JpegColor::Gray}));
    add("gray-progressive.jpg", BuildJpeg(picture, {.Color = JpegColor::Gray, .Progressive = true}));
    add("rgb.jpg", BuildJpeg(picture, {.Color = JpegColor::Rgb}));
    add("cmyk.jpg", BuildJpeg(picture, {.Color = JpegColor::Cmyk}));
    add("ycck.jpg", BuildJpeg(picture, {.Color = JpegColor::Ycck, .Progressive = true}));
    add("arithmetic.jpg", BuildJpeg(picture, {.Arithmetic = true}));
    add("restart.jpg", BuildJpeg(picture, {.RestartInterval = 3}));
    add("sampling-4x1.jpg", BuildJpeg(picture, {.Sampling = {{4, 1}, {1, 1}, {1, 1}}}));
    add("sampling-1x2.jpg", BuildJpeg(picture, {.Sampling = {{1, 2}, {1, 1}, {1, 1}}}));
    add("quality-1.jpg", BuildJpeg(picture, {.Quality = 1}));
    add("quality-100.jpg", BuildJpeg(picture, {.Quality = 100}));
    for (uint16_t orientation : {2, 3, 5, 6, 8}) {
        add("exif-" + std::to_string(orientation) + ".jpg",
            WithExifOrientation(BuildJpeg(picture, {.Progressive = orientation > 4}), orientation,
                                orientation % 2 != 0));
    }
    return files;
}

} // namespace TestFiles

} // namespace quorvane
