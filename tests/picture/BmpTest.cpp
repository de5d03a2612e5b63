#include "support/BadInputs.h"
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

using namespace quorvane;

namespace {

using TestFiles::BmpRecipe;
using TestFiles::BuildBmp;
using TestFiles::PackBmpRows;
using Header = TestFiles::BmpHeader;

constexpr uint32_t Rgb = TestFiles::BmpRgb, Rle8 = TestFiles::BmpRle8, Rle4 = TestFiles::BmpRle4,
                   Bitfields = TestFiles::BmpBitfields, AlphaBitfields = TestFiles::BmpAlphaBitfields;

// A recipe with the fields every case sets; the rest keep their defaults.
BmpRecipe Bmp(int32_t width, int32_t height, int bits = 24, uint32_t compression = Rgb, Header kind = Header::Info)
{
    BmpRecipe bmp;
    bmp.Header = kind;
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
            BmpRecipe bmp = Bmp(width, height, bits, Rgb, kind);
            bmp.Palette = palette;
            bmp.Pixels = PackBmpRows(bits, stored);
            const auto decoded = Decode(BuildBmp(bmp));
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
        BmpRecipe bmp = Bmp(2, 3, 24, Rgb, kind);
        bmp.Pixels = PackBmpRows(24, stored);
        const auto bottomUp = Decode(BuildBmp(bmp));
        ASSERT_TRUE(bottomUp);
        EXPECT_EQ(Pixels(*bottomUp), (std::vector<std::vector<uint32_t>>{stored[2], stored[1], stored[0]}));
    }
    BmpRecipe topDown = Bmp(2, -3);
    topDown.Pixels = PackBmpRows(24, stored);
    const auto decoded = Decode(BuildBmp(topDown));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Height, 3);
    EXPECT_EQ(Pixels(*decoded), stored);

    BmpRecipe paletted = Bmp(3, -2, 8);
    paletted.Palette = {0x111111, 0x222222, 0x333333};
    paletted.ColorsUsed = 3;
    paletted.Pixels = PackBmpRows(8, {{0, 1, 2}, {2, 1, 0}});
    const auto top = Decode(BuildBmp(paletted));
    ASSERT_TRUE(top);
    EXPECT_EQ(Pixels(*top),
              (std::vector<std::vector<uint32_t>>{{0x111111, 0x222222, 0x333333}, {0x333333, 0x222222, 0x111111}}));
}

TEST(BmpDecode, ShortTableAndIndicesOutsideItGiveBlack)
{
    // Three colours at 8 bits; no valid pixel offset, so the pixels must be found right after the
    // three-entry table.
    BmpRecipe bmp = Bmp(6, 1, 8);
    bmp.ColorsUsed = 3;
    bmp.OffBits = 0;
    bmp.Palette = {0xFF0000, 0x00FF00, 0x0000FF};
    bmp.Pixels = PackBmpRows(8, {{0, 1, 2, 3, 200, 255}});
    auto decoded = Decode(BuildBmp(bmp));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0, 0, 0}));

    BmpRecipe four = Bmp(4, 1, 4);
    four.ColorsUsed = 2;
    four.Palette = {0xABCDEF, 0x123456};
    four.Pixels = PackBmpRows(4, {{1, 0, 15, 2}});
    decoded = Decode(BuildBmp(four));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0x123456, 0xABCDEF, 0, 0}));
}

