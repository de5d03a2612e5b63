// Pictures with a colour profile come out in sRGB; untagged ones, and ones whose profile cannot be used,
// exactly as without colour conversion.

#include "conversion/Conversion.h"
#include "conversion/RunSeams.h"
#include "support/BadInputs.h"
#include "support/ColourProfiles.h"
#include "support/FakeControls.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <string>
#include <vector>

using namespace quorvane;
using namespace quorvane::TestFiles;

namespace {

struct Rgb {
    int R, G, B;
};

constexpr int32_t BandWidth = 32;
constexpr int32_t BandHeight = 32;

// Flat bands of the colours side by side, 32 x 32 pixels each.
Raster Bands(const std::vector<Rgb>& colours)
{
    Raster raster(BandWidth * static_cast<int32_t>(colours.size()), BandHeight);
    for (int32_t y = 0; y < raster.Height; ++y) {
        for (int32_t x = 0; x < raster.Width; ++x) {
            const Rgb& c = colours[static_cast<size_t>(x / BandWidth)];
            uint8_t* p = raster.Row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(c.R), p[1] = static_cast<uint8_t>(c.G), p[2] = static_cast<uint8_t>(c.B);
        }
    }
    return raster;
}

Bytes FineJpeg(const Raster& raster, JpegColor color = JpegColor::YCbCr)
{
    return BuildJpeg(raster, {.Quality = 100, .Color = color, .Sampling = {{1, 1}, {1, 1}, {1, 1}}});
}

// The picture converted at its own size (no resampling) at quality 100.
PreparedPicture Convert(const TempDir& dir, const std::string& name, const Bytes& content)
{
    WriteFileBytes(dir / name, content);
    const PictureFormat format = name.ends_with(".bmp") ? PictureFormat::Bmp : PictureFormat::Jpeg;
    MemoryReader reader(content.data(), content.size());
    LoadError error;
    const auto picture = OpenPicture(format, reader, error);
    const std::string width = picture ? std::to_string(picture->Width()) : "1";
    return PreparePicture(dir / name, format, {width, std::to_string(BandHeight), "100"});
}

uint64_t Fnv1a(const std::vector<uint8_t>& bytes)
{
    uint64_t hash = 14695981039346656037ull;
    for (uint8_t b : bytes) {
        hash = (hash ^ b) * 1099511628211ull;
    }
    return hash;
}

} // namespace

