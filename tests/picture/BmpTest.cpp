#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <utility>
#include <vector>

namespace {

enum class Header { Core, Info, V4, V5 };

constexpr uint32_t Rgb = 0, Rle8 = 1, Rle4 = 2, Bitfields = 3, AlphaBitfields = 6;

// Packs pixel values (palette indices, 16-bit words, 0xRRGGBB for 24 bits, 32-bit words) into stored rows
// padded to 4 bytes, in the order given.
std::vector<uint8_t> PackRows(int bits, const std::vector<std::vector<uint32_t>>& rows)
{
    std::vector<uint8_t> out;
    for (const auto& row : rows) {
        std::vector<uint8_t> bytes((row.size() * bits + 31) / 32 * 4, 0);
        for (size_t x = 0; x < row.size(); ++x) {
            const uint32_t v = row[x];
            switch (bits) {
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
                for (int i = 0; i < 4; ++i) {
                    bytes[4 * x + i] = (v >> (8 * i)) & 0xFF;
                }
                break;
            }
        }
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

struct BmpBuilder {
    Header Kind = Header::Info;
    int32_t Width = 1;
    int32_t Height = 1;
    uint16_t Planes = 1;
    uint16_t BitCount = 24;
    uint32_t Compression = Rgb;
    uint32_t ColorsUsed = 0;
    std::vector<uint32_t> Palette; // 0xRRGGBB, written as the whole table
    std::vector<uint32_t> Masks;   // written after a 40-byte header, or into a V4/V5 header
    uint32_t Gap = 0;              // bytes between the colour table and the pixels
    std::optional<uint32_t> OffBits;
    std::vector<uint8_t> Pixels;

    std::vector<uint8_t> Build() const
    {
        std::vector<uint8_t> b;
        auto put16 = [&](uint32_t v) {
            b.push_back(v & 0xFF);
            b.push_back((v >> 8) & 0xFF);
        };
        auto put32 = [&](uint32_t v) {
            put16(v & 0xFFFF);
            put16(v >> 16);
        };
        const uint32_t headerSize = Kind == Header::Core   ? 12
                                    : Kind == Header::Info ? 40
                                    : Kind == Header::V4   ? 108
                                                           : 124;
        const bool masksAfter = Kind == Header::Info && !Masks.empty();
        const uint32_t tableEnd = 14 + headerSize + (masksAfter ? 4 * static_cast<uint32_t>(Masks.size()) : 0) +
                                  static_cast<uint32_t>(Palette.size()) * (Kind == Header::Core ? 3 : 4);
        const uint32_t offBits = OffBits.value_or(tableEnd + Gap);
        b.push_back('B');
        b.push_back('M');
        put32(tableEnd + Gap + static_cast<uint32_t>(Pixels.size()));
        put32(0);
        put32(offBits);
        put32(headerSize);
        if (Kind == Header::Core) {
            put16(static_cast<uint32_t>(Width));
            put16(static_cast<uint32_t>(Height));
            put16(Planes);
            put16(BitCount);
        } else {
            put32(static_cast<uint32_t>(Width));
            put32(static_cast<uint32_t>(Height));
            put16(Planes);
            put16(BitCount);
            put32(Compression);
            put32(static_cast<uint32_t>(Pixels.size()));
            put32(2835);
            put32(2835);
            put32(ColorsUsed);
            put32(0);
            if (Kind != Header::Info) {
                for (size_t i = 0; i < 4; ++i) {
                    put32(i < Masks.size() ? Masks[i] : 0);
                }
                put32(0x73524742); // 'sRGB'
                b.resize(14 + headerSize, 0);
            }
        }
        if (masksAfter) {
            for (uint32_t m : Masks) {
                put32(m);
            }
        }
        for (uint32_t c : Palette) {
            b.push_back(c & 0xFF);
            b.push_back((c >> 8) & 0xFF);
            b.push_back((c >> 16) & 0xFF);
            if (Kind != Header::Core) {
                b.push_back(0);
            }
        }
        b.resize(b.size() + Gap, 0xEE);
        b.insert(b.end(), Pixels.begin(), Pixels.end());
        return b;
    }
};

// A builder with the fields every case sets; the rest keep their defaults.
BmpBuilder Bmp(int32_t width, int32_t height, int bits = 24, uint32_t compression = Rgb, Header kind = Header::Info)
{
    BmpBuilder bmp;
    bmp.Kind = kind;
    bmp.Width = width;
    bmp.Height = height;
    bmp.BitCount = static_cast<uint16_t>(bits);
    bmp.Compression = compression;
    return bmp;
}

std::optional<Raster> Decode(const std::vector<uint8_t>& bytes)
{
    Raster out;
    if (!DecodeBmp(bytes.data(), bytes.size(), out)) {
        return std::nullopt;
    }
    return out;
}

uint32_t At(const Raster& r, int32_t x, int32_t y)
{
    const uint8_t* p = r.Row(y) + 3 * x;
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

// The decoded picture as 0xRRGGBB values, top row first.
std::vector<std::vector<uint32_t>> Pixels(const Raster& r)
{
    std::vector<std::vector<uint32_t>> rows(r.Height);
    for (int32_t y = 0; y < r.Height; ++y) {
        for (int32_t x = 0; x < r.Width; ++x) {
            rows[y].push_back(At(r, x, y));
        }
    }
    return rows;
}

const std::vector<uint32_t> Colors16 = {0x000080, 0xFF0000, 0x00FF00, 0x0000FF, 0x112233, 0x445566, 0x778899, 0xAABBCC,
                                        0xDDEEFF, 0x102030, 0x405060, 0x708090, 0xA0B0C0, 0xD0E0F0, 0x010203, 0xFFFFFF};

// A paletted picture whose indices run through the table, decoded for every header kind.
TEST(BmpDecode, PalettedDepthsExpandThroughTheTable)
{
    for (int bits : {1, 4, 8}) {
        for (Header kind : {Header::Core, Header::Info, Header::V4, Header::V5}) {
            const int colors = 1 << bits;
            std::vector<uint32_t> palette(colors);
            for (int i = 0; i < colors; ++i) {
                palette[i] = i < 16 ? Colors16[i] : 0x010101u * static_cast<uint32_t>(i) ^ 0x00FF00u;
            }
            // A width that leaves partial bytes and padding at every depth.
            const int32_t width = 13, height = 3;
            std::vector<std::vector<uint32_t>> stored(height), expected(height);
            for (int32_t y = 0; y < height; ++y) {
                for (int32_t x = 0; x < width; ++x) {
                    stored[y].push_back(static_cast<uint32_t>(x * 7 + y * 3) % colors);
                    expected[height - 1 - y].push_back(palette[stored[y].back()]); // stored bottom-up
                }
            }
            BmpBuilder bmp = Bmp(width, height, bits, Rgb, kind);
            bmp.Palette = palette;
            bmp.Pixels = PackRows(bits, stored);
            const auto decoded = Decode(bmp.Build());
            ASSERT_TRUE(decoded) << bits << " bits, header " << static_cast<int>(kind);
            EXPECT_EQ(Pixels(*decoded), expected) << bits << " bits, header " << static_cast<int>(kind);
        }
    }
}

TEST(BmpDecode, TwentyFourBitRoundTripsAtEveryPadding)
{
    for (int32_t width : {1, 2, 3, 4, 5, 17}) {
        const Raster original = MakeTestRaster(width, 9, static_cast<uint32_t>(width));
        const auto decoded = Decode(MakeBmp24(original));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->Width, width);
        EXPECT_EQ(decoded->Height, 9);
        EXPECT_EQ(decoded->Pixels, original.Pixels) << "width " << width;
    }
}

TEST(BmpDecode, RowOrderFollowsTheSignOfTheHeight)
{
    const std::vector<std::vector<uint32_t>> stored = {
        {0x102030, 0x405060}, {0x708090, 0xA0B0C0}, {0x000001, 0xFFFFFF}};
    for (Header kind : {Header::Core, Header::Info, Header::V5}) {
        BmpBuilder bmp = Bmp(2, 3, 24, Rgb, kind);
        bmp.Pixels = PackRows(24, stored);
        const auto bottomUp = Decode(bmp.Build());
        ASSERT_TRUE(bottomUp);
        EXPECT_EQ(Pixels(*bottomUp), (std::vector<std::vector<uint32_t>>{stored[2], stored[1], stored[0]}));
    }
    BmpBuilder topDown = Bmp(2, -3);
    topDown.Pixels = PackRows(24, stored);
    const auto decoded = Decode(topDown.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Height, 3);
    EXPECT_EQ(Pixels(*decoded), stored);

    BmpBuilder paletted = Bmp(3, -2, 8);
    paletted.Palette = {0x111111, 0x222222, 0x333333};
    paletted.ColorsUsed = 3;
    paletted.Pixels = PackRows(8, {{0, 1, 2}, {2, 1, 0}});
    const auto top = Decode(paletted.Build());
    ASSERT_TRUE(top);
    EXPECT_EQ(Pixels(*top),
              (std::vector<std::vector<uint32_t>>{{0x111111, 0x222222, 0x333333}, {0x333333, 0x222222, 0x111111}}));
}

TEST(BmpDecode, ShortTableAndIndicesOutsideItGiveBlack)
{
    // Three colours at 8 bits; no valid pixel offset, so the pixels must be found right after the
    // three-entry table.
    BmpBuilder bmp = Bmp(6, 1, 8);
    bmp.ColorsUsed = 3;
    bmp.OffBits = 0;
    bmp.Palette = {0xFF0000, 0x00FF00, 0x0000FF};
    bmp.Pixels = PackRows(8, {{0, 1, 2, 3, 200, 255}});
    auto decoded = Decode(bmp.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0, 0, 0}));

    BmpBuilder four = Bmp(4, 1, 4);
    four.ColorsUsed = 2;
    four.Palette = {0xABCDEF, 0x123456};
    four.Pixels = PackRows(4, {{1, 0, 15, 2}});
    decoded = Decode(four.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0x123456, 0xABCDEF, 0, 0}));
}