TEST(BmpDecode, SixteenBitLayouts)
{
    // 5-5-5 by default: 31 -> 255, 16 -> 132 (16 * 255 / 31 rounded), 1 -> 8.
    BmpRecipe rgb555 = Bmp(3, 1, 16);
    rgb555.Pixels = PackBmpRows(16, {{0x7C00, (16u << 5) | 1u, 0xFFFF}});
    auto decoded = Decode(BuildBmp(rgb555));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0xFF0000, 0x008408, 0xFFFFFF}));

    // 5-6-5 bit fields after a 40-byte header and inside a V5 header: green has 6 bits, 32 -> 130.
    for (Header kind : {Header::Info, Header::V4, Header::V5}) {
        BmpRecipe rgb565 = Bmp(4, 1, 16, Bitfields, kind);
        rgb565.Masks = {0xF800, 0x07E0, 0x001F};
        rgb565.Pixels = PackBmpRows(16, {{0xF800, 32u << 5, 0x001F, 0x07E0}});
        decoded = Decode(BuildBmp(rgb565));
        ASSERT_TRUE(decoded) << static_cast<int>(kind);
        EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0xFF0000, 0x008200, 0x0000FF, 0x00FF00}));
    }

    // 4-4-4 with the channels in an unusual order and a zero mask.
    BmpRecipe odd = Bmp(2, 1, 16, Bitfields);
    odd.Masks = {0x000F, 0x0F00, 0};
    odd.Pixels = PackBmpRows(16, {{0x0F0F, 0x0508}});
    decoded = Decode(BuildBmp(odd));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0xFFFF00, 0x885500}));
}

TEST(BmpDecode, ThirtyTwoBitLayouts)
{
    // Without masks: B, G, R and an ignored fourth byte.
    BmpRecipe plain = Bmp(2, 1, 32);
    plain.Pixels = PackBmpRows(32, {{0xFF123456, 0x00ABCDEF}});
    auto decoded = Decode(BuildBmp(plain));
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
        BmpRecipe shifted = Bmp(2, 1, 32, c.Compression, c.Kind);
        shifted.Masks = c.Masks;
        shifted.OffBits = 0; // found from the masks' size alone
        shifted.Pixels = PackBmpRows(32, {{0x123456FF, 0xABCDEF00}});
        decoded = Decode(BuildBmp(shifted));
        ASSERT_TRUE(decoded) << c.Compression;
        EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0x123456, 0xABCDEF}));
    }

    // 10-10-10: 1023 -> 255, 512 -> 128 (512 * 255 / 1023 = 127.6 rounded).
    BmpRecipe wide = Bmp(1, 1, 32, Bitfields);
    wide.Masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
    wide.Pixels = PackBmpRows(32, {{(1023u << 20) | (512u << 10) | 0u}});
    decoded = Decode(BuildBmp(wide));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 0, 0), 0xFF8000u);

    // Masks wider than 16 bits, overlapping and with holes still give defined values.
    BmpRecipe strange = Bmp(3, 1, 32, Bitfields);
    strange.Masks = {0xFFFFFF00, 0x0000FFFF, 0x0F0F0F0F};
    strange.Pixels = PackBmpRows(32, {{0xFFFFFFFF, 0x80000000, 0x00000000}});
    decoded = Decode(BuildBmp(strange));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(At(*decoded, 1, 0) >> 16, 128u); // 0x800000 of 0xFFFFFF
    EXPECT_EQ(At(*decoded, 2, 0), 0u);
}

BmpRecipe RleRecipe(int bits, int32_t width, int32_t height, std::vector<uint8_t> data)
{
    BmpRecipe bmp = Bmp(width, height, bits, bits == 8 ? Rle8 : Rle4);
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
    const auto decoded = Decode(BuildBmp(RleRecipe(8, 6, 4, data)));
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
    const auto decoded = Decode(BuildBmp(RleRecipe(4, 8, 2, data)));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded), Expected({
                                    {6, 7, 8, 9, 10, U, 15, U},
                                    {1, 2, 1, 2, 1, 3, 4, 5},
                                }));
}