TEST(Colour, TaggedPicturesComeOutInSrgb)
{
    const Bytes p3 = MakeRgbProfile(RgbSpace::DisplayP3);
    const std::vector<Rgb> p3Colours = {{234, 51, 35}, {200, 100, 50}, {128, 128, 128}};
    const std::vector<Rgb> p3InSrgb = {{255, 0, 0}, {215, 93, 31}, {128, 128, 128}};
    const std::vector<Rgb> inks = {{0, 255, 255}, {255, 0, 255}, {255, 255, 255}}; // cyan, magenta, none
    struct Case {
        const char* Name;
        Bytes Content;
        std::vector<Rgb> Expected;
    };
    const Case cases[] = {
        // sRGB red and green as an Adobe RGB photo stores them.
        {"adobe-rgb.jpg",
         WithIccProfile(FineJpeg(Bands({{218, 0, 0}, {144, 255, 60}})), MakeRgbProfile(RgbSpace::AdobeRgb)),
         {{254, 0, 0}, {0, 255, 1}}},
        // The profile split over three segments.
        {"display-p3.jpg", WithIccProfile(FineJpeg(Bands(p3Colours)), p3, 200), p3InSrgb},
        {"display-p3.bmp", WithBmpProfile(EncodeBmp(Bands(p3Colours), 24, BmpHeader::V5), p3), p3InSrgb},
        // Linear gray 50% is sRGB 188.
        {"linear-gray.jpg",
         WithIccProfile(FineJpeg(Bands({{128, 128, 128}, {255, 255, 255}}), JpegColor::Gray), MakeLinearGrayProfile()),
         {{188, 188, 188}, {255, 255, 255}}},
        // Stored inverted, as Adobe applications write CMYK; the profile, not the plain conversion, decides.
        {"cmyk.jpg",
         WithIccProfile(FineJpeg(Bands(inks), JpegColor::Cmyk), MakeTwistedCmykProfile()),
         {{255, 255, 0}, {0, 255, 255}, {255, 255, 255}}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const PreparedPicture prepared = Convert(dir, c.Name, c.Content);
        ASSERT_EQ(prepared.Result, PreparedPicture::Outcome::Encoded);
        EXPECT_TRUE(prepared.Warnings.empty());
        Raster out;
        JpegHeaderInfo info;
        ASSERT_TRUE(DecodeJpeg(prepared.Jpeg.data(), prepared.Jpeg.size(), out, info));
        for (size_t band = 0; band < c.Expected.size(); ++band) {
            const uint8_t* p = out.Row(BandHeight / 2) + 3 * (BandWidth * static_cast<int32_t>(band) + BandWidth / 2);
            const Rgb& e = c.Expected[band];
            EXPECT_LE(std::abs(p[0] - e.R), 2) << "band " << band << " red " << int{p[0]};
            EXPECT_LE(std::abs(p[1] - e.G), 2) << "band " << band << " green " << int{p[1]};
            EXPECT_LE(std::abs(p[2] - e.B), 2) << "band " << band << " blue " << int{p[2]};
        }
    }
}

// A profile that cannot be used leaves the picture exactly as an untagged one, and says so; an sRGB profile
// changes nothing and says nothing.
TEST(Colour, UnusableProfilesLeaveThePictureAsItIs)
{
    const Raster photo = MakeTestRaster(64, 32, 3);
    const Bytes jpeg = FineJpeg(photo);
    const Bytes bmp = EncodeBmp(photo, 24, BmpHeader::V5);
    const Bytes adobe = MakeRgbProfile(RgbSpace::AdobeRgb);
    constexpr size_t Chunk = 200;
    Bytes duplicated = WithIccProfile(jpeg, adobe, Chunk);
    duplicated[2 + (4 + 12 + 2 + Chunk) + 4 + 12] = 1; // the second segment numbered 1 again
    Bytes cut = WithBmpProfile(bmp, adobe);
    cut.pop_back();
    struct Case {
        const char* Name;
        Bytes Content;
        bool Warned;
    };
    const Case cases[] = {
        {"srgb.jpg", WithIccProfile(jpeg, MakeRgbProfile(RgbSpace::Srgb)), false},
        {"srgb.bmp", WithBmpProfile(bmp, MakeRgbProfile(RgbSpace::Srgb)), false},
        {"duplicate-segment.jpg", duplicated, true},
        {"garbage.jpg", WithIccProfile(jpeg, Bytes(300, 0x5A)), true},
        {"truncated.jpg", WithIccProfile(jpeg, Bytes(adobe.begin(), adobe.begin() + 200)), true},
        {"gray-profile.jpg", WithIccProfile(jpeg, MakeLinearGrayProfile()), true},
        {"cut-profile.bmp", cut, true},
    };
    TempDir dir;
    const PreparedPicture untaggedJpeg = Convert(dir, "untagged.jpg", jpeg);
    const PreparedPicture untaggedBmp = Convert(dir, "untagged.bmp", bmp);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const PreparedPicture prepared = Convert(dir, c.Name, c.Content);
        ASSERT_EQ(prepared.Result, PreparedPicture::Outcome::Encoded);
        EXPECT_EQ(prepared.Jpeg, std::string(c.Name).ends_with(".bmp") ? untaggedBmp.Jpeg : untaggedJpeg.Jpeg);
        ASSERT_EQ(prepared.Warnings.size(), c.Warned ? 1u : 0u);
        if (c.Warned) {
            const std::string warning = MessageText(prepared.Warnings[0]);
            EXPECT_NE(warning.find("цветовой профиль"), std::string::npos) << warning;
        }
    }
}