TEST(BmpDecode, SixteenBitLayouts)
{
    // 5-5-5 by default: 31 -> 255, 16 -> 132 (16 * 255 / 31 rounded), 1 -> 8.
    BmpBuilder rgb555 = Bmp(3, 1, 16);
    rgb555.Pixels = PackRows(16, {{0x7C00, (16u << 5) | 1u, 0xFFFF}});
    auto decoded = Decode(rgb555.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0xFF0000, 0x008408, 0xFFFFFF}));

    // 5-6-5 bit fields after a 40-byte header and inside a V5 header: green has 6 bits, 32 -> 130.
    for (Header kind : {Header::Info, Header::V4, Header::V5}) {
        BmpBuilder rgb565 = Bmp(4, 1, 16, Bitfields, kind);
        rgb565.Masks = {0xF800, 0x07E0, 0x001F};
        rgb565.Pixels = PackRows(16, {{0xF800, 32u << 5, 0x001F, 0x07E0}});
        decoded = Decode(rgb565.Build());
        ASSERT_TRUE(decoded) << static_cast<int>(kind);
        EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0xFF0000, 0x008200, 0x0000FF, 0x00FF00}));
    }

    // 4-4-4 with the channels in an unusual order and a zero mask.
    BmpBuilder odd = Bmp(2, 1, 16, Bitfields);
    odd.Masks = {0x000F, 0x0F00, 0};
    odd.Pixels = PackRows(16, {{0x0F0F, 0x0508}});
    decoded = Decode(odd.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0xFFFF00, 0x885500}));
}

