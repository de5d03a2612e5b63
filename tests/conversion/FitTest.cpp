#include "conversion/Picture.h"
#include "platform/EngineError.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <gtest/gtest.h>

using namespace quorvane;

namespace {

PictureSettings Settings(const std::string& quality = "60")
{
    return {"", "", quality};
}

// Three vertical bands (red, green, blue) or, when `horizontal`, three horizontal ones.
Raster Bands(int32_t width, int32_t height, bool horizontal = false)
{
    Raster raster(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const int band = horizontal ? (3 * y) / height : (3 * x) / width;
            raster.Row(y)[3 * x + band] = 255;
        }
    }
    return raster;
}

// Index of the dominant channel of a pixel.
// Fits a whole raster, read as rows.
void Fit(JpegObject& jpeg, const Raster& source, TargetSize target, const PictureSettings& settings)
{
    RasterRowSource rows(source);
    FitPicture(jpeg, rows, target, settings);
}

int Band(const Raster& raster, int32_t x, int32_t y)
{
    const uint8_t* p = raster.Row(y) + 3 * x;
    return p[0] > 128 ? 0 : p[1] > 128 ? 1 : 2;
}

} // namespace

TEST(FitPlan, WorkedExamples)
{
    struct Case {
        int64_t sw, sh, tw, th;
        FitPlan plan; // H, W, crop width; kept window left, top, width, height; stretch
    };
    const Case cases[] = {
        {1200, 1600, 176, 220, {234, 176, false, 0, 7, 176, 220, false}}, // portrait, crop 14 rows
        {1600, 1200, 176, 220, {220, 293, true, 58, 0, 177, 220, true}},  // landscape, odd excess: one column merged
        {1000, 900, 320, 240, {240, 266, false, 0, 0, 266, 240, true}},   // too narrow: stretched sideways
        {900, 1000, 240, 320, {266, 240, true, 0, 0, 240, 266, true}},    // too short: stretched upwards
        {800, 800, 176, 220, {220, 220, true, 22, 0, 176, 220, false}},
        {800, 800, 220, 176, {176, 176, false, 0, 0, 176, 176, true}},
        {352, 440, 176, 220, {220, 176, false, 0, 0, 176, 220, false}},
    };
    for (const Case& c : cases) {
        const FitPlan plan = PlanFit(c.sw, c.sh, c.tw, c.th);
        EXPECT_EQ(plan, c.plan) << c.sw << "x" << c.sh << " into " << c.tw << "x" << c.th;
        // The fit routine chosen keeps the same window from the same intermediate.
        EXPECT_EQ(PlanCrop(plan.H, plan.W, plan.CropWidth, c.tw, c.th), plan);
    }
    // Products beyond 32 bits stay exact.
    EXPECT_EQ(PlanFit(65535, 2, 1, 65500).W, int64_t{65535} * 65500 / 2);
}

// The crop position moves the window along the cropped side only: the excess times the position,
// truncated, never past the end (an odd excess keeps its merged line), and nothing when it stretches.
TEST(FitPlan, CropPositionMovesTheWindow)
{
    struct Case {
        int64_t sw, sh, tw, th, millionths;
        int64_t left, top;
    };
    const Case cases[] = {
        {1200, 1600, 176, 220, 0, 0, 0},
        {1200, 1600, 176, 220, 1000000, 0, 14},
        {1200, 1600, 176, 220, 300000, 0, 4},
        {1200, 1600, 176, 220, 500000, 0, 7},
        {1600, 1200, 176, 220, 0, 0, 0},
        {1600, 1200, 176, 220, 1000000, 116, 0},
        {1600, 1200, 176, 220, 250000, 29, 0},
        {1600, 1200, 176, 220, 999999, 116, 0},
        {1000, 900, 320, 240, 1000000, 0, 0},
        {900, 1000, 240, 320, 0, 0, 0},
        {65535, 2, 1, 65500, 1000000, 2146271248, 0},
    };
    for (const Case& c : cases) {
        const FitPlan centred = PlanFit(c.sw, c.sh, c.tw, c.th);
        const FitPlan plan = PlanFit(c.sw, c.sh, c.tw, c.th, CropPosition{c.millionths});
        SCOPED_TRACE(std::to_string(c.sw) + "x" + std::to_string(c.sh) + " at " + std::to_string(c.millionths));
        EXPECT_EQ(plan.Left, c.left);
        EXPECT_EQ(plan.Top, c.top);
        EXPECT_EQ(plan.Width, centred.Width);
        EXPECT_EQ(plan.Height, centred.Height);
        EXPECT_EQ(plan.Stretch, centred.Stretch);
        EXPECT_LE(plan.Left + plan.Width, plan.W);
        EXPECT_LE(plan.Top + plan.Height, plan.H);
        EXPECT_EQ(PlanCrop(plan.H, plan.W, plan.CropWidth, c.tw, c.th, CropPosition{c.millionths}), plan);
    }
}

