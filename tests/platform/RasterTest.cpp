#include "platform/Raster.h"

#include "platform/PictureMemory.h"
#include "platform/ResamplePaths.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

using namespace quorvane;

namespace {

Raster Resample(const Raster& source, int64_t W, int64_t H)
{
    RasterRowSource rows(source);
    Raster out;
    EXPECT_TRUE(ResampleAreaWindow(rows, W, H, 0, 0, W, H, out));
    return out;
}

Raster Gray(std::initializer_list<std::initializer_list<int>> rows)
{
    Raster raster(static_cast<int32_t>(rows.begin()->size()), static_cast<int32_t>(rows.size()));
    int32_t y = 0;
    for (const auto& row : rows) {
        int32_t x = 0;
        for (int value : row) {
            for (int c = 0; c < 3; ++c) {
                raster.Row(y)[3 * x + c] = static_cast<uint8_t>(value);
            }
            ++x;
        }
        ++y;
    }
    return raster;
}

int At(const Raster& raster, int32_t x, int32_t y, int c = 0)
{
    return raster.Row(y)[3 * x + c];
}

} // namespace

TEST(AreaResample, SameSizeIsIdentity)
{
    const Raster source = MakeTestRaster(37, 23);
    EXPECT_EQ(Resample(source, 37, 23).Pixels, source.Pixels);
}

TEST(AreaResample, ShrinkAveragesCoveredPixelsByCoverage)
{
    // 2:1 averages pairs; 3:2 weights the middle pixel half into each side.
    const Raster pairs = Resample(Gray({{10, 20, 30, 41}}), 2, 1);
    EXPECT_EQ(At(pairs, 0, 0), 15);
    EXPECT_EQ(At(pairs, 1, 0), 36); // 35.5 rounds up
    const Raster thirds = Resample(Gray({{0, 90, 180}}), 2, 1);
    EXPECT_EQ(At(thirds, 0, 0), 30);  // (2*0 + 1*90) / 3
    EXPECT_EQ(At(thirds, 1, 0), 150); // (1*90 + 2*180) / 3
    const Raster block = Resample(Gray({{0, 100}, {200, 100}}), 1, 1);
    EXPECT_EQ(At(block, 0, 0), 100);
}

TEST(AreaResample, EnlargeRepeatsAndBlendsAtBoundaries)
{
    const Raster doubled = Resample(Gray({{10, 200}}), 4, 2);
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(At(doubled, 0, y), 10);
        EXPECT_EQ(At(doubled, 1, y), 10);
        EXPECT_EQ(At(doubled, 2, y), 200);
        EXPECT_EQ(At(doubled, 3, y), 200);
    }
    const Raster thirds = Resample(Gray({{0, 90}}), 3, 1);
    EXPECT_EQ(At(thirds, 1, 0), 45); // the middle pixel straddles both halves equally
}

TEST(AreaResample, UniformPictureStaysUniformAtAnyScale)
{
    Raster flat(53, 31);
    for (size_t i = 0; i < flat.Pixels.size(); i += 3) {
        flat.Pixels[i] = 17;
        flat.Pixels[i + 1] = 128;
        flat.Pixels[i + 2] = 255;
    }
    for (auto [w, h] : {std::pair{7, 5}, std::pair{53, 97}, std::pair{1, 1}, std::pair{200, 3}}) {
        const Raster out = Resample(flat, w, h);
        for (size_t i = 0; i < out.Pixels.size(); i += 3) {
            ASSERT_EQ(out.Pixels[i], 17);
            ASSERT_EQ(out.Pixels[i + 1], 128);
            ASSERT_EQ(out.Pixels[i + 2], 255);
        }
    }
}

TEST(AreaResample, WindowEqualsThatPartOfTheWholePicture)
{
    const Raster source = MakeTestRaster(101, 67, 3);
    const Raster whole = Resample(source, 150, 45);
    RasterRowSource rows(source);
    Raster window;
    ASSERT_TRUE(ResampleAreaWindow(rows, 150, 45, 30, 7, 121, 40, window));
    ASSERT_EQ(window.Width, 91);
    ASSERT_EQ(window.Height, 33);
    for (int32_t y = 0; y < window.Height; ++y) {
        for (int32_t x = 0; x < window.Width * 3; ++x) {
            ASSERT_EQ(window.Row(y)[x], whole.Row(y + 7)[x + 30 * 3]) << x << "," << y;
        }
    }
}