TEST(BmpDecode, ThirtyTwoBitLayouts)
{
    // Without masks: B, G, R and an ignored fourth byte.
    BmpBuilder plain = Bmp(2, 1, 32);
    plain.Pixels = PackRows(32, {{0xFF123456, 0x00ABCDEF}});
    auto decoded = Decode(plain.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0x123456, 0xABCDEF}));

    // R, G, B in the top three bytes (with the alpha mask a V5 header carries, and after a 40-byte header
    // with the alpha variant of bit fields).
    struct Case {
        Header Kind;
        uint32_t Compression;
        std::vector<uint32_t> Masks;
    };
    for (const Case& c : {Case{Header::V5, Bitfields, {0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF}},
                          Case{Header::Info, Bitfields, {0xFF000000, 0x00FF0000, 0x0000FF00}},
                          Case{Header::Info, AlphaBitfields, {0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF}}}) {
        BmpBuilder shifted = Bmp(2, 1, 32, c.Compression, c.Kind);
        shifted.Masks = c.Masks;
        shifted.OffBits = 0; // found from the masks' size alone
        shifted.Pixels = PackRows(32, {{0x123456FF, 0xABCDEF00}});
        decoded = Decode(shifted.Build());
        ASSERT_TRUE(decoded) << c.Compression;
        EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0x123456, 0xABCDEF}));
    }

    // 10-10-10: 1023 -> 255, 512 -> 128 (512 * 255 / 1023 = 127.6 rounded).
    BmpBuilder wide = Bmp(1, 1, 32, Bitfields);
    wide.Masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
    wide.Pixels = PackRows(32, {{(1023u << 20) | (512u << 10) | 0u}});
    decoded = Decode(wide.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 0, 0), 0xFF8000u);

    // Masks wider than 16 bits, overlapping and with holes still give defined values.
    BmpBuilder strange = Bmp(3, 1, 32, Bitfields);
    strange.Masks = {0xFFFFFF00, 0x0000FFFF, 0x0F0F0F0F};
    strange.Pixels = PackRows(32, {{0xFFFFFFFF, 0x80000000, 0x00000000}});
    decoded = Decode(strange.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(At(*decoded, 1, 0) >> 16, 128u); // 0x800000 of 0xFFFFFF
    EXPECT_EQ(At(*decoded, 2, 0), 0u);
}