// Untagged pictures of every kind the decoders accept give the same files as before colour conversion
// existed (hashes of those outputs).
TEST(Colour, UntaggedOutputsAreUnchanged)
{
    const std::pair<const char*, uint64_t> expected[] = {
        {"info-1.bmp", 0x04051b7429035b37ull},
        {"info-4.bmp", 0x3f872e995f1c8926ull},
        {"info-8.bmp", 0xff24ed7ff85267d5ull},
        {"info-16.bmp", 0xfb0976890864a142ull},
        {"info-24.bmp", 0x1443bfaf6e2422e5ull},
        {"info-32.bmp", 0x1443bfaf6e2422e5ull},
        {"core-1.bmp", 0x04051b7429035b37ull},
        {"core-4.bmp", 0x3f872e995f1c8926ull},
        {"core-8.bmp", 0xff24ed7ff85267d5ull},
        {"core-24.bmp", 0x1443bfaf6e2422e5ull},
        {"info-565.bmp", 0x5e5448e777b389d9ull},
        {"info-32-fields.bmp", 0x1443bfaf6e2422e5ull},
        {"v4-565.bmp", 0x5e5448e777b389d9ull},
        {"v5-32-fields.bmp", 0x1443bfaf6e2422e5ull},
        {"v5-8.bmp", 0xff24ed7ff85267d5ull},
        {"top-down-24.bmp", 0x1443bfaf6e2422e5ull},
        {"top-down-4.bmp", 0x3f872e995f1c8926ull},
        {"rle4.bmp", 0x3f872e995f1c8926ull},
        {"rle8.bmp", 0xff24ed7ff85267d5ull},
        {"baseline.jpg", 0xd0c366ee7d853d8aull},
        {"progressive.jpg", 0x3bca2d7cb01a9104ull},
        {"gray.jpg", 0xd6692bf776d65749ull},
        {"gray-progressive.jpg", 0x8de4ca26e8c23bc0ull},
        {"rgb.jpg", 0xba16ee9e5c809eb9ull},
        {"cmyk.jpg", 0xba16ee9e5c809eb9ull},
        {"ycck.jpg", 0x4662360bdddd6ea0ull},
        {"arithmetic.jpg", 0xd0c366ee7d853d8aull},
        {"restart.jpg", 0xd0c366ee7d853d8aull},
        {"sampling-4x1.jpg", 0x81b788894a59c3f5ull},
        {"sampling-1x2.jpg", 0x5d5bfc2d8b2e831bull},
        {"quality-1.jpg", 0x16682062574cc9c3ull},
        {"quality-100.jpg", 0x48db3d44162492eeull},
        {"exif-2.jpg", 0x97414a1835019c20ull},
        {"exif-3.jpg", 0xd2bdc5063865b02eull},
        {"exif-5.jpg", 0xdd6d5785e7a14be5ull},
        {"exif-6.jpg", 0xfd9e041b05332f79ull},
        {"exif-8.jpg", 0xa07aba0467c461eeull},
    };
    TempDir dir;
    const auto files = MakeGoodVariants(MakeTestRaster(40, 30, 9));
    ASSERT_EQ(files.size(), std::size(expected));
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].Name);
        ASSERT_EQ(files[i].Name, expected[i].first);
        WriteFileBytes(dir / files[i].Name, files[i].Content);
        const PictureFormat format = files[i].Name.ends_with(".bmp") ? PictureFormat::Bmp : PictureFormat::Jpeg;
        const PreparedPicture prepared = PreparePicture(dir / files[i].Name, format, {"24", "32", "60"});
        EXPECT_EQ(Fnv1a(prepared.Jpeg), expected[i].second);
    }
}

