// Hostile and cut-short JPEG data straight into both decoders (run under the sanitizers in CI), and the
// inputs the fuzzer found.

#include "support/WholePicture.h"
#include "support/BadInputs.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

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