BmpBuilder RleBuilder(int bits, int32_t width, int32_t height, std::vector<uint8_t> data)
{
    BmpBuilder bmp = Bmp(width, height, bits, bits == 8 ? Rle8 : Rle4);
    bmp.Palette = std::vector<uint32_t>(Colors16.begin(), Colors16.end());
    bmp.Palette.resize(static_cast<size_t>(1) << bits, 0x999999);
    bmp.Pixels = std::move(data);
    return bmp;
}

// A pixel that run-length data never sets: black, whatever the palette holds.
constexpr uint32_t U = 100;

// Pixel rows given as palette indices (or U), top row first.
std::vector<std::vector<uint32_t>> Expected(const std::vector<std::vector<uint32_t>>& indices)
{
    std::vector<std::vector<uint32_t>> rows;
    for (const auto& row : indices) {
        rows.emplace_back();
        for (uint32_t i : row) {
            rows.back().push_back(i == U ? 0 : i < 16 ? Colors16[i] : 0x999999);
        }
    }
    return rows;
}

TEST(BmpRle, Rle8RunsDeltasAndLineEnds)
{
    const std::vector<uint8_t> data = {
        3, 5,             // run of three 5s
        0, 3, 1, 2, 3, 0, // absolute run of three, padded to four bytes
        0, 0,             // end of line
        0, 2, 2, 1,       // delta: two right, one line up
        2, 7,             // run of two 7s
        0, 0,             // end of line
        9, 4,             // a run longer than the row is clipped, not wrapped
        0, 1,             // end of bitmap
        8, 8,             // never read
    };
    const auto decoded = Decode(RleBuilder(8, 6, 4, data).Build());
    ASSERT_TRUE(decoded);
    // Bottom-up: the first line decoded is the bottom row. Pixels never set are black.
    EXPECT_EQ(Pixels(*decoded), Expected({
                                    {4, 4, 4, 4, 4, 4},
                                    {U, U, 7, 7, U, U},
                                    {U, U, U, U, U, U},
                                    {5, 5, 5, 1, 2, 3},
                                }));
}

TEST(BmpRle, Rle4RunsAlternateNibbles)
{
    const std::vector<uint8_t> data = {
        5, 0x12,                   // 1 2 1 2 1
        0, 3,    0x34, 0x50,       // absolute 3 4 5, two bytes, already even
        0, 0,                      //
        0, 5,    0x67, 0x89, 0xA0, // absolute of five pixels: three bytes padded to four
        0,                         //
        0, 2,    1,    0,          // delta one right
        1, 0xF0,                   // one pixel of 15
        0, 0,                      //
        0, 1,
    };
    const auto decoded = Decode(RleBuilder(4, 8, 2, data).Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded), Expected({
                                    {6, 7, 8, 9, 10, U, 15, U},
                                    {1, 2, 1, 2, 1, 3, 4, 5},
                                }));
}