TEST(CropPosition, TextsOfTheCommandLine)
{
    const std::pair<const char*, int64_t> good[] = {
        {"centre", 500000}, {"center", 500000}, {"start", 0},   {"end", 1000000},      {"0", 0},       {"1", 1000000},
        {"0.25", 250000},   {"0,75", 750000},   {".5", 500000}, {"1.000000", 1000000}, {"0.000001", 1}};
    for (const auto& [text, millionths] : good) {
        EXPECT_EQ(ParseCropPosition(text), CropPosition{millionths}) << text;
    }
    EXPECT_EQ(ParseCropPosition("smart"), CropPosition{.Smart = true});
    EXPECT_EQ(CropPositionText(CropPosition{.Smart = true}), "smart");
    for (const char* text :
         {"", ".", "-0.1", "1.1", "2", "0.0000001", "0.5x", "1e-1", "middle", " 0.5", "99999999999", "Smart"}) {
        EXPECT_FALSE(ParseCropPosition(text)) << text;
    }
}

TEST(Fit, LandscapeIsCentredAndCroppedSideways)
{
    JpegObject jpeg;
    Fit(jpeg, Bands(1600, 1200), {176, 220}, Settings());
    ASSERT_EQ(jpeg.Image.Width, 176);
    ASSERT_EQ(jpeg.Image.Height, 220);
    // The intermediate is 293 wide; columns 58..234 are kept, so the red band (to 97.7) covers about
    // 40 target columns and the blue band (from 195.3) about 39.
    int red = 0;
    int blue = 0;
    for (int32_t x = 0; x < 176; ++x) {
        red += Band(jpeg.Image, x, 100) == 0;
        blue += Band(jpeg.Image, x, 100) == 2;
    }
    EXPECT_NEAR(red, 40, 1);
    EXPECT_NEAR(blue, 39, 1);
    EXPECT_EQ(Band(jpeg.Image, 88, 0), 1);
}

TEST(Fit, PortraitIsCentredAndCroppedVertically)
{
    JpegObject jpeg;
    Fit(jpeg, Bands(1200, 1600, true), {176, 220}, Settings());
    ASSERT_EQ(jpeg.Image.Width, 176);
    ASSERT_EQ(jpeg.Image.Height, 220);
    int red = 0;
    for (int32_t y = 0; y < 220; ++y) {
        red += Band(jpeg.Image, 50, y) == 0;
    }
    EXPECT_NEAR(red, 78 - 7, 1); // 234 rows, 7 cut at the top
}

TEST(Fit, ShortSideIsStretchedNotCropped)
{
    JpegObject jpeg;
    Fit(jpeg, Bands(1000, 900), {320, 240}, Settings());
    ASSERT_EQ(jpeg.Image.Width, 320);
    // Nothing is cut: both outer bands reach the edges and keep a third of the width each.
    EXPECT_EQ(Band(jpeg.Image, 0, 120), 0);
    EXPECT_EQ(Band(jpeg.Image, 319, 120), 2);
    int red = 0;
    for (int32_t x = 0; x < 320; ++x) {
        red += Band(jpeg.Image, x, 120) == 0;
    }
    EXPECT_NEAR(red, 107, 2);
}