TEST(BmpRle, DamagedStreamsStayInsideThePicture)
{
    // Deltas past the right edge and past the last line, a run after the edge, and no end of bitmap.
    auto decoded = Decode(BuildBmp(RleRecipe(8, 4, 2, {2, 1, 0, 2, 250, 0, 3, 2, 0, 0, 1, 3, 0, 2, 0, 200, 4, 4})));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded), Expected({{3, U, U, U}, {1, 1, U, U}}));

    // An absolute run cut off by the end of the file: the bytes present are used, then decoding stops.
    decoded = Decode(BuildBmp(RleRecipe(8, 4, 1, {0, 4, 9, 10})));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded), Expected({{9, 10, U, U}}));

    // A dangling delta and a lone byte at the end are ignored.
    decoded = Decode(BuildBmp(RleRecipe(4, 3, 1, {1, 0x20, 0, 2, 1})));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded), Expected({{2, U, U}}));

    // Top-down run-length data is decoded from the top.
    BmpRecipe topDown = RleRecipe(8, 2, 2, {2, 3, 0, 0, 1, 4, 0, 1});
    topDown.Height = -2;
    decoded = Decode(BuildBmp(topDown));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded), Expected({{3, 3}, {4, U}}));

    // A tiny file claiming a big picture: black but for the pixels the data sets.
    decoded = Decode(BuildBmp(RleRecipe(8, 4000, 3000, {0, 2, 0, 255, 0, 2, 0, 255, 1, 2})));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 3999, 0), 0u);
    EXPECT_EQ(At(*decoded, 0, 2999), 0u);
    EXPECT_EQ(At(*decoded, 0, 2999 - 510), Colors16[2]);
}

TEST(BmpDecode, PixelDataCutShortKeepsPixelValueZero)
{
    // 8 bits, 3 x 3, cut after the bottom row and one pixel of the middle row.
    BmpRecipe paletted = Bmp(3, 3, 8);
    paletted.Palette = {0x0000AA, 0x00BB00, 0xCC0000};
    paletted.ColorsUsed = 3;
    paletted.Pixels = PackBmpRows(8, {{1, 2, 1}, {2, 1, 1}, {1, 1, 1}});
    std::vector<uint8_t> bytes = BuildBmp(paletted);
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
    BmpRecipe rgb = Bmp(2, -2);
    rgb.Pixels = PackBmpRows(24, {{0x112233, 0x445566}, {0x778899, 0xAABBCC}});
    bytes = BuildBmp(rgb);
    bytes.resize(bytes.size() - 8 + 2);
    decoded = Decode(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded), (std::vector<std::vector<uint32_t>>{{0x112233, 0x445566}, {0x008899, 0}}));

    // 1 bit cut short: the missing rows take the first colour.
    BmpRecipe mono = Bmp(9, 2, 1);
    mono.Palette = {0x00FF00, 0xFFFFFF};
    mono.Pixels = PackBmpRows(1, {std::vector<uint32_t>(9, 1), std::vector<uint32_t>(9, 1)});
    bytes = BuildBmp(mono);
    bytes.resize(bytes.size() - 4);
    decoded = Decode(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 8, 1), 0xFFFFFFu);
    EXPECT_EQ(At(*decoded, 8, 0), 0x00FF00u);
}

TEST(BmpDecode, PixelOffsetHonouredOnlyWhenValid)
{
    BmpRecipe bmp = Bmp(2, 1, 8);
    bmp.ColorsUsed = 2;
    bmp.Gap = 6;
    bmp.Palette = {0x010101, 0xFAFAFA};
    bmp.Pixels = PackBmpRows(8, {{1, 0}});
    auto decoded = Decode(BuildBmp(bmp));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0xFAFAFA, 0x010101}));

    // An offset beyond the file or inside the colour table is not used: the pixels follow the table.
    for (uint32_t offBits : {0u, 14u + 40 + 4, 100000u}) {
        BmpRecipe broken = bmp;
        broken.Gap = 0;
        broken.OffBits = offBits;
        decoded = Decode(BuildBmp(broken));
        ASSERT_TRUE(decoded) << offBits;
        EXPECT_EQ(Pixels(*decoded)[0], (std::vector<uint32_t>{0xFAFAFA, 0x010101})) << offBits;
    }

    // Bit-field masks after a 40-byte header count as part of what the offset must lie beyond.
    BmpRecipe fields = Bmp(1, 1, 16, Bitfields);
    fields.OffBits = 14 + 40 + 4;
    fields.Masks = {0xF800, 0x07E0, 0x001F};
    fields.Pixels = PackBmpRows(16, {{0x07E0}});
    decoded = Decode(BuildBmp(fields));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 0, 0), 0x00FF00u);

    // A colour table given for a 24-bit picture is skipped.
    BmpRecipe rgb = Bmp(1, 1);
    rgb.ColorsUsed = 2;
    rgb.OffBits = 0;
    rgb.Palette = {0x111111, 0x222222};
    rgb.Pixels = PackBmpRows(24, {{0x345678}});
    decoded = Decode(BuildBmp(rgb));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(At(*decoded, 0, 0), 0x345678u);
}