TEST(BmpRle, DamagedStreamsStayInsideThePicture)
{
    // Deltas past the right edge and past the last line, a run after the edge, and no end of bitmap.
    auto decoded = Decode(RleBuilder(8, 4, 2, {2, 1, 0, 2, 250, 0, 3, 2, 0, 0, 1, 3, 0, 2, 0, 200, 4, 4}).Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded), Expected({{3, U, U, U}, {1, 1, U, U}}));

    // An absolute run cut off by the end of the file: the bytes present are used, then decoding stops.
    decoded = Decode(RleBuilder(8, 4, 1, {0, 4, 9, 10}).Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded), Expected({{9, 10, U, U}}));

    // A dangling delta and a lone byte at the end are ignored.
    decoded = Decode(RleBuilder(4, 3, 1, {1, 0x20, 0, 2, 1}).Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded), Expected({{2, U, U}}));

    // Top-down run-length data is decoded from the top.
    BmpBuilder topDown = RleBuilder(8, 2, 2, {2, 3, 0, 0, 1, 4, 0, 1});
    topDown.Height = -2;
    decoded = Decode(topDown.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded), Expected({{3, 3}, {4, U}}));

    // A tiny file claiming a big picture: black but for the pixels the data sets.
    decoded = Decode(RleBuilder(8, 4000, 3000, {0, 2, 0, 255, 0, 2, 0, 255, 1, 2}).Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 3999, 0), 0u);
    EXPECT_EQ(At(*decoded, 0, 2999), 0u);
    EXPECT_EQ(At(*decoded, 0, 2999 - 510), Colors16[2]);
}

TEST(BmpDecode, PixelDataCutShortKeepsPixelValueZero)
{
    // 8 bits, 3 x 3, cut after the bottom row and one pixel of the middle row.
    BmpBuilder paletted = Bmp(3, 3, 8);
    paletted.Palette = {0x0000AA, 0x00BB00, 0xCC0000};
    paletted.ColorsUsed = 3;
    paletted.Pixels = PackRows(8, {{1, 2, 1}, {2, 1, 1}, {1, 1, 1}});
    std::vector<uint8_t> bytes = paletted.Build();
    bytes.resize(bytes.size() - 4 - 3);
    auto decoded = Decode(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded),
              (std::vector<std::vector<uint32_t>>{
                  {0x0000AA, 0x0000AA, 0x0000AA}, {0xCC0000, 0x0000AA, 0x0000AA}, {0x00BB00, 0xCC0000, 0x00BB00}}));

    // No pixel bytes at all.
    bytes.resize(bytes.size() - 5);
    decoded = Decode(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 2, 0), 0x0000AAu);
    EXPECT_EQ(At(*decoded, 0, 2), 0x0000AAu);

    // 24 bits, top-down, cut inside a pixel: its bytes present are kept, the rest is black.
    BmpBuilder rgb = Bmp(2, -2);
    rgb.Pixels = PackRows(24, {{0x112233, 0x445566}, {0x778899, 0xAABBCC}});
    bytes = rgb.Build();
    bytes.resize(bytes.size() - 8 + 2);
    decoded = Decode(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded), (std::vector<std::vector<uint32_t>>{{0x112233, 0x445566}, {0x008899, 0}}));

    // 1 bit cut short: the missing rows take the first colour.
    BmpBuilder mono = Bmp(9, 2, 1);
    mono.Palette = {0x00FF00, 0xFFFFFF};
    mono.Pixels = PackRows(1, {std::vector<uint32_t>(9, 1), std::vector<uint32_t>(9, 1)});
    bytes = mono.Build();
    bytes.resize(bytes.size() - 4);
    decoded = Decode(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 8, 1), 0xFFFFFFu);
    EXPECT_EQ(At(*decoded, 8, 0), 0x00FF00u);
}

TEST(BmpDecode, PixelOffsetHonouredOnlyWhenValid)
{
    BmpBuilder bmp = Bmp(2, 1, 8);
    bmp.ColorsUsed = 2;
    bmp.Gap = 6;
    bmp.Palette = {0x010101, 0xFAFAFA};
    bmp.Pixels = PackRows(8, {{1, 0}});
    auto decoded = Decode(bmp.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0xFAFAFA, 0x010101}));

    // An offset beyond the file or inside the colour table is not used: the pixels follow the table.
    for (uint32_t offBits : {0u, 14u + 40 + 4, 100000u}) {
        BmpBuilder broken = bmp;
        broken.Gap = 0;
        broken.OffBits = offBits;
        decoded = Decode(broken.Build());
        ASSERT_TRUE(decoded) << offBits;
        EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0xFAFAFA, 0x010101})) << offBits;
    }

    // Bit-field masks after a 40-byte header count as part of what the offset must lie beyond.
    BmpBuilder fields = Bmp(1, 1, 16, Bitfields);
    fields.OffBits = 14 + 40 + 4;
    fields.Masks = {0xF800, 0x07E0, 0x001F};
    fields.Pixels = PackRows(16, {{0x07E0}});
    decoded = Decode(fields.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 0, 0), 0x00FF00u);

    // A colour table given for a 24-bit picture is skipped.
    BmpBuilder rgb = Bmp(1, 1);
    rgb.ColorsUsed = 2;
    rgb.OffBits = 0;
    rgb.Palette = {0x111111, 0x222222};
    rgb.Pixels = PackRows(24, {{0x345678}});
    decoded = Decode(rgb.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 0, 0), 0x345678u);
}

