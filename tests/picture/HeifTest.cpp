#include "picture/Heif.h"

#include "picture/Colour.h"
#include "picture/Formats.h"
#include "picture/WholeSource.h"
#include "support/ColourProfiles.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <libheif/heif.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <memory>
#include <string>
#include <vector>

using namespace quorvane;

namespace {

std::string Sample(const std::string& name)
{
    return std::string(QUORVANE_TEST_DATA) + "/heif/" + name;
}

std::vector<uint8_t> SampleBytes(const std::string& name)
{
    const std::string bytes = ReadFileBytes(Sample(name));
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// A sample decoded whole through the given opening, or the reason it was refused.
struct Decoded {
    std::unique_ptr<PictureSource> Source;
    Raster Picture;
    LoadError Error;
    bool Ok = false;
};

Decoded DecodeFrom(ByteReader& reader, bool byContent, const std::atomic<bool>* stop = nullptr)
{
    Decoded decoded;
    decoded.Source = byContent ? OpenPicture(PictureFormat::Heic, reader, decoded.Error, stop)
                               : OpenHeif(reader, decoded.Error, stop);
    decoded.Ok = decoded.Source && DrainSource(*decoded.Source, decoded.Picture, &decoded.Error);
    return decoded;
}

Decoded DecodeHeif(const std::vector<uint8_t>& bytes, const std::atomic<bool>* stop = nullptr)
{
    MemoryReader reader(bytes.data(), bytes.size());
    return DecodeFrom(reader, false, stop);
}

struct Rgb {
    int R, G, B;
};

Rgb At(const Raster& picture, int32_t x, int32_t y)
{
    const uint8_t* p = picture.Row(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

bool Near(Rgb a, Rgb b, int tolerance)
{
    return std::abs(a.R - b.R) <= tolerance && std::abs(a.G - b.G) <= tolerance && std::abs(a.B - b.B) <= tolerance;
}

std::string Text(Rgb c)
{
    return std::string("(") + std::to_string(c.R) + ", " + std::to_string(c.G) + ", " + std::to_string(c.B) + ")";
}

constexpr Rgb Red{255, 0, 0}, Green{0, 255, 0}, Blue{0, 0, 255}, White{255, 255, 255}, Black{0, 0, 0};

enum class Colours { Srgb, FromNclx, WideIcc, GrayIcc };

// Every sample opens (through the content check, as the run opens a .heic or .avif file) with its
// upright size, decodes, and shows its colours in the right corners: the corners tell a picture turned
// or mirrored the wrong way, tiles put in the wrong place, alpha not laid over white, and the colour
// information that ends in the profile.
TEST(HeifDecode, SamplesDecodeUprightWithTheirColours)
{
    struct Case {
        const char* Name;
        int32_t Width, Height;
        Rgb TopLeft, TopRight, BottomLeft, BottomRight;
        Colours Profile;
    };
    const Case cases[] = {
        {"quarters.heic", 96, 64, Red, Green, Blue, White, Colours::Srgb},
        {"quarters.avif", 96, 64, Red, Green, Blue, White, Colours::Srgb},
        {"small-grid.heic", 64, 48, Red, Green, Blue, White, Colours::Srgb},
        {"grid.heic", 120, 100, Red, Green, Blue, White, Colours::Srgb},
        {"many-tiles.heic", 2560, 1664, Red, White, Red, White, Colours::Srgb},
        // irot 270: the stored top left (red) goes top right; EXIF says the same and is not applied again.
        {"rotated.heic", 64, 96, Blue, Red, White, Green, Colours::Srgb},
        {"transposed.heic", 64, 96, Red, Blue, Green, White, Colours::Srgb},
        // The left half is transparent black.
        {"alpha.heic", 96, 64, White, Green, White, Green, Colours::Srgb},
        {"p3.heic", 96, 64, {200, 40, 40}, {200, 40, 40}, {200, 40, 40}, {200, 40, 40}, Colours::FromNclx},
        {"icc.heic", 96, 64, Red, Green, Blue, White, Colours::WideIcc},
        {"gray.heic", 96, 64, Black, White, Black, White, Colours::GrayIcc},
        // A JPEG named .heic goes to the JPEG decoder.
        {"jpeg.heic", 96, 64, Red, Green, Blue, White, Colours::Srgb},
    };
    const std::vector<uint8_t> wide = SampleBytes("wide.icc");
    const std::vector<uint8_t> gray = SampleBytes("gray.icc");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<uint8_t> bytes = SampleBytes(c.Name);
        MemoryReader reader(bytes.data(), bytes.size());
        const Decoded d = DecodeFrom(reader, true);
        ASSERT_TRUE(d.Ok) << MessageText(d.Error.Text(), Language::English);
        EXPECT_EQ(d.Source->Width(), c.Width);
        EXPECT_EQ(d.Source->Height(), c.Height);
        ASSERT_EQ(d.Picture.Width, c.Width);
        ASSERT_EQ(d.Picture.Height, c.Height);
        // A few pixels in from each corner, past the blur of lossy coding at the edges.
        const int32_t right = c.Width - 3, bottom = c.Height - 3;
        const std::pair<Rgb, Rgb> corners[] = {{c.TopLeft, At(d.Picture, 2, 2)},
                                               {c.TopRight, At(d.Picture, right, 2)},
                                               {c.BottomLeft, At(d.Picture, 2, bottom)},
                                               {c.BottomRight, At(d.Picture, right, bottom)}};
        for (const auto& [expected, actual] : corners) {
            EXPECT_TRUE(Near(actual, expected, 12)) << Text(actual) << " where " << Text(expected) << " belongs";
        }
        const ColourProfile& profile = d.Source->Profile();
        switch (c.Profile) {
        case Colours::Srgb:
            EXPECT_TRUE(profile.Bytes.empty());
            break;
        case Colours::FromNclx:
            EXPECT_FALSE(profile.Bytes.empty());
            EXPECT_EQ(profile.Model, ColourModel::Rgb);
            break;
        case Colours::WideIcc:
            EXPECT_EQ(profile.Bytes, wide);
            EXPECT_EQ(profile.Model, ColourModel::Rgb);
            break;
        case Colours::GrayIcc:
            EXPECT_EQ(profile.Bytes, gray);
            EXPECT_EQ(profile.Model, ColourModel::Gray);
            break;
        }
        EXPECT_FALSE(profile.Malformed);
    }
}

// The 10-bit samples libheif decodes (kept beside the samples, from heif-convert), as maxval-1023 PPM.
struct TenBits {
    int32_t Width = 0, Height = 0;
    std::vector<uint16_t> Samples;
};

TenBits ReadReference(const std::string& name)
{
    const std::vector<uint8_t> bytes = SampleBytes(name);
    TenBits ppm;
    size_t at = 0;
    std::vector<int> fields;
    while (fields.size() < 4 && at < bytes.size()) {
        while (at < bytes.size() && std::isspace(bytes[at])) {
            ++at;
        }
        std::string word;
        while (at < bytes.size() && !std::isspace(bytes[at])) {
            word += static_cast<char>(bytes[at++]);
        }
        fields.push_back(fields.empty() ? (word == "P6" ? 0 : -1) : std::stoi(word));
    }
    ++at;
    if (fields.size() != 4 || fields[0] != 0 || fields[3] != 1023) {
        return ppm;
    }
    ppm.Width = fields[1];
    ppm.Height = fields[2];
    for (; at + 1 < bytes.size(); at += 2) {
        ppm.Samples.push_back(static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]));
    }
    return ppm;
}

// 10-bit samples are rounded to the nearest 8-bit value, not cut to their top bits; also where the
// picture is turned here rather than by libheif (which mirrors 8-bit pictures only).
TEST(HeifDecode, TenBitSamplesRoundToNearest)
{
    struct Case {
        const char* Name;
        const char* Reference;
        bool Transposed; // the reference is the picture as stored
    };
    const Case cases[] = {{"ramp10.heic", "ramp10-heic.ppm", false},
                          {"ramp10.avif", "ramp10-avif.ppm", false},
                          {"ramp10-turned.heic", "ramp10-heic.ppm", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const TenBits reference = ReadReference(c.Reference);
        ASSERT_EQ(reference.Samples.size(), static_cast<size_t>(reference.Width) * reference.Height * 3);
        const Decoded d = DecodeHeif(SampleBytes(c.Name));
        ASSERT_TRUE(d.Ok) << MessageText(d.Error.Text(), Language::English);
        ASSERT_EQ(d.Picture.Width, c.Transposed ? reference.Height : reference.Width);
        ASSERT_EQ(d.Picture.Height, c.Transposed ? reference.Width : reference.Height);
        int mismatches = 0;
        int roundedUp = 0;
        for (int32_t y = 0; y < reference.Height; ++y) {
            for (int32_t x = 0; x < reference.Width; ++x) {
                const uint8_t* pixel = c.Transposed ? d.Picture.Row(x) + 3 * y : d.Picture.Row(y) + 3 * x;
                for (int k = 0; k < 3; ++k) {
                    const int sample = reference.Samples[(static_cast<size_t>(y) * reference.Width + x) * 3 + k];
                    const auto nearest = static_cast<int>(std::lround(sample * 255.0 / 1023.0));
                    mismatches += pixel[k] != nearest;
                    roundedUp += nearest != sample >> 2;
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
        // The ramp has samples whose top 8 bits are not the nearest value.
        EXPECT_GT(roundedUp, 100);
    }
}

// Display P3 from an nclx box becomes a profile the colour conversion uses: the picture's red comes out
// as sRGB sees P3's red, not as its stored values.
TEST(HeifDecode, DisplayP3ColoursAreConverted)
{
    const Decoded d = DecodeHeif(SampleBytes("p3.heic"));
    ASSERT_TRUE(d.Ok);
    ColourTransforms colours;
    Message warning;
    const auto fromFile = colours.For(d.Source->Profile(), warning);
    ASSERT_TRUE(fromFile);
    const auto p3 = colours.For({TestFiles::MakeRgbProfile(TestFiles::RgbSpace::DisplayP3), ColourModel::Rgb}, warning);
    ASSERT_TRUE(p3);
    const Rgb stored = At(d.Picture, 48, 32);
    uint8_t viaFile[3] = {static_cast<uint8_t>(stored.R), static_cast<uint8_t>(stored.G),
                          static_cast<uint8_t>(stored.B)};
    uint8_t viaP3[3] = {viaFile[0], viaFile[1], viaFile[2]};
    fromFile->Apply(viaFile, viaFile, 1);
    p3->Apply(viaP3, viaP3, 1);
    const Rgb converted{viaFile[0], viaFile[1], viaFile[2]};
    EXPECT_TRUE(Near(converted, {viaP3[0], viaP3[1], viaP3[2]}, 1)) << Text(converted);
    EXPECT_FALSE(Near(converted, stored, 4)) << Text(converted) << " from " << Text(stored);
}

// A reader that fails every read from `from` on, as a file on a failing disk does.
class FailingReader final : public ByteReader {
  public:
    FailingReader(const std::vector<uint8_t>& bytes, uint64_t from) : memory_(bytes.data(), bytes.size()), from_(from)
    {
    }
    uint64_t Size() const override { return memory_.Size(); }
    int64_t ReadAt(uint64_t offset, uint8_t* to, size_t count) override
    {
        return offset + count > from_ ? -1 : memory_.ReadAt(offset, to, count);
    }

  private:
    MemoryReader memory_;
    uint64_t from_;
};

// Broken and hostile files each name their reason, whether the header or the decoding finds it.
TEST(HeifDecode, BrokenFilesNameTheirReason)
{
    struct Case {
        const char* Name;
        LoadReason Reason;
        Message Detail; // checked when not empty
    };
    const Case cases[] = {
        {"cut-ftyp.heic", LoadReason::HeifCutShort, {}},
        {"cut-meta.heic", LoadReason::HeifCutShort, {}},
        {"cut-mdat.heic", LoadReason::HeifCutShort, {}},
        {"empty-mdat.heic", LoadReason::HeifCutShort, {}},
        {"brand.heic", LoadReason::HeifNotHeif, {}},
        {"jpeg.heic", LoadReason::HeifNotHeif, {}},
        {"no-primary.heic", LoadReason::HeifNoImage, {}},
        {"no-pitm.heic", LoadReason::HeifNoImage, {}},
        {"codec.heic", LoadReason::HeifCodec, {}},
        {"huge-ispe.heic", LoadReason::PictureSize, SizeText(100000, 100000)},
        {"wide-ispe.heic", LoadReason::PictureSize, SizeText(65535, 8192)},
        {"grid-claims.heic", LoadReason::HeifDamaged, {}},
        {"grid-holes.heic", LoadReason::HeifDamaged, {}},
        {"grid-outside.heic", LoadReason::HeifDamaged, {}},
        {"grid-huge-tiles.heic", LoadReason::PictureSize, SizeText(65535, 65535)},
        {"grid-of-grids.heic", LoadReason::HeifDamaged, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Decoded d = DecodeHeif(SampleBytes(c.Name));
        ASSERT_FALSE(d.Ok);
        EXPECT_EQ(d.Error.Reason, c.Reason) << MessageText(d.Error.Text(), Language::English);
        if (!c.Detail.Empty()) {
            EXPECT_EQ(d.Error.Detail, c.Detail) << MessageText(d.Error.Text(), Language::English);
        }
    }
    const std::vector<uint8_t> empty;
    EXPECT_EQ(DecodeHeif(empty).Error.Reason, LoadReason::HeifNotHeif);

    // libheif does not look at what its reader reports for the picture's data: the reader does.
    const std::vector<uint8_t> good = SampleBytes("quarters.heic");
    for (uint64_t from : {uint64_t{100}, good.size() - 40}) {
        FailingReader failing(good, from);
        const Decoded d = DecodeFrom(failing, false);
        EXPECT_FALSE(d.Ok);
        EXPECT_EQ(d.Error.Reason, LoadReason::ReadFailed) << from;
    }
}

// Rows handed out for the columns a crop keeps are those of the whole picture, upright or turned.
TEST(HeifDecode, KeptColumnsMatchTheWholePicture)
{
    for (const char* name : {"quarters.heic", "ramp10.avif", "alpha.heic", "rotated.heic"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = SampleBytes(name);
        const Decoded whole = DecodeHeif(bytes);
        ASSERT_TRUE(whole.Ok);
        const int32_t first = whole.Picture.Width / 3, end = whole.Picture.Width - 5;
        MemoryReader reader(bytes.data(), bytes.size());
        LoadError error;
        const std::unique_ptr<PictureSource> source = OpenHeif(reader, error);
        ASSERT_TRUE(source);
        source->LimitColumns(first, end);
        for (int32_t y = 0; y < whole.Picture.Height; ++y) {
            const uint8_t* row = source->Row(y);
            ASSERT_NE(row, nullptr) << y;
            ASSERT_EQ(0, std::memcmp(row + 3 * first, whole.Picture.Row(y) + 3 * first, 3 * size_t(end - first))) << y;
        }
        EXPECT_TRUE(source->Finish());
    }
}

// An upright picture is converted here from its decoded YCbCr pictures; its pixels are those of libheif's
// own RGB planes, for every chroma, depth, matrix, range and tiling.
TEST(HeifDecode, ColoursAreLibheifsOwn)
{
    for (const char* name :
         {"quarters.heic", "quarters.avif", "grid.heic", "small-grid.heic", "many-tiles.heic", "ramp10.heic",
          "ramp10.avif", "p3.heic", "nclx-gbr.heic", "nclx-gbr-limited.heic", "nclx-ycgco.heic",
          "nclx-bt2020-limited.heic", "nclx-derived.heic", "nclx-limited10.avif", "nclx-derived10.avif"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = SampleBytes(name);
        const Decoded ours = DecodeHeif(bytes);
        ASSERT_TRUE(ours.Ok);
        heif_context* context = heif_context_alloc();
        ASSERT_EQ(heif_context_read_from_memory_without_copy(context, bytes.data(), bytes.size(), nullptr).code,
                  heif_error_Ok);
        heif_image_handle* handle = nullptr;
        heif_image* image = nullptr;
        ASSERT_EQ(heif_context_get_primary_image_handle(context, &handle).code, heif_error_Ok);
        ASSERT_EQ(heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_444, nullptr).code, heif_error_Ok);
        const int bits = heif_image_get_bits_per_pixel_range(image, heif_channel_R);
        int mismatches = 0;
        for (int c = 0; c < 3; ++c) {
            int stride = 0;
            const heif_channel channels[3] = {heif_channel_R, heif_channel_G, heif_channel_B};
            const uint8_t* plane = heif_image_get_plane_readonly(image, channels[c], &stride);
            for (int32_t y = 0; y < ours.Picture.Height; ++y) {
                for (int32_t x = 0; x < ours.Picture.Width; ++x) {
                    uint16_t sample = plane[y * stride + x];
                    if (bits > 8) {
                        std::memcpy(&sample, plane + y * stride + 2 * x, 2);
                    }
                    const uint8_t expected = bits > 8 ? ToEightBits(sample, bits) : static_cast<uint8_t>(sample);
                    mismatches += ours.Picture.Row(y)[3 * x + c] != expected;
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
}

// What a damaged HEVC stream leaves undecoded is the same every time, not whatever the heap held: with
// glibc, freshly allocated memory is filled with a different byte for each decoding.
TEST(HeifDecode, UndecodedPartsHoldNoOldMemory)
{
    const std::vector<uint8_t> bytes = SampleBytes("undecoded.heic");
    std::vector<Raster> pictures;
    for (const int fill : {0x55, 0xaa}) {
#ifdef __GLIBC__
        mallopt(M_PERTURB, fill);
#endif
        Decoded d = DecodeHeif(bytes);
#ifdef __GLIBC__
        mallopt(M_PERTURB, 0);
#endif
        ASSERT_TRUE(d.Ok) << fill << ": " << MessageText(d.Error.Text(), Language::English);
        pictures.push_back(std::move(d.Picture));
    }
    EXPECT_TRUE(pictures[0].Pixels == pictures[1].Pixels);
}

// A stop set before the file is opened, or after it is opened and before its picture is decoded.
TEST(HeifDecode, StopGivesUp)
{
    const std::vector<uint8_t> bytes = SampleBytes("grid.heic");
    const std::atomic<bool> stopped{true};
    EXPECT_EQ(DecodeHeif(bytes, &stopped).Error.Reason, LoadReason::Cancelled);

    std::atomic<bool> stop{false};
    MemoryReader reader(bytes.data(), bytes.size());
    LoadError error;
    const std::unique_ptr<PictureSource> source = OpenHeif(reader, error, &stop);
    ASSERT_TRUE(source);
    stop = true;
    EXPECT_EQ(source->Row(0), nullptr);
    EXPECT_FALSE(source->Finish());
    EXPECT_EQ(source->Error().Reason, LoadReason::Cancelled);
}

} // namespace