TEST(BmpReject, HeadersCutShortAtEveryLength)
{
    std::vector<BmpRecipe> files;
    files.push_back(Bmp(2, 1, 4, Rgb, Header::Core));
    files.back().Palette = std::vector<uint32_t>(Colors16.begin(), Colors16.end());
    files.push_back(Bmp(2, 1, 8));
    files.back().ColorsUsed = 5;
    files.back().Palette = std::vector<uint32_t>(5, 0x123456);
    files.push_back(Bmp(2, 1, 16, Bitfields));
    files.back().Masks = {0xF800, 0x07E0, 0x001F};
    files.push_back(Bmp(2, 1, 32, Rgb, Header::V5));
    for (BmpRecipe& file : files) {
        file.Pixels = std::vector<uint8_t>(8, 0x44);
        const std::vector<uint8_t> whole = BuildBmp(file);
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
    const BmpRecipe good = [] {
        BmpRecipe b = Bmp(2, 2);
        b.Pixels = std::vector<uint8_t>(16, 0);
        return b;
    }();
    ASSERT_TRUE(Decode(BuildBmp(good)));
    EXPECT_FALSE(Decode({}));

    auto rejects = [](BmpRecipe bmp) { return !Decode(BuildBmp(bmp)); };
    auto with = [&](auto change) {
        BmpRecipe bmp = good;
        change(bmp);
        return bmp;
    };

    std::vector<uint8_t> signature = BuildBmp(good);
    signature[1] = 'A';
    EXPECT_FALSE(Decode(signature));

    for (uint16_t planes : {0, 2}) {
        EXPECT_TRUE(rejects(with([&](BmpRecipe& b) { b.Planes = planes; }))) << planes;
    }
    for (uint16_t bits : {0, 2, 3, 7, 15, 48, 64}) {
        EXPECT_TRUE(rejects(with([&](BmpRecipe& b) { b.BitCount = bits; }))) << bits;
    }
    // Compressions at depths where they do not exist, and embedded JPEG/PNG.
    const std::vector<std::pair<uint16_t, uint32_t>> badCompressions = {
        {24, 4}, {24, 5}, {8, 2}, {4, 1}, {24, 1}, {24, 3}, {8, 3}, {16, 1}, {32, 7}, {8, 0x80000000}};
    for (auto [bits, compression] : badCompressions) {
        EXPECT_TRUE(rejects(with([&](BmpRecipe& b) {
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
        EXPECT_TRUE(rejects(with([&](BmpRecipe& b) {
            b.Width = width;
            b.Height = height;
        }))) << width
             << "x" << height;
    }
    // A table over 256 entries, or running past the end of the file.
    for (uint32_t colors : {257u, 0x40000000u, 0xFFFFFFFFu}) {
        EXPECT_TRUE(rejects(with([&](BmpRecipe& b) {
            b.BitCount = 8;
            b.ColorsUsed = colors;
            b.Palette.resize(std::min<uint32_t>(colors, 300), 0x123456);
        }))) << colors;
    }
    // Header sizes other than 12 and 40 or more.
    for (uint32_t headerSize : {0u, 11u, 16u, 39u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        std::vector<uint8_t> bytes = BuildBmp(good);
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
    BmpRecipe wide = Bmp(65535, -1, 1);
    wide.Palette = {0x000000, 0xFFFFFF};
    wide.Pixels = std::vector<uint8_t>(8192, 0xFF);
    const auto decoded = Decode(BuildBmp(wide));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Width, 65535);
    EXPECT_EQ(At(*decoded, 65534, 0), 0xFFFFFFu);
}

// A raster handed in with an older picture in it must come out exactly as a fresh one would.
TEST(BmpDecode, ReusedRasterIsFullyOverwritten)
{
    BmpRecipe rle = RleRecipe(8, 3, 2, {1, 1, 0, 1});
    rle.Palette[0] = 0x000000;
    BmpRecipe cut = Bmp(3, 2, 8);
    cut.ColorsUsed = 2;
    cut.Palette = {0x000000, 0xFFFFFF};
    cut.Pixels = PackBmpRows(8, {{1, 1, 1}});
    for (const BmpRecipe& bmp : {rle, cut}) {
        const std::vector<uint8_t> bytes = BuildBmp(bmp);
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
        BmpRecipe bmp = Bmp(9, 4, bits);
        bmp.Palette = std::vector<uint32_t>(static_cast<size_t>(1) << bits, 0x808080);
        bmp.Pixels = std::vector<uint8_t>(64, 0x5A);
        seeds.push_back(BuildBmp(bmp));
    }
    seeds.push_back(BuildBmp(RleRecipe(8, 9, 4, {3, 1, 0, 3, 1, 2, 3, 0, 0, 2, 1, 1, 0, 0, 4, 2, 0, 1})));
    seeds.push_back(BuildBmp(RleRecipe(4, 9, 4, {3, 0x12, 0, 5, 1, 2, 3, 0, 0, 2, 1, 1, 0, 0, 4, 2, 0, 1})));
    BmpRecipe fields = Bmp(5, -3, 16, Bitfields, Header::V4);
    fields.Masks = {0xF800, 0x07E0, 0x001F};
    fields.Pixels = std::vector<uint8_t>(36, 0x33);
    seeds.push_back(BuildBmp(fields));

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
        BmpRecipe bmp = Bmp(2, 2, 24);
        bmp.Pixels.assign(16, 0x40);
        change(bmp);
        return BuildBmp(bmp);
    };
    auto cut = [](std::vector<uint8_t> bytes, size_t size) {
        bytes.resize(size);
        return bytes;
    };
    const std::vector<uint8_t> good = with([](BmpRecipe&) {});
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
        {"planes", with([](BmpRecipe& b) { b.Planes = 2; }), LoadReason::BmpPlanes},
        {"zero width", with([](BmpRecipe& b) { b.Width = 0; }), LoadReason::PictureSize},
        {"over the pixel limit", with([](BmpRecipe& b) { b.Width = b.Height = 20000; }), LoadReason::PictureSize},
        {"side over the limit", with([](BmpRecipe& b) { b.Width = 70000; }), LoadReason::PictureSize},
        {"bit count", with([](BmpRecipe& b) { b.BitCount = 12; }), LoadReason::BmpBitCount},
        {"compression", with([](BmpRecipe& b) { b.Compression = Rle8; }), LoadReason::BmpCompression},
        {"masks outside the file",
         cut(with([](BmpRecipe& b) {
                 b.BitCount = 16;
                 b.Compression = Bitfields;
                 b.Masks = {0xF800, 0x07E0, 0x001F};
             }),
             58),
         LoadReason::BmpBitMasks},
        {"colour table over 256", with([](BmpRecipe& b) { b.ColorsUsed = 257; }), LoadReason::BmpColorTable},
        {"colour table outside the file",
         cut(with([](BmpRecipe& b) {
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
        EXPECT_EQ(error.Reason, c.Reason) << c.Name << ": " << MessageText(error.Text());
    }
    Raster out;
    EXPECT_TRUE(DecodeBmp(good.data(), good.size(), out)) << "the unchanged file";
}

} // namespace
