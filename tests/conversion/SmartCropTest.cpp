#include "conversion/SmartCrop.h"

#include "support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace quorvane;

namespace {

constexpr int64_t Centre = CropPosition::Whole / 2;

struct Disc {
    double X, Y, Radius; // centre in fractions of the width and height, radius in fractions of the short side
    uint8_t R, G, B;
    bool Striped = false; // black and white stripes a pixel wide instead of the colour
};

const Disc SkinLeft{0.2, 0.55, 0.12, 224, 172, 140};
const Disc DarkRight{0.8, 0.4, 0.1, 25, 30, 35};
const Disc StripesLeft{0.25, 0.5, 0.1, 0, 0, 0, true};
const Disc SkinTop{0.5, 0.12, 0.15, 150, 95, 60};
const Disc DarkBottom{0.4, 0.85, 0.15, 20, 20, 20};

// A sky-to-ground gradient (or one grey when `flat`) with soft-edged discs on it, drawn the same at any size.
Raster Scene(int32_t width, int32_t height, std::vector<Disc> discs, bool flat = false)
{
    Raster raster(width, height);
    const double side = std::min(width, height);
    for (int32_t y = 0; y < height; ++y) {
        const double v = (y + 0.5) / height;
        for (int32_t x = 0; x < width; ++x) {
            double rgb[3] = {130 + 60 * v, 170 + 10 * v, 230 - 90 * v};
            for (const Disc& d : discs) {
                const double distance = std::hypot((x + 0.5 - d.X * width) / side, (y + 0.5 - d.Y * height) / side);
                const double a = std::clamp((d.Radius - distance) * 50, 0.0, 1.0);
                const double stripe = x % 2 == 0 ? 0 : 255;
                const double colour[3] = {d.Striped ? stripe : d.R, d.Striped ? stripe : d.G, d.Striped ? stripe : d.B};
                for (int c = 0; c < 3; ++c) {
                    rgb[c] += a * (colour[c] - rgb[c]);
                }
            }
            for (int c = 0; c < 3; ++c) {
                raster.Row(y)[3 * x + c] = static_cast<uint8_t>(flat ? 128 : std::lround(rgb[c]));
            }
        }
    }
    return raster;
}

Raster Noise(int32_t width, int32_t height, bool grey)
{
    Raster raster(width, height);
    std::mt19937 random(7);
    for (size_t i = 0; i < raster.Pixels.size(); i += 3) {
        const uint32_t bits = random();
        for (size_t c = 0; c < 3; ++c) {
            raster.Pixels[i + c] = static_cast<uint8_t>(bits >> (grey ? 0 : 8 * c));
        }
    }
    return raster;
}

Raster Mirror(const Raster& from, bool sideways)
{
    Raster to(from.Width, from.Height);
    for (int32_t y = 0; y < from.Height; ++y) {
        for (int32_t x = 0; x < from.Width; ++x) {
            const uint8_t* p =
                sideways ? from.Row(y) + 3 * (from.Width - 1 - x) : from.Row(from.Height - 1 - y) + 3 * x;
            std::copy(p, p + 3, to.Row(y) + 3 * x);
        }
    }
    return to;
}

// The left half of the picture, and its mirror image as the right half.
Raster Symmetric(const Raster& from)
{
    Raster to = Mirror(from, true);
    for (int32_t y = 0; y < from.Height; ++y) {
        std::copy(from.Row(y), from.Row(y) + 3 * (from.Width / 2), to.Row(y));
    }
    return to;
}

int64_t Choose(const Raster& picture, int64_t tw, int64_t th)
{
    return ChooseSmartCrop(picture, picture.Width, picture.Height, tw, th).Millionths;
}

} // namespace

// Nothing stands out, or the two sides tie: exactly the centre, for width and height crops alike.
TEST(SmartCrop, CentreWithoutAClearSubject)
{
    const Raster pictures[] = {
        Scene(512, 384, {}, true),
        Scene(384, 512, {}, true),
        Scene(512, 384, {}),
        Scene(256, 1024, {}),
        Noise(512, 384, true),
        Noise(300, 900, false),
        Symmetric(Scene(683, 512, {SkinLeft})),
    };
    for (const Raster& picture : pictures) {
        EXPECT_EQ(Choose(picture, 1080, 2400), Centre) << picture.Width << "x" << picture.Height;
        EXPECT_EQ(Choose(picture, 2400, 1080), Centre) << picture.Width << "x" << picture.Height;
    }
    const Raster subject = Scene(512, 384, {SkinLeft});
    EXPECT_EQ(Choose(subject, 1024, 768), Centre); // no crop
    EXPECT_EQ(Choose(subject, 0, 768), Centre);
    EXPECT_EQ(ChooseSmartCrop(Raster(), 512, 384, 1080, 2400).Millionths, Centre);
    EXPECT_EQ(ChooseSmartCrop(Raster(1, 1, 200), 512, 384, 1080, 2400).Millionths, Centre);
}