TEST(BmpReject, HeadersCutShortAtEveryLength)
{
    std::vector<BmpBuilder> files;
    files.push_back(Bmp(2, 1, 4, Rgb, Header::Core));
    files.back().Palette = std::vector<uint32_t>(Colors16.begin(), Colors16.end());
    files.push_back(Bmp(2, 1, 8));
    files.back().ColorsUsed = 5;
    files.back().Palette = std::vector<uint32_t>(5, 0x123456);
    files.push_back(Bmp(2, 1, 16, Bitfields));
    files.back().Masks = {0xF800, 0x07E0, 0x001F};
    files.push_back(Bmp(2, 1, 32, Rgb, Header::V5));
    for (BmpBuilder& file : files) {
        file.Pixels = std::vector<uint8_t>(8, 0x44);
        const std::vector<uint8_t> whole = file.Build();
        const size_t pixelStart = whole.size() - file.Pixels.size();
        for (size_t length = 0; length < pixelStart; ++length) {
            const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(length));
            EXPECT_FALSE(Decode(cut)) << "cut at " << length << " of " << whole.size();
        }
        EXPECT_TRUE(Decode(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(pixelStart))));
    }
}

TEST(BmpReject, MalformedHeaders)
{
    const BmpBuilder good = [] {
        BmpBuilder b = Bmp(2, 2);
        b.Pixels = std::vector<uint8_t>(16, 0);
        return b;
    }();
    ASSERT_TRUE(Decode(good.Build()));
    EXPECT_FALSE(Decode({}));

    auto rejects = [](BmpBuilder bmp) { return !Decode(bmp.Build()); };
    auto with = [&](auto change) {
        BmpBuilder bmp = good;
        change(bmp);
        return bmp;
    };

    std::vector<uint8_t> signature = good.Build();
    signature[1] = 'A';
    EXPECT_FALSE(Decode(signature));

    for (uint16_t planes : {0, 2}) {
        EXPECT_TRUE(rejects(with([&](BmpBuilder& b) { b.Planes = planes; }))) << planes;
    }
    for (uint16_t bits : {0, 2, 3, 7, 15, 48, 64}) {
        EXPECT_TRUE(rejects(with([&](BmpBuilder& b) { b.BitCount = bits; }))) << bits;
    }
    // Compressions at depths where they do not exist, and embedded JPEG/PNG.
    const std::vector<std::pair<uint16_t, uint32_t>> badCompressions = {
        {24, 4}, {24, 5}, {8, 2}, {4, 1}, {24, 1}, {24, 3}, {8, 3}, {16, 1}, {32, 7}, {8, 0x80000000}};
    for (auto [bits, compression] : badCompressions) {
        EXPECT_TRUE(rejects(with([&](BmpBuilder& b) {
            b.BitCount = bits;
            b.Compression = compression;
            b.Masks = {0xFF0000, 0xFF00, 0xFF};
        }))) << bits
             << "/" << compression;
    }
    for (auto [width, height] : std::vector<std::pair<int32_t, int32_t>>{{0, 1},
                                                                         {1, 0},
                                                                         {-1, 1},
                                                                         {65536, 1},
                                                                         {1, 65536},
                                                                         {1, -65536},
                                                                         {1, INT_MIN},
                                                                         {INT_MIN, 1},
                                                                         {16385, 16384}}) {
        EXPECT_TRUE(rejects(with([&](BmpBuilder& b) {
            b.Width = width;
            b.Height = height;
        }))) << width
             << "x" << height;
    }
    // A table over 256 entries, or running past the end of the file.
    for (uint32_t colors : {257u, 0x40000000u, 0xFFFFFFFFu}) {
        EXPECT_TRUE(rejects(with([&](BmpBuilder& b) {
            b.BitCount = 8;
            b.ColorsUsed = colors;
            b.Palette.resize(std::min<uint32_t>(colors, 300), 0x123456);
        }))) << colors;
    }
    // Header sizes other than 12 and 40 or more.
    for (uint32_t headerSize : {0u, 11u, 16u, 39u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        std::vector<uint8_t> bytes = good.Build();
        for (int i = 0; i < 4; ++i) {
            bytes[14 + i] = (headerSize >> (8 * i)) & 0xFF;
        }
        EXPECT_FALSE(Decode(bytes)) << headerSize;
    }
    // A failed decode leaves the raster it was given alone.
    Raster kept(2, 1, 7);
    EXPECT_FALSE(DecodeBmp(signature.data(), signature.size(), kept));
    EXPECT_EQ(kept.Width, 2);
    EXPECT_EQ(kept.Pixels, Raster(2, 1, 7).Pixels);
}

TEST(BmpDecode, LargestSideIsAccepted)
{
    BmpBuilder wide = Bmp(65535, -1, 1);
    wide.Palette = {0x000000, 0xFFFFFF};
    wide.Pixels = std::vector<uint8_t>(8192, 0xFF);
    const auto decoded = Decode(wide.Build());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Width, 65535);
    EXPECT_EQ(At(*decoded, 65534, 0), 0xFFFFFFu);
}