TEST(AreaResample, HugeVirtualSizeComputesOnlyTheWindow)
{
    // A 2 x 1 picture scaled to 2^31 columns: only the middle four columns are made.
    const Raster source = Gray({{0, 250}});
    RasterRowSource rows(source);
    Raster window;
    const int64_t W = int64_t{1} << 31;
    ASSERT_TRUE(ResampleAreaWindow(rows, W, 3, W / 2 - 2, 0, W / 2 + 2, 3, window));
    EXPECT_EQ(At(window, 0, 0), 0);
    EXPECT_EQ(At(window, 3, 2), 250);
}

TEST(StretchCopy, OneExtraColumnOrRowIsAndMergedIntoItsNeighbour)
{
    const Raster wide = Gray({{0xff, 0xf0, 0x3c, 0x0f}});
    const Raster narrowed = StretchCopy(wide, 3, 1);
    EXPECT_EQ(At(narrowed, 0, 0), 0xff);
    EXPECT_EQ(At(narrowed, 1, 0), 0xf0);
    EXPECT_EQ(At(narrowed, 2, 0), 0x3c & 0x0f);
    const Raster tall = Gray({{0xff}, {0xf0}, {0x3c}, {0x0f}});
    const Raster shortened = StretchCopy(tall, 1, 3);
    EXPECT_EQ(At(shortened, 0, 2), 0x3c & 0x0f);
}

TEST(StretchCopy, ShortSideRepeatsPixels)
{
    const Raster small = Gray({{10, 20}, {30, 40}});
    const Raster big = StretchCopy(small, 4, 3);
    EXPECT_EQ(At(big, 0, 0), 10);
    EXPECT_EQ(At(big, 1, 0), 10);
    EXPECT_EQ(At(big, 2, 0), 20);
    EXPECT_EQ(At(big, 3, 2), 40);
    EXPECT_EQ(At(big, 0, 1), 10); // row 1 of 3 maps back to source row 0
    const Raster same = MakeTestRaster(5, 4);
    EXPECT_EQ(StretchCopy(same, 5, 4).Pixels, same.Pixels);
}

namespace {

// Coverage-weighted mean straight from the definition, one destination pixel of the window
// [left, right) x [top, bottom) at a time.
Raster NaiveWindow(const Raster& source, int64_t W, int64_t H, int64_t left, int64_t top, int64_t right, int64_t bottom)
{
    Raster out(static_cast<int32_t>(right - left), static_cast<int32_t>(bottom - top));
    const int64_t sw = source.Width;
    const int64_t sh = source.Height;
    auto overlap = [](int64_t a0, int64_t a1, int64_t b0, int64_t b1) {
        return std::max<int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
    };
    for (int64_t y = top; y < bottom; ++y) {
        for (int64_t x = left; x < right; ++x) {
            for (int c = 0; c < 3; ++c) {
                uint64_t sum = 0;
                // Every source pixel that can overlap, and a few more that add nothing.
                for (int64_t j = y * sh / H; j < std::min(sh, (y + 1) * sh / H + 1); ++j) {
                    const int64_t wy = overlap(y * sh, (y + 1) * sh, j * H, (j + 1) * H);
                    for (int64_t i = x * sw / W; wy > 0 && i < std::min(sw, (x + 1) * sw / W + 1); ++i) {
                        const int64_t wx = overlap(x * sw, (x + 1) * sw, i * W, (i + 1) * W);
                        sum += static_cast<uint64_t>(wx * wy) * source.Row(static_cast<int32_t>(j))[3 * i + c];
                    }
                }
                const uint64_t d = static_cast<uint64_t>(sw * sh);
                out.Row(static_cast<int32_t>(y - top))[3 * (x - left) + c] = static_cast<uint8_t>((sum + d / 2) / d);
            }
        }
    }
    return out;
}

Raster NaiveResample(const Raster& source, int64_t W, int64_t H)
{
    return NaiveWindow(source, W, H, 0, 0, W, H);
}

} // namespace

TEST(AreaResample, MatchesTheDefinitionAtAwkwardRatios)
{
    std::mt19937 random(99);
    for (int round = 0; round < 120; ++round) {
        const int32_t sw = 1 + static_cast<int32_t>(random() % 71); // wide enough for long footprints
        const int32_t sh = 1 + static_cast<int32_t>(random() % 19);
        const int64_t W = 1 + random() % 31;
        const int64_t H = 1 + random() % 29;
        Raster source(sw, sh);
        for (auto& byte : source.Pixels) {
            byte = static_cast<uint8_t>(random());
        }
        ASSERT_EQ(Resample(source, W, H).Pixels, NaiveResample(source, W, H).Pixels)
            << sw << "x" << sh << " -> " << W << "x" << H;
    }
}

