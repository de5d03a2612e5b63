#include "picture/Png.h"

#include "support/BadInputs.h"
#include "support/ColourProfiles.h"
#include "support/PngFiles.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace quorvane;
using TestFiles::BuildPng;
using TestFiles::PngKind;
using TestFiles::PngRecipe;

namespace {

struct Decoded {
    bool Ok = false;
    Raster Picture;
    LoadError Error;
    ColourProfile Profile;
};

Decoded Decode(const std::vector<uint8_t>& bytes)
{
    Decoded d;
    MemoryReader reader(bytes.data(), bytes.size());
    if (auto source = OpenPng(reader, d.Error)) {
        d.Profile = source->Profile();
        d.Ok = DrainSource(*source, d.Picture, &d.Error);
    }
    return d;
}

// What a recipe's picture decodes to: gray from green at the depth, expanded back to 8 bits.
Raster Expected(const Raster& picture, const PngRecipe& recipe)
{
    Raster expected = picture;
    const bool gray = recipe.Kind == PngKind::Gray || recipe.Kind == PngKind::GrayAlpha;
    const uint32_t max = (1u << std::min(recipe.BitDepth, 8)) - 1;
    for (size_t i = 0; gray && i < expected.Pixels.size(); i += 3) {
        const uint32_t g = expected.Pixels[i + 1] * max / 255 * (255 / max);
        expected.Pixels[i] = expected.Pixels[i + 1] = expected.Pixels[i + 2] = static_cast<uint8_t>(g);
    }
    return expected;
}

std::vector<uint8_t> WithByteFlipped(std::vector<uint8_t> bytes, size_t at)
{
    bytes.at(at) ^= 0x5A;
    return bytes;
}

PngRecipe Png(PngKind kind, int depth, bool interlaced = false)
{
    PngRecipe recipe;
    recipe.Kind = kind;
    recipe.BitDepth = depth;
    recipe.Interlaced = interlaced;
    return recipe;
}

size_t FindChunk(const std::vector<uint8_t>& png, const char* type)
{
    const std::string bytes(png.begin(), png.end());
    return bytes.find(type) - 4;
}

} // namespace

// Every colour type and depth, plain and interlaced, gives the picture's own pixels (16-bit samples are
// rounded, not cut, back to 8 bits; low gray depths expanded to the full range).
TEST(Png, EveryKindDecodesToItsPixels)
{
    const Raster picture = MakeTestRaster(16, 12, 7);
    const PngRecipe recipes[] = {
        Png(PngKind::Rgb, 8),        Png(PngKind::Rgb, 16),          Png(PngKind::RgbAlpha, 8),
        Png(PngKind::RgbAlpha, 16),  Png(PngKind::Gray, 1),          Png(PngKind::Gray, 2),
        Png(PngKind::Gray, 4),       Png(PngKind::Gray, 8),          Png(PngKind::Gray, 16),
        Png(PngKind::GrayAlpha, 8),  Png(PngKind::Palette, 8),       Png(PngKind::Rgb, 8, true),
        Png(PngKind::Gray, 2, true), Png(PngKind::Palette, 8, true), Png(PngKind::RgbAlpha, 16, true),
    };
    for (const PngRecipe& recipe : recipes) {
        SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(recipe.Kind) << " depth " << recipe.BitDepth
                                        << (recipe.Interlaced ? " interlaced" : ""));
        const Decoded d = Decode(BuildPng(picture, recipe));
        ASSERT_TRUE(d.Ok) << MessageText(d.Error.Text());
        EXPECT_EQ(d.Picture.Width, 16);
        EXPECT_EQ(d.Picture.Height, 12);
        EXPECT_EQ(d.Picture.Pixels, Expected(picture, recipe).Pixels);
    }
}

// Transparency is laid over white, whatever carries it: an alpha channel of 8 or 16 bits, or a palette's
// transparent entry.
TEST(Png, TransparencyIsLaidOverWhite)
{
    const Raster black(4, 4, 0);
    struct Case {
        PngKind Kind;
        int Depth;
        uint16_t Alpha;
        uint8_t Expected;
    } const cases[] = {
        {PngKind::RgbAlpha, 8, 0, 255},       {PngKind::RgbAlpha, 8, 0x8080, 127}, {PngKind::RgbAlpha, 16, 0x8000, 127},
        {PngKind::GrayAlpha, 8, 0x4040, 191}, {PngKind::Palette, 8, 0, 255},       {PngKind::RgbAlpha, 16, 0xFFFF, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.Depth << " alpha " << c.Alpha);
        PngRecipe recipe = Png(c.Kind, c.Depth);
        recipe.Alpha = c.Alpha;
        const Decoded d = Decode(BuildPng(black, recipe));
        ASSERT_TRUE(d.Ok);
        EXPECT_EQ(d.Picture.Pixels[0], c.Expected);
        EXPECT_EQ(d.Picture.Pixels[d.Picture.Pixels.size() - 1], c.Expected);
    }
}