// A subject off centre pulls the kept window over it, on rows for a tall picture into a wide target; each
// term alone finds the subject it sees.
TEST(SmartCrop, WindowCoversTheSubject)
{
    struct Case {
        int32_t width, height;
        Disc subject;
        int64_t tw, th;
        SmartCropWeights weights = {};
    };
    const Disc redRight{0.75, 0.5, 0.1, 200, 40, 40};
    const Case cases[] = {
        {512, 384, SkinLeft, 1080, 2400},
        {512, 384, DarkRight, 1080, 2400},
        {683, 512, StripesLeft, 1440, 3200},
        {200, 150, DarkRight, 720, 1600},
        {300, 900, SkinTop, 2400, 1080},
        {300, 900, DarkBottom, 2400, 1080},
        {1024, 512, SkinLeft, 1080, 1080},
        {512, 384, SkinLeft, 1080, 2400, {.Edges = 0, .Colour = 0}},
        {300, 900, SkinTop, 2400, 1080, {.Edges = 0, .Colour = 0}},
        {512, 384, StripesLeft, 1080, 2400, {.Colour = 0, .Skin = 0}},
        {512, 384, redRight, 1080, 2400, {.Edges = 0, .Skin = 0}},
    };
    for (const Case& c : cases) {
        const Raster picture = Scene(c.width, c.height, {c.subject});
        const int64_t p = ChooseSmartCrop(picture, c.width, c.height, c.tw, c.th, c.weights).Millionths;
        const bool sideways = c.tw * c.height < c.th * c.width;
        const double length = sideways ? c.width : c.height;
        const double kept = sideways ? double(c.tw) * c.height / c.th : double(c.th) * c.width / c.tw;
        const double start = (length - kept) * p / CropPosition::Whole;
        const double middle = (sideways ? c.subject.X : c.subject.Y) * length;
        const double radius = c.subject.Radius * std::min(c.width, c.height);
        EXPECT_NE(p, Centre) << c.width << "x" << c.height << " at " << middle;
        EXPECT_LE(start, middle - radius) << c.width << "x" << c.height << " at " << middle;
        EXPECT_GE(start + kept, middle + radius) << c.width << "x" << c.height << " at " << middle;
    }
}

// Mirroring the picture along the cropped side mirrors the position exactly.
TEST(SmartCrop, MirroredPictureMirrorsThePosition)
{
    const Raster pictures[] = {
        Scene(512, 384, {SkinLeft}), Scene(683, 512, {DarkRight, StripesLeft}),
        Scene(300, 900, {SkinTop}),  MakeTestRaster(512, 384),
        MakeTestRaster(200, 777, 3), Noise(341, 256, false),
    };
    for (const Raster& picture : pictures) {
        for (const auto& [tw, th] : {std::pair{1080, 2400}, {2400, 1080}, {1000, 1001}}) {
            const bool sideways = int64_t{tw} * picture.Height < int64_t{th} * picture.Width;
            EXPECT_EQ(Choose(Mirror(picture, sideways), tw, th), CropPosition::Whole - Choose(picture, tw, th))
                << picture.Width << "x" << picture.Height << " into " << tw << "x" << th;
        }
    }
}

// Targets of one shape give one position, and the picture reduced to other sizes nearly the same one.
TEST(SmartCrop, SameShapeAndOtherSizesAgree)
{
    const std::vector<Disc> scenes[] = {{SkinLeft}, {DarkRight}, {SkinLeft, {0.75, 0.3, 0.08, 200, 40, 40}}};
    for (const auto& discs : scenes) {
        const Raster small = Scene(683, 512, discs);
        const Raster large = Scene(1365, 1024, discs);
        const int64_t p = ChooseSmartCrop(small, 4000, 3000, 1080, 2400).Millionths;
        EXPECT_NE(p, Centre);
        EXPECT_EQ(ChooseSmartCrop(small, 4000, 3000, 1440, 3200).Millionths, p);
        EXPECT_EQ(ChooseSmartCrop(small, 8000, 6000, 720, 1600).Millionths, p);
        EXPECT_NEAR(ChooseSmartCrop(large, 4000, 3000, 1080, 2400).Millionths, p, 20000);
    }
}
