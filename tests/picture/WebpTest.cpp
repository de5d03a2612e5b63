#include "picture/Webp.h"

#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace quorvane;

namespace {

std::string Sample(const std::string& name)
{
    return std::string(QUORVANE_TEST_DATA) + "/webp/" + name;
}

// A sample opened from its file, as the run opens it.
struct Opened {
    std::unique_ptr<FileReader> File;
    std::unique_ptr<PictureSource> Source;
    LoadError Error;
};

Opened Open(const std::string& name, const std::atomic<bool>* stop = nullptr)
{
    Opened opened;
    opened.File = OpenPictureFile(Sample(name), opened.Error);
    if (opened.File) {
        opened.Source = OpenWebp(*opened.File, opened.Error, stop);
    }
    return opened;
}

// The whole upright picture, or its rows read with only columns [first, end) kept.
Raster Decode(const std::string& name, int32_t first = 0, int32_t end = 0)
{
    Opened opened = Open(name);
    Raster out;
    EXPECT_TRUE(opened.Source) << name << ": " << static_cast<int>(opened.Error.Reason);
    if (opened.Source) {
        if (end > first) {
            opened.Source->LimitColumns(first, end);
        }
        LoadError error;
        EXPECT_TRUE(DrainSource(*opened.Source, out, &error)) << name << ": " << static_cast<int>(error.Reason);
    }
    return out;
}

uint32_t At(const Raster& r, int32_t x, int32_t y)
{
    const uint8_t* p = r.Row(y) + 3 * x;
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

struct SampleCase {
    const char* Name;
    int32_t Width; // upright
    int32_t Height;
    const char* Profile; // the ICC profile file it carries, or nothing
};

const SampleCase Samples[] = {
    {"lossy.webp", 128, 96, nullptr},         {"lossy-odd.webp", 157, 93, nullptr},
    {"lossless-alpha.webp", 96, 64, nullptr}, {"lossy-alpha.webp", 128, 96, nullptr},
    {"icc.webp", 128, 96, "icc.icc"},         {"plain.webp", 64, 48, nullptr},
    {"exif6.webp", 48, 64, nullptr},          {"exif3.webp", 64, 48, nullptr},
    {"frame.webp", 64, 40, nullptr},          {"anim.webp", 96, 64, nullptr},
    {"anim-lossy.webp", 128, 96, nullptr},    {"alpha-unflagged.webp", 128, 96, nullptr},
};

TEST(WebpDecode, SamplesOpenAtTheirUprightSizeWithTheirProfile)
{
    for (const SampleCase& sample : Samples) {
        Opened opened = Open(sample.Name);
        ASSERT_TRUE(opened.Source) << sample.Name << ": " << static_cast<int>(opened.Error.Reason);
        EXPECT_EQ(opened.Source->Width(), sample.Width) << sample.Name;
        EXPECT_EQ(opened.Source->Height(), sample.Height) << sample.Name;
        const ColourProfile& profile = opened.Source->Profile();
        const std::string expected = sample.Profile != nullptr ? ReadFileBytes(Sample(sample.Profile)) : "";
        EXPECT_EQ(std::string(profile.Bytes.begin(), profile.Bytes.end()), expected) << sample.Name;
        EXPECT_EQ(profile.Model, ColourModel::Rgb) << sample.Name;
        EXPECT_FALSE(profile.Malformed) << sample.Name;
        Raster whole;
        LoadError error;
        EXPECT_TRUE(DrainSource(*opened.Source, whole, &error))
            << sample.Name << ": " << static_cast<int>(error.Reason);
    }
}

// libwebp decodes a cropped window of a lossy picture with its edges upsampled as picture edges, and out
// of phase from an odd column: the decoder widens the window, and the kept columns must come out as in
// the whole decode wherever they start and end.
TEST(WebpDecode, KeptColumnsMatchTheWholeDecode)
{
    for (const SampleCase& sample : Samples) {
        const Raster whole = Decode(sample.Name);
        ASSERT_EQ(whole.Width, sample.Width) << sample.Name;
        const int32_t w = whole.Width;
        const std::pair<int32_t, int32_t> windows[] = {
            {0, 1},     {1, 2},     {3, 17}, {w / 2 - 1, w / 2 + 2}, {w - 1, w},
            {5, w - 3}, {w - 2, w}, {9, 12}, {w / 3, w / 3 + 1}};
        for (const auto& [first, end] : windows) {
            const Raster kept = Decode(sample.Name, first, end);
            ASSERT_EQ(kept.Width, w);
            ASSERT_EQ(kept.Height, whole.Height);
            for (int32_t y = 0; y < whole.Height; ++y) {
                ASSERT_EQ(std::memcmp(kept.Row(y) + 3 * first, whole.Row(y) + 3 * first, 3 * (end - first)), 0)
                    << sample.Name << " columns " << first << ".." << end << ", row " << y;
            }
        }
    }
}

TEST(WebpDecode, AlphaIsLaidOverWhite)
{
    // Transparent over red, blue at alpha 128, opaque green (lossless, so exact).
    const Raster thirds = Decode("lossless-alpha.webp");
    ASSERT_EQ(thirds.Width, 96);
    for (int32_t y = 16; y < 64; y += 7) {
        EXPECT_EQ(At(thirds, 5, y), 0xFFFFFFu) << y;
        EXPECT_EQ(At(thirds, 40, y), 0x7F7FFFu) << y;
        EXPECT_EQ(At(thirds, 90, y), 0x00FF00u) << y;
    }
    // A lossy picture whose alpha runs from 0 at the left: its left column is white.
    const Raster ramp = Decode("lossy-alpha.webp");
    ASSERT_EQ(ramp.Width, 128);
    for (int32_t y = 0; y < ramp.Height; ++y) {
        EXPECT_EQ(At(ramp, 0, y), 0xFFFFFFu) << y;
    }
    // The same with the alpha flag of its VP8X chunk cleared: the demuxer passes over the ALPH chunk.
    const Raster opaque = Decode("alpha-unflagged.webp");
    ASSERT_EQ(opaque.Width, 128);
    int white = 0;
    for (int32_t y = 0; y < opaque.Height; ++y) {
        white += At(opaque, 0, y) == 0xFFFFFFu;
    }
    EXPECT_LT(white, opaque.Height / 2);
}

TEST(WebpDecode, ExifOrientationTurnsThePicture)
{
    const Raster stored = Decode("plain.webp");
    const Raster six = Decode("exif6.webp");
    const Raster three = Decode("exif3.webp");
    ASSERT_EQ(stored.Width, 64);
    ASSERT_EQ(stored.Height, 48);
    ASSERT_EQ(six.Width, 48);
    ASSERT_EQ(three.Width, 64);
    for (int32_t y = 0; y < stored.Height; ++y) {
        for (int32_t x = 0; x < stored.Width; ++x) {
            // 6: stored row 0 is the upright right column; 3: turned half round.
            ASSERT_EQ(At(six, stored.Height - 1 - y, x), At(stored, x, y)) << x << "," << y;
            ASSERT_EQ(At(three, stored.Width - 1 - x, stored.Height - 1 - y), At(stored, x, y)) << x << "," << y;
        }
    }
}

TEST(WebpDecode, AnimationGivesItsFirstFrameOnWhite)
{
    // The first frame is 64x40 at (10, 6) of a 96x64 canvas whose background colour (red) is not used.
    const Raster canvas = Decode("anim.webp");
    const Raster frame = Decode("frame.webp");
    ASSERT_EQ(canvas.Width, 96);
    ASSERT_EQ(frame.Width, 64);
    for (int32_t y = 0; y < canvas.Height; ++y) {
        for (int32_t x = 0; x < canvas.Width; ++x) {
            const bool inside = x >= 10 && x < 10 + frame.Width && y >= 6 && y < 6 + frame.Height;
            ASSERT_EQ(At(canvas, x, y), inside ? At(frame, x - 10, y - 6) : 0xFFFFFFu) << x << "," << y;
        }
    }
    // A first frame of VP8 with an ALPH chunk, over the whole canvas.
    EXPECT_EQ(Decode("anim-lossy.webp").Pixels, Decode("lossy-alpha.webp").Pixels);
}

TEST(WebpDecode, BrokenFilesNameTheirReason)
{
    const std::pair<const char*, LoadReason> cases[] = {
        {"cut-riff.webp", LoadReason::WebpCutShort},     {"cut-header.webp", LoadReason::WebpCutShort},
        {"cut-half.webp", LoadReason::WebpCutShort},     {"cut-end.webp", LoadReason::WebpCutShort},
        {"riff-long.webp", LoadReason::WebpCutShort},    {"riff-short.webp", LoadReason::WebpDamaged},
        {"riff-tiny.webp", LoadReason::WebpDamaged},     {"huge-canvas.webp", LoadReason::PictureSize},
        {"wide-canvas.webp", LoadReason::PictureSize},   {"flags.webp", LoadReason::WebpDamaged},
        {"no-frame.webp", LoadReason::WebpDamaged},      {"frame-outside.webp", LoadReason::WebpDamaged},
        {"vp8-signature.webp", LoadReason::WebpDamaged}, {"vp8l-damaged.webp", LoadReason::WebpDamaged},
        {"wave.webp", LoadReason::WebpNotWebp},
    };
    for (const auto& [name, reason] : cases) {
        Opened opened = Open(name);
        LoadError error = opened.Error;
        if (opened.Source) {
            Raster out;
            EXPECT_FALSE(DrainSource(*opened.Source, out, &error)) << name;
        }
        EXPECT_EQ(error.Reason, reason) << name << ": " << static_cast<int>(error.Reason);
    }

    // Any cut of a sample is refused as such, wherever it falls.
    for (const SampleCase& sample : Samples) {
        const std::string bytes = ReadFileBytes(Sample(sample.Name));
        for (size_t eighth = 1; eighth < 8; ++eighth) {
            MemoryReader cut(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size() * eighth / 8);
            LoadError error;
            EXPECT_FALSE(OpenWebp(cut, error)) << sample.Name << " cut at " << eighth << "/8";
            EXPECT_EQ(error.Reason, LoadReason::WebpCutShort) << sample.Name << " cut at " << eighth << "/8";
        }
    }

    // An extended file of more chunks than any picture needs.
    std::vector<uint8_t> many = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8',
                                 'X', 10,  0,   0,   0, 0, 0, 0, 0,   63,  0,   0,   47,  0,   0};
    for (int i = 0; i <= 1 << 20; ++i) {
        many.insert(many.end(), {'J', 'U', 'N', 'K', 0, 0, 0, 0});
    }
    const size_t riff = many.size() - 8;
    for (int i = 0; i < 4; ++i) {
        many[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
    }
    MemoryReader reader(many.data(), many.size());
    LoadError error;
    EXPECT_FALSE(OpenWebp(reader, error));
    EXPECT_EQ(error.Reason, LoadReason::WebpUnsupported);
}

TEST(WebpDecode, StopFlagCancelsTheDecode)
{
    const std::atomic<bool> stop{true};
    Opened opened = Open("lossy.webp", &stop);
    ASSERT_TRUE(opened.Source);
    EXPECT_EQ(opened.Source->Row(0), nullptr);
    EXPECT_FALSE(opened.Source->Finish());
    EXPECT_EQ(opened.Source->Error().Reason, LoadReason::Cancelled);
}

} // namespace