// A raster handed in with an older picture in it must come out exactly as a fresh one would.
TEST(BmpDecode, ReusedRasterIsFullyOverwritten)
{
    BmpBuilder rle = RleBuilder(8, 3, 2, {1, 1, 0, 1});
    rle.Palette[0] = 0x000000;
    BmpBuilder cut = Bmp(3, 2, 8);
    cut.ColorsUsed = 2;
    cut.Palette = {0x000000, 0xFFFFFF};
    cut.Pixels = PackRows(8, {{1, 1, 1}});
    for (const BmpBuilder& bmp : {rle, cut}) {
        const std::vector<uint8_t> bytes = bmp.Build();
        const auto fresh = Decode(bytes);
        ASSERT_TRUE(fresh);
        for (int32_t side : {4, 2}) {
            Raster reused(side, side, 0xAB);
            ASSERT_TRUE(DecodeBmp(bytes.data(), bytes.size(), reused));
            EXPECT_EQ(reused.Width, 3);
            EXPECT_EQ(reused.Height, 2);
            EXPECT_EQ(reused.Pixels, fresh->Pixels);
        }
    }
}

// Randomly damaged files of every kind: the decoder must neither fail to terminate nor touch memory outside
// its buffers (this test earns its keep under AddressSanitizer).
TEST(BmpRobustness, MutatedFilesNeverMisbehave)
{
    std::vector<std::vector<uint8_t>> seeds;
    seeds.push_back(MakeBmp24(MakeTestRaster(7, 5)));
    for (int bits : {1, 4, 8}) {
        BmpBuilder bmp = Bmp(9, 4, bits);
        bmp.Palette = std::vector<uint32_t>(static_cast<size_t>(1) << bits, 0x808080);
        bmp.Pixels = std::vector<uint8_t>(64, 0x5A);
        seeds.push_back(bmp.Build());
    }
    seeds.push_back(RleBuilder(8, 9, 4, {3, 1, 0, 3, 1, 2, 3, 0, 0, 2, 1, 1, 0, 0, 4, 2, 0, 1}).Build());
    seeds.push_back(RleBuilder(4, 9, 4, {3, 0x12, 0, 5, 1, 2, 3, 0, 0, 2, 1, 1, 0, 0, 4, 2, 0, 1}).Build());
    BmpBuilder fields = Bmp(5, -3, 16, Bitfields, Header::V4);
    fields.Masks = {0xF800, 0x07E0, 0x001F};
    fields.Pixels = std::vector<uint8_t>(36, 0x33);
    seeds.push_back(fields.Build());

    std::mt19937 random(1234);
    for (const auto& seed : seeds) {
        for (int round = 0; round < 1500; ++round) {
            std::vector<uint8_t> bytes = seed;
            const int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits; ++e) {
                const size_t at = random() % bytes.size();
                switch (random() % 4) {
                case 0:
                    bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
                    break;
                case 1:
                    bytes[at] = static_cast<uint8_t>(random());
                    break;
                case 2:
                    bytes[at] = (random() % 2) ? 0xFF : 0x00;
                    break;
                default:
                    bytes.resize(std::max<size_t>(at, 1));
                    break;
                }
            }
            // Keep claimed sizes small enough that a test run does not allocate gigabytes.
            if (bytes.size() >= 26) {
                bytes[19] &= 0x03;
                bytes[20] = bytes[21] = 0;
                const bool negative = (bytes[25] & 0x80) != 0;
                bytes[23] = negative ? (bytes[23] | 0xFC) : (bytes[23] & 0x03);
                bytes[24] = bytes[25] = negative ? 0xFF : 0x00;
            }
            Raster out;
            const bool decoded = DecodeBmp(bytes.data(), bytes.size(), out);
            if (decoded) {
                ASSERT_EQ(out.Pixels.size(), static_cast<size_t>(out.Width) * out.Height * 3);
            }
            // Reading row by row accepts exactly the same files and gives exactly the same pixels.
            MemoryReader reader(bytes.data(), bytes.size());
            LoadError error;
            auto rows = OpenBmp(reader, error);
            ASSERT_EQ(rows != nullptr, decoded);
            for (int32_t y = 0; decoded && y < out.Height; ++y) {
                ASSERT_EQ(rows->Width(), out.Width);
                ASSERT_EQ(std::memcmp(rows->Row(y), out.Row(y), out.Stride()), 0) << "row " << y;
            }
        }
    }
}

} // namespace