TEST(Fit, QualityIsTheLowByteOfTheQualityText)
{
    const Raster source = MakeTestRaster(40, 30);
    for (auto [text, quality] : {std::pair{"60", 60}, {"300", 100}, {"-5", 0}, {"0", 0}, {"$64", 100}}) {
        JpegObject jpeg;
        Fit(jpeg, source, {20, 20}, Settings(text));
        EXPECT_EQ(jpeg.Quality, quality) << text;
    }
    JpegObject jpeg;
    EXPECT_THROW(Fit(jpeg, source, {20, 20}, Settings("abc")), EngineError);
}

TEST(Fit, SourceWithoutPixelsDividesByZero)
{
    JpegObject jpeg;
    try {
        Fit(jpeg, Raster(), {20, 20}, Settings());
        FAIL();
    } catch (const EngineError& error) {
        EXPECT_STREQ(error.what(), "Division by zero");
    }
}

TEST(Fit, TargetsTheEncoderCannotTakeAreRefusedWithoutAllocating)
{
    const Raster source = MakeTestRaster(64, 48);
    for (TargetSize target : {TargetSize{0, 100}, TargetSize{100, -1}, TargetSize{65501, 10}, TargetSize{-5, -5},
                              TargetSize{60000, 60000}}) {
        JpegObject jpeg;
        Fit(jpeg, source, target, Settings());
        EXPECT_TRUE(jpeg.Unencodable);
        EXPECT_TRUE(jpeg.Image.Empty());
        EXPECT_FALSE(EncodeJpegObject(jpeg));
    }
}

TEST(PreparePicture, OutcomesFollowLoadSizeFitAndEncode)
{
    TempDir dir;
    const Raster raster = MakeTestRaster(120, 80);
    WriteFileBytes(dir / "p.jpg", MakeJpeg(raster, 90, true));
    WriteFileBytes(dir / "b.bmp", MakeBmp24(raster));
    WriteFileBytes(dir / "bad.jpg", "not a picture");
    using Outcome = PreparedPicture::Outcome;

    PreparedPicture progressive = PreparePicture(dir / "p.jpg", PictureFormat::Jpeg, {"64", "48", "80"});
    ASSERT_EQ(progressive.Result, Outcome::Encoded);
    Raster decoded;
    JpegHeaderInfo info;
    ASSERT_TRUE(DecodeJpeg(progressive.Jpeg.data(), progressive.Jpeg.size(), decoded, info));
    EXPECT_EQ(decoded.Width, 64);
    EXPECT_EQ(decoded.Height, 48);
    EXPECT_TRUE(info.MultiScan); // a progressive source gives a progressive output

    PreparedPicture bmp = PreparePicture(dir / "b.bmp", PictureFormat::Bmp, {"30", "50", "80"});
    ASSERT_EQ(bmp.Result, Outcome::Encoded);
    ASSERT_TRUE(DecodeJpeg(bmp.Jpeg.data(), bmp.Jpeg.size(), decoded, info));
    EXPECT_FALSE(info.MultiScan);
    EXPECT_EQ(decoded.Width, 30);

    EXPECT_EQ(PreparePicture(dir / "bad.jpg", PictureFormat::Jpeg, {"1", "1", "1"}).Result, Outcome::LoadFailed);
    EXPECT_EQ(PreparePicture(dir / "p.jpg", PictureFormat::Bmp, {"1", "1", "1"}).Result, Outcome::LoadFailed);
    EXPECT_EQ(PreparePicture(dir / "missing.jpg", PictureFormat::Jpeg, {"1", "1", "1"}).Result, Outcome::LoadFailed);
    EXPECT_EQ(PreparePicture(dir.Str(), PictureFormat::Jpeg, {"1", "1", "1"}).Result, Outcome::LoadFailed);

    PreparedPicture size = PreparePicture(dir / "b.bmp", PictureFormat::Bmp, {"x", "1", "1"});
    EXPECT_EQ(size.Result, Outcome::SizeError);
    EXPECT_EQ(size.ErrorText, "'x' is not a valid integer value");
    EXPECT_EQ(PreparePicture(dir / "b.bmp", PictureFormat::Bmp, {"10", "10", "q"}).Result, Outcome::FitError);
    EXPECT_EQ(PreparePicture(dir / "b.bmp", PictureFormat::Bmp, {"0", "10", "60"}).Result, Outcome::EncodeFailed);
}
