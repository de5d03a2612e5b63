// Hostile and cut-short JPEG data straight into both decoders (run under the sanitizers in CI), and the
// inputs the fuzzer found.

#include "support/BadInputs.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <gtest/gtest.h>

using namespace quorvane;

using namespace TestFiles;

namespace {

// Whether the row-by-row decoder delivers every row and finds the end sound.
bool StreamsWhole(const Bytes& bytes)
{
    MemoryReader reader(bytes.data(), bytes.size());
    LoadError error;
    auto rows = OpenJpeg(reader, error);
    if (!rows) {
        return false;
    }
    for (int32_t y = 0; y < rows->Height(); ++y) {
        if (!rows->Row(y)) {
            return false;
        }
    }
    return rows->Finish();
}

bool DecodesWhole(const Bytes& bytes)
{
    Raster out;
    JpegHeaderInfo info;
    return DecodeJpeg(bytes.data(), bytes.size(), out, info);
}

} // namespace

// Every prefix of a valid file of every kind: a file cut before its image data fails, one cut inside the
// data of any scan decodes, and both decoders always agree (a cut inside a later scan's tables fails in
// libjpeg, which reads the end marker it supplies as table bytes).
TEST(JpegHostile, EveryPrefixOfEveryKind)
{
    for (const auto& file : MakeGoodVariants(MakeTestRaster(13, 7, 3))) {
        if (file.Content.empty() || file.Content[0] != 0xFF) {
            continue;
        }
        SCOPED_TRACE(file.Name);
        const size_t scan = FirstScanData(file.Content);
        const auto spans = EntropySpans(file.Content);
        for (size_t length = 0; length <= file.Content.size(); length += length < scan + 64 ? 1 : 5) {
            const Bytes prefix(file.Content.begin(), file.Content.begin() + static_cast<ptrdiff_t>(length));
            const bool decoded = DecodesWhole(prefix);
            if (length <= scan) {
                ASSERT_FALSE(decoded) << "length " << length;
            }
            for (const auto& [begin, end] : spans) {
                if (length > begin && length <= end) {
                    ASSERT_TRUE(decoded) << "length " << length;
                }
            }
            ASSERT_EQ(StreamsWhole(prefix), decoded) << "length " << length;
        }
    }
}

// The corpus's JPEG cases straight into both decoders: refused exactly where the tool skips them.
TEST(JpegHostile, BadInputsDecodeOrFailAsExpected)
{
    for (const auto& c : MakeBadInputs()) {
        if (!c.Name.ends_with(".jpg") && !c.Name.ends_with(".JPEG")) {
            continue;
        }
        const bool expected = c.Expected == Outcome::Converted;
        EXPECT_EQ(DecodesWhole(c.Content), expected) << c.Name;
        EXPECT_EQ(StreamsWhole(c.Content), expected) << c.Name;
    }
}

// Each kind of JPEG the decoder refuses, and the reason it must give.
TEST(JpegReasons, EachRefusalNamesItsCheck)
{
    const Bytes good = BuildJpeg(MakeTestRaster(24, 16, 2));
    const size_t scan = FirstScanData(good);
    Bytes twoComponents = good;
    twoComponents[FindSegment(good, 0xC0) + 9] = 2; // a frame of two components
    struct Case {
        const char* Name;
        Bytes Content;
        LoadReason Reason;
    };
    const Case cases[] = {
        {"not a JPEG", Bytes{'B', 'M', 0, 0, 0, 0}, LoadReason::JpegNotJpeg},
        // Cut anywhere before its image data: one reason.
        {"cut after its start marker", Bytes(good.begin(), good.begin() + 2), LoadReason::JpegNoImage},
        {"cut inside a table", Bytes(good.begin(), good.begin() + 12), LoadReason::JpegNoImage},
        {"cut inside its frame", Bytes(good.begin(), good.begin() + static_cast<long>(FindSegment(good, 0xC0) + 6)),
         LoadReason::JpegNoImage},
        {"cut before its image data", Bytes(good.begin(), good.begin() + static_cast<long>(scan)),
         LoadReason::JpegNoImage},
        {"tables only", Bytes{0xFF, 0xD8, 0xFF, 0xD9}, LoadReason::JpegTablesOnly},
        {"12-bit", WithFrame(good, 0xC1, 12), LoadReason::JpegProcess},
        {"lossless", WithFrame(good, 0xC3, 8), LoadReason::JpegProcess},
        {"hierarchical", WithFrame(good, 0xC5, 8), LoadReason::JpegProcess},
        {"over the pixel limit", WithClaimedSize(good, 60000, 60000), LoadReason::PictureSize},
        {"too many scans", BuildJpeg(MakeTestRaster(8, 8), {.SingleCoefficientScans = 120}), LoadReason::JpegScans},
        {"two components", twoComponents, LoadReason::JpegHeader},
    };
    for (const Case& c : cases) {
        Raster out;
        JpegHeaderInfo info;
        LoadError error;
        EXPECT_FALSE(DecodeJpeg(c.Content.data(), c.Content.size(), out, info, &error)) << c.Name;
        EXPECT_EQ(error.Reason, c.Reason) << c.Name << ": " << MessageText(error.Text());
        EXPECT_NE(MessageText(error.Text()), "") << c.Name;
    }
}