// A run reads each distinct profile once, whatever the number of pictures carrying it and of workers.
TEST(Colour, ARunReadsEachProfileOnce)
{
    TempDir source;
    TempDir receiver;
    const Raster photo = MakeTestRaster(48, 40, 5);
    const Bytes p3 = MakeRgbProfile(RgbSpace::DisplayP3);
    const Bytes adobe = MakeRgbProfile(RgbSpace::AdobeRgb);
    for (int i = 0; i < 3; ++i) {
        WriteFileBytes(source / ("p3-" + std::to_string(i) + ".jpg"), WithIccProfile(BuildJpeg(photo), p3));
    }
    WriteFileBytes(source / "adobe.jpg", WithIccProfile(BuildJpeg(photo, {.Progressive = true}), adobe));
    WriteFileBytes(source / "adobe.bmp", WithBmpProfile(EncodeBmp(photo, 24, BmpHeader::V5), adobe));
    WriteFileBytes(source / "untagged.jpg", BuildJpeg(photo));
    for (int jobs : {1, 3}) {
        SCOPED_TRACE(jobs);
        FakeControls controls;
        controls.Source = source.Str();
        controls.Receiver = receiver.Str();
        ConversionRun run({.Jobs = jobs});
        ASSERT_EQ(run.StartCommand(controls), RunOutcome::Completed);
        ASSERT_EQ(controls.Reports.size(), 1u);
        EXPECT_EQ(controls.Reports[0].ProcessedText, "6");
        EXPECT_EQ(run.ColourProfilesRead(), 2);
    }
}

// Gray and matrix-shaper RGB profiles convert through lookup tables, which agree with lcms2's own
// transform within one level over every colour of the cube (every gray level).
TEST(Colour, LookupTablesAgreeWithLcms)
{
    const struct {
        const char* Name;
        Bytes Profile;
        ColourModel Model;
    } cases[] = {
        {"Display P3", MakeRgbProfile(RgbSpace::DisplayP3), ColourModel::Rgb},
        {"Adobe RGB", MakeRgbProfile(RgbSpace::AdobeRgb), ColourModel::Rgb},
        {"linear gray", MakeLinearGrayProfile(), ColourModel::Gray},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ColourTransforms transforms;
        Message warning;
        const auto ours = transforms.For({c.Profile, c.Model, false}, warning);
        ASSERT_NE(ours, nullptr);
        EXPECT_TRUE(ours->ByTables());

        cmsHPROFILE source = cmsOpenProfileFromMem(c.Profile.data(), static_cast<cmsUInt32Number>(c.Profile.size()));
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        const cmsUInt32Number format = c.Model == ColourModel::Gray ? TYPE_GRAY_8 : TYPE_RGB_8;
        cmsHTRANSFORM lcms = cmsCreateTransform(source, format, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL,
                                                cmsFLAGS_NOCACHE | cmsFLAGS_BLACKPOINTCOMPENSATION);
        ASSERT_NE(lcms, nullptr);
        // One plane of the cube at a time: every green and blue level for one red level.
        const int planes = c.Model == ColourModel::Gray ? 1 : 256;
        std::vector<uint8_t> pixels, gray, expected(3 * 65536), converted(3 * 65536);
        int worst = 0;
        for (int r = 0; r < planes; ++r) {
            pixels.clear();
            gray.clear();
            for (int g = 0; g < 256; ++g) {
                for (int b = 0; b < 256; ++b) {
                    const int level = c.Model == ColourModel::Gray ? g : r;
                    pixels.insert(pixels.end(),
                                  {static_cast<uint8_t>(level), static_cast<uint8_t>(g), static_cast<uint8_t>(b)});
                    gray.push_back(static_cast<uint8_t>(g));
                }
            }
            cmsDoTransform(lcms, c.Model == ColourModel::Gray ? gray.data() : pixels.data(), expected.data(), 65536);
            ours->Apply(pixels.data(), converted.data(), 65536);
            for (size_t i = 0; i < converted.size(); ++i) {
                worst = std::max(worst, std::abs(converted[i] - expected[i]));
            }
        }
        EXPECT_LE(worst, 1);
        cmsDeleteTransform(lcms);
        cmsCloseProfile(srgb);
        cmsCloseProfile(source);
    }
}