namespace {

// Each check of the headers with a file that fails it and nothing else, and the reason it must give.
TEST(BmpReasons, EachRefusalNamesItsCheck)
{
    struct Case {
        const char* Name;
        std::vector<uint8_t> Bytes;
        LoadReason Reason;
    };
    auto with = [](auto change) {
        BmpBuilder bmp = Bmp(2, 2, 24);
        bmp.Pixels.assign(16, 0x40);
        change(bmp);
        return bmp.Build();
    };
    auto cut = [](std::vector<uint8_t> bytes, size_t size) {
        bytes.resize(size);
        return bytes;
    };
    const std::vector<uint8_t> good = with([](BmpBuilder&) {});
    std::vector<uint8_t> badSignature = good;
    badSignature[1] = 'A';
    std::vector<uint8_t> headerKind = good;
    headerKind[14] = 20;
    std::vector<uint8_t> hugeHeader = good;
    hugeHeader[15] = 0x10; // 4 KiB of header in a 70-byte file
    const Case cases[] = {
        {"empty", {}, LoadReason::BmpSignature},
        {"signature", badSignature, LoadReason::BmpSignature},
        {"file header cut", cut(good, 16), LoadReason::BmpHeaderCut},
        {"info header cut", cut(good, 40), LoadReason::BmpHeaderCut},
        {"header larger than the file", hugeHeader, LoadReason::BmpHeaderCut},
        {"header size", headerKind, LoadReason::BmpHeaderKind},
        {"planes", with([](BmpBuilder& b) { b.Planes = 2; }), LoadReason::BmpPlanes},
        {"zero width", with([](BmpBuilder& b) { b.Width = 0; }), LoadReason::PictureSize},
        {"over the pixel limit", with([](BmpBuilder& b) { b.Width = b.Height = 20000; }), LoadReason::PictureSize},
        {"side over the limit", with([](BmpBuilder& b) { b.Width = 70000; }), LoadReason::PictureSize},
        {"bit count", with([](BmpBuilder& b) { b.BitCount = 12; }), LoadReason::BmpBitCount},
        {"compression", with([](BmpBuilder& b) { b.Compression = Rle8; }), LoadReason::BmpCompression},
        {"masks outside the file",
         cut(with([](BmpBuilder& b) {
                 b.BitCount = 16;
                 b.Compression = Bitfields;
                 b.Masks = {0xF800, 0x07E0, 0x001F};
             }),
             58),
         LoadReason::BmpBitMasks},
        {"colour table over 256", with([](BmpBuilder& b) { b.ColorsUsed = 257; }), LoadReason::BmpColorTable},
        {"colour table outside the file",
         cut(with([](BmpBuilder& b) {
                 b.BitCount = 8;
                 b.Palette.assign(256, 0x123456);
             }),
             300),
         LoadReason::BmpColorTable},
    };
    for (const Case& c : cases) {
        Raster out;
        LoadError error;
        EXPECT_FALSE(DecodeBmp(c.Bytes.data(), c.Bytes.size(), out, &error)) << c.Name;
        EXPECT_EQ(error.Reason, c.Reason) << c.Name << ": " << error.Text();
    }
    Raster out;
    EXPECT_TRUE(DecodeBmp(good.data(), good.size(), out)) << "the unchanged file";
}

} // namespace
