#include "support/BadInputs.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <gtest/gtest.h>

using namespace quorvane;

namespace {

std::vector<uint8_t> MakeSampledJpeg(const Raster& raster, int h, int v, bool progressive)
{
    return MakeJpeg(raster, 85, progressive, false, h, v);
}

struct Sample {
    std::string Name;
    std::vector<uint8_t> Bytes;
};

std::vector<Sample> Samples()
{
    const Raster wide = MakeTestRaster(333, 201, 7);
    const Raster tall = MakeTestRaster(190, 317, 9);
    std::vector<Sample> samples = {
        {"420", MakeSampledJpeg(wide, 2, 2, false)},
        {"422", MakeSampledJpeg(wide, 2, 1, false)},
        {"444", MakeSampledJpeg(tall, 1, 1, false)},
        {"420-progressive", MakeSampledJpeg(wide, 2, 2, true)},
        {"422-progressive-tall", MakeSampledJpeg(tall, 2, 1, true)},
        {"gray", MakeJpeg(wide, 80, false, true)},
        {"gray-progressive", MakeJpeg(tall, 80, true, true)},
        {"rotated-6", TestFiles::WithExifOrientation(MakeSampledJpeg(wide, 2, 2, false), 6)},
        {"mirrored-2", TestFiles::WithExifOrientation(MakeSampledJpeg(tall, 2, 2, true), 2)},
    };
    // Cut inside the picture data: libjpeg fills in the rest, and block smoothing comes into play.
    for (const char* name : {"420", "420-progressive", "422-progressive-tall"}) {
        for (const Sample& sample : std::vector<Sample>(samples)) {
            for (int third = 1; sample.Name == name && third <= 2; ++third) {
                auto cut = sample.Bytes;
                cut.resize(cut.size() * static_cast<size_t>(third) / 3);
                samples.push_back({sample.Name + "-cut" + std::to_string(third), cut});
            }
        }
    }
    return samples;
}

} // namespace

TEST(StreamingDecode, EqualsTheWholePicturePathByteForByte)
{
    TempDir dir;
    // Crops at the start, the end and a quarter keep other columns or rows of the decoded picture.
    const PictureSettings targets[] = {{"176", "220", "60"},
                                       {"90", "200", "75", CropPosition{0}},
                                       {"300", "100", "90", CropPosition{CropPosition::Whole}},
                                       {"64", "64", "50"},
                                       {"500", "400", "60", CropPosition{250000}},
                                       {"33", "17", "60", CropPosition{999999}}};
    for (const Sample& sample : Samples()) {
        const std::string path = dir / (sample.Name + ".jpg");
        WriteFileBytes(path, sample.Bytes);
        for (const PictureSettings& target : targets) {
            const auto streamed = PreparePicture(path, PictureFormat::Jpeg, target);
            const auto whole = PrepareFromWhole(path, PictureFormat::Jpeg, target);
            ASSERT_EQ(streamed.Result, PreparedPicture::Outcome::Encoded) << sample.Name << " " << target.WidthText;
            ASSERT_EQ(streamed.Result, whole.Result) << sample.Name;
            EXPECT_TRUE(streamed.Jpeg == whole.Jpeg)
                << sample.Name << " at " << target.WidthText << "x" << target.HeightText;
        }
    }
}

TEST(StreamingDecode, DamageFoundLateIsStillAFailedLoad)
{
    TempDir dir;
    auto bytes = MakeSampledJpeg(MakeTestRaster(200, 120), 2, 2, false);
    // A reserved marker after the scan is an error that only the end of decoding meets.
    bytes.insert(bytes.end() - 2, {0xFF, 0x01});
    const std::string path = dir / "late.jpg";
    WriteFileBytes(path, bytes);
    for (const PictureSettings& settings : {PictureSettings{"50", "50", "60"}, PictureSettings{"x", "50", "60"},
                                            PictureSettings{"50", "50", "q"}, PictureSettings{"0", "50", "60"}}) {
        const auto streamed = PreparePicture(path, PictureFormat::Jpeg, settings);
        const auto whole = PrepareFromWhole(path, PictureFormat::Jpeg, settings);
        EXPECT_EQ(streamed.Result, whole.Result) << settings.WidthText << settings.QualityText;
    }
}

TEST(StreamingDecode, BmpRowsGiveTheSameFileAsTheWholePicture)
{
    TempDir dir;
    auto bmp = MakeBmp24(MakeTestRaster(301, 187, 5));
    WriteFileBytes(dir / "whole.bmp", bmp);
    bmp.resize(bmp.size() / 2);
    WriteFileBytes(dir / "cut.bmp", bmp);
    for (const char* name : {"whole.bmp", "cut.bmp"}) {
        for (const PictureSettings& target :
             {PictureSettings{"176", "220", "60"}, PictureSettings{"250", "90", "80"}}) {
            const auto streamed = PreparePicture(dir / name, PictureFormat::Bmp, target);
            const auto whole = PrepareFromWhole(dir / name, PictureFormat::Bmp, target);
            ASSERT_EQ(streamed.Result, PreparedPicture::Outcome::Encoded) << name;
            EXPECT_TRUE(streamed.Jpeg == whole.Jpeg) << name << " at " << target.WidthText;
        }
    }
}

// A quick look (a JPEG decoded at an eighth, a progressive one from its first scans only) gives nearly what
// the exact reduction gives, for every kind of JPEG.
TEST(StreamingDecode, QuickLookIsCloseToTheExactReduction)
{
    Raster scene(800, 600);
    for (int32_t y = 0; y < scene.Height; ++y) {
        for (int32_t x = 0; x < scene.Width; ++x) {
            uint8_t* px = scene.Row(y) + 3 * x;
            px[0] = static_cast<uint8_t>(x * 255 / 799);
            px[1] = static_cast<uint8_t>(y * 255 / 599);
            px[2] = static_cast<uint8_t>((x / 100 + y / 100) % 2 != 0 ? 220 : 40);
        }
    }
    const TempDir dir;
    for (const bool progressive : {false, true}) {
        for (const bool grayscale : {false, true}) {
            const std::string path = dir / "look.jpg";
            WriteFileBytes(path, MakeJpeg(scene, 90, progressive, grayscale));
            Raster exact;
            Raster quick;
            LoadError why;
            ASSERT_TRUE(ReadReducedPicture(path, PictureFormat::Jpeg, 64, exact, why, nullptr, false));
            ASSERT_TRUE(ReadReducedPicture(path, PictureFormat::Jpeg, 64, quick, why, nullptr, true));
            ASSERT_EQ(quick.Width, exact.Width);
            ASSERT_EQ(quick.Height, exact.Height);
            int64_t difference = 0;
            for (size_t i = 0; i < exact.Pixels.size(); ++i) {
                difference += std::abs(int{exact.Pixels[i]} - int{quick.Pixels[i]});
            }
            // A few levels a sample on average (a progressive file's first scans carry its means at half
            // precision); a look at the wrong data would be off by a hundred.
            EXPECT_LT(difference, static_cast<int64_t>(exact.Pixels.size()) * 8)
                << "progressive " << progressive << ", grayscale " << grayscale;
        }
    }
}