// The profile follows the PNG rule: iCCP first, then sRGB, then gAMA and cHRM; sRGB-like information
// (a gamma of 1/2.2 with sRGB's primaries, or none at all) gives no profile.
TEST(Png, ColourChunksGiveTheProfile)
{
    const Raster picture = MakeTestRaster(4, 4, 3);
    const std::vector<uint8_t> p3 = TestFiles::MakeRgbProfile(TestFiles::RgbSpace::DisplayP3);
    struct Case {
        const char* Name;
        PngRecipe Recipe;
        bool HasProfile;
    };
    std::vector<Case> cases = {{"none", {}, false},        {"gamma 1/2.2", {}, false}, {"linear", {}, true},
                               {"P3 primaries", {}, true}, {"sRGB chunk", {}, false},  {"iCCP beats sRGB", {}, true}};
    cases[1].Recipe.FileGamma = 0.45455;
    cases[2].Recipe.FileGamma = 1.0;
    cases[3].Recipe.DisplayP3 = true;
    cases[4].Recipe.Srgb = true;
    cases[5].Recipe.Icc = p3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Decoded d = Decode(BuildPng(picture, c.Recipe));
        ASSERT_TRUE(d.Ok);
        EXPECT_EQ(!d.Profile.Bytes.empty(), c.HasProfile);
        if (!c.Recipe.Icc.empty()) {
            EXPECT_EQ(d.Profile.Bytes, p3);
        }
    }
    // The same information gives the same profile, so a run's pictures share one transform.
    PngRecipe linear;
    linear.FileGamma = 1.0;
    EXPECT_EQ(Decode(BuildPng(picture, linear)).Profile.Bytes,
              Decode(BuildPng(MakeTestRaster(8, 2), linear)).Profile.Bytes);
}

// An eXIf orientation turns the picture upright, interlaced or not.
TEST(Png, ExifOrientationTurnsThePicture)
{
    const Raster picture = MakeTestRaster(6, 4, 5);
    const std::vector<uint8_t> payload = TestFiles::ExifPayload(false, 6);
    for (bool interlaced : {false, true}) {
        PngRecipe recipe = Png(PngKind::Rgb, 8, interlaced);
        recipe.Exif.assign(payload.begin() + 6, payload.end()); // TIFF data without "Exif\0\0"
        const Decoded d = Decode(BuildPng(picture, recipe));
        ASSERT_TRUE(d.Ok);
        ASSERT_EQ(d.Picture.Width, 4);
        ASSERT_EQ(d.Picture.Height, 6);
        // Orientation 6: the stored picture's bottom-left corner is the upright one's top-left.
        EXPECT_TRUE(std::equal(d.Picture.Row(0), d.Picture.Row(0) + 3, picture.Row(3)));
    }
}

// Hostile and damaged files are refused with their reason, before anything large is allocated.
TEST(Png, DamagedFilesGiveTheirReason)
{
    const std::vector<uint8_t> good = BuildPng(MakeTestRaster(64, 48, 2));
    const size_t idat = FindChunk(good, "IDAT");
    std::vector<uint8_t> huge = good;
    huge[16] = 0x00, huge[17] = 0x01, huge[18] = 0x20, huge[19] = 0x00; // width 73728
    std::vector<uint8_t> zeroWide = good;
    zeroWide[16] = zeroWide[17] = zeroWide[18] = zeroWide[19] = 0;
    struct Case {
        const char* Name;
        std::vector<uint8_t> Bytes;
        LoadReason Reason;
    } const cases[] = {
        {"not a PNG", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}, LoadReason::PngNotPng},
        {"signature only", std::vector<uint8_t>(good.begin(), good.begin() + 8), LoadReason::PngCutShort},
        {"cut inside IDAT", std::vector<uint8_t>(good.begin(), good.begin() + idat + 40), LoadReason::PngCutShort},
        {"huge width", huge, LoadReason::PictureSize},
        {"zero width", zeroWide, LoadReason::PictureSize},
        {"IHDR CRC", WithByteFlipped(good, 29), LoadReason::PngDamaged},
        {"IDAT data", WithByteFlipped(good, idat + 30), LoadReason::PngDamaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Decoded d = Decode(c.Bytes);
        EXPECT_FALSE(d.Ok);
        EXPECT_EQ(d.Error.Reason, c.Reason) << MessageText(d.Error.Text());
    }
}
