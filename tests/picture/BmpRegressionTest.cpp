// Hostile and cut-short BMP data straight into the decoder (run under the sanitizers in CI), and the inputs
// the fuzzer found.

#include "support/BadInputs.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace quorvane;

using namespace TestFiles;

namespace {

uint32_t Le32(const Bytes& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

bool IsBmp(const BadInput& file)
{
    return file.Content.size() > 2 && file.Content[0] == 'B' && file.Content[1] == 'M';
}

} // namespace

// Every prefix of a valid file of every kind: refused while the headers or the colour table are incomplete,
// decoded from there on, with every stored row that is complete decoded as in the whole file.
TEST(BmpHostile, EveryPrefixOfEveryKind)
{
    for (const auto& file : MakeGoodVariants(MakeTestRaster(13, 7, 3))) {
        if (!IsBmp(file)) {
            continue;
        }
        SCOPED_TRACE(file.Name);
        const Bytes& whole = file.Content;
        Raster full;
        ASSERT_TRUE(DecodeBmp(whole.data(), whole.size(), full));
        const size_t pixelsAt = Le32(whole, 10);
        const bool core = Le32(whole, 14) == 12;
        const uint32_t bits = whole[core ? 24 : 28];
        const bool rle = !core && (Le32(whole, 30) == BmpRle8 || Le32(whole, 30) == BmpRle4);
        const bool topDown = !core && static_cast<int32_t>(Le32(whole, 22)) < 0;
        const size_t stride = (static_cast<size_t>(full.Width) * bits + 31) / 32 * 4;
        for (size_t length = 0; length <= whole.size(); ++length) {
            const Bytes prefix(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(length)); // exact size, for ASan
            Raster out;
            const bool decoded = DecodeBmp(prefix.data(), prefix.size(), out);
            ASSERT_EQ(decoded, length >= pixelsAt) << "length " << length;
            if (!decoded || rle) {
                continue;
            }
            ASSERT_EQ(out.Width, full.Width);
            ASSERT_EQ(out.Height, full.Height);
            for (size_t i = 0; i < (length - pixelsAt) / stride; ++i) {
                const auto y = static_cast<int32_t>(topDown ? i : full.Height - 1 - i);
                EXPECT_EQ(std::memcmp(out.Row(y), full.Row(y), full.Stride()), 0)
                    << "length " << length << " row " << y;
            }
        }
    }
}

// The corpus's BMP cases straight into the decoder: refused exactly where the tool skips them.
TEST(BmpHostile, BadInputsDecodeOrFailAsExpected)
{
    for (const auto& c : MakeBadInputs()) {
        if (c.Name.ends_with(".jpg") || c.Name.ends_with(".JPEG")) {
            continue;
        }
        Raster out;
        EXPECT_EQ(DecodeBmp(c.Content.data(), c.Content.size(), out), c.Expected == Outcome::Converted) << c.Name;
    }
}