TEST(AreaResample, EveryInstructionSetMatchesTheDefinition)
{
    struct Shape {
        int32_t sw, sh;
        int64_t W, H, left, top, right, bottom;
    };
    // Window widths around the vector widths reach every tail; the ratios reach each form of the
    // horizontal pass: footprints of one to four pixels, long ones, and weights too wide for 16 bits.
    const Shape shapes[] = {
        {1, 1, 1, 1, 0, 0, 1, 1},
        {2, 3, 2, 3, 0, 0, 2, 3},
        {3, 1, 5, 4, 0, 0, 5, 4},
        {4, 5, 7, 2, 0, 0, 7, 2},
        {7, 2, 8, 9, 0, 0, 8, 9},
        {19, 4, 15, 3, 0, 0, 15, 3},
        {20, 6, 16, 5, 0, 0, 16, 5},
        {40, 10, 17, 4, 0, 0, 17, 4},
        {41, 9, 33, 7, 0, 0, 33, 7},
        {64, 8, 16, 2, 0, 0, 16, 2},
        {5, 3, 33, 17, 0, 0, 33, 17},
        {400, 7, 17, 3, 0, 0, 17, 3},
        {251, 200, 16, 3, 0, 0, 16, 3},
        {1000, 3, 35, 2, 0, 0, 35, 2},
        {100, 40, 300, 120, 37, 11, 70, 20},
        {300, 50, 33, 5, 5, 1, 22, 4},
        {129, 61, 40, 19, 3, 2, 38, 17},
        {40000, 2, 50001, 3, 20000, 0, 20017, 3},
        {40000, 2, 33000, 2, 100, 0, 133, 2},
    };
    std::mt19937 random(7);
    for (const ResamplePath path : {ResamplePath::Scalar, ResamplePath::Sse2, ResamplePath::Avx2}) {
        if (!ResamplePathAvailable(path)) {
            continue;
        }
        for (const Shape& s : shapes) {
            // Random bytes, then only the extremes, then all 255 for the largest sums.
            for (int fill = 0; fill < 3; ++fill) {
                Raster source(s.sw, s.sh);
                for (auto& byte : source.Pixels) {
                    byte = static_cast<uint8_t>(fill == 0 ? random() : fill == 1 ? 255 * (random() % 2) : 255);
                }
                RasterRowSource rows(source);
                Raster window;
                ASSERT_TRUE(ResampleAreaWindowWith(path, rows, s.W, s.H, s.left, s.top, s.right, s.bottom, window));
                ASSERT_EQ(window.Pixels, NaiveWindow(source, s.W, s.H, s.left, s.top, s.right, s.bottom).Pixels)
                    << "path " << static_cast<int>(path) << ", " << s.sw << "x" << s.sh << " -> " << s.W << "x" << s.H
                    << " [" << s.left << "," << s.right << ") x [" << s.top << "," << s.bottom << "), fill " << fill;
            }
        }
    }
}

// A buffer handed out again after its release is zero-filled when asked: libjpeg's coefficient arrays start
// from zero, and a reused one still holds the coefficients of the picture before.
TEST(PictureMemory, AReusedBufferIsZeroedWhenAsked)
{
    constexpr size_t Bytes = size_t{3} << 20;
    PicturePool pool(int64_t{64} << 20);
    PicturePoolScope scope(&pool);
    auto* first = static_cast<uint8_t*>(AcquirePictureMemory(Bytes, false));
    void* second = AcquirePictureMemory(Bytes, false);
    ASSERT_NE(first, nullptr);
    std::fill(first, first + Bytes, 0xAB);
    ReleasePictureMemory(first, Bytes);
    auto* again = static_cast<uint8_t*>(AcquirePictureMemory(Bytes, true));
#ifndef __SANITIZE_ADDRESS__
    EXPECT_EQ(again, first);
#endif
    EXPECT_TRUE(std::all_of(again, again + Bytes, [](uint8_t byte) { return byte == 0; }));
    ReleasePictureMemory(again, Bytes);
    ReleasePictureMemory(second, Bytes);
}
