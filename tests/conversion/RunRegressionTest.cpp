// What the soak run found in the run itself.

#include "conversion/Conversion.h"
#include "conversion/RunSeams.h"
#include "support/FakeControls.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace quorvane;

namespace {

size_t heapAtFirstSave = 0;
size_t heapAtLastSave = 0;
int saves = 0;

WriteResult MeasuringWriter(const std::string& path, const std::vector<uint8_t>& bytes)
{
#ifdef __GLIBC__
    const size_t used = mallinfo2().uordblks;
#else
    const size_t used = 0;
#endif
    heapAtFirstSave = saves++ == 0 ? used : heapAtFirstSave;
    heapAtLastSave = used;
    return WriteFileAtomically(path, bytes);
}

} // namespace

// A run one picture at a time holds one picture at a time: every prepared picture, with its output bytes,
// used to stay in a queue that only workers drain, so memory grew with the number of pictures.
TEST(RunMemory, OneAtATimeKeepsNoFinishedPicture)
{
#ifndef __GLIBC__
    GTEST_SKIP() << "the heap's statistics come from glibc";
#endif
    TempDir dir;
    std::filesystem::create_directories(dir / "in");
    std::filesystem::create_directories(dir / "out");
    for (int i = 0; i < 40; ++i) {
        WriteFileBytes(dir / ("in/" + std::to_string(i) + ".jpg"), MakeJpeg(MakeTestRaster(16, 12)));
    }
    FakeControls controls;
    controls.Source = dir / "in";
    controls.Receiver = dir / "out";
    controls.Width = "720";
    controls.Height = "1280";
    ConversionRun run({.Jobs = 1}, {.Writer = &MeasuringWriter});
    saves = 0;
    ASSERT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    ASSERT_EQ(saves, 40);
    // The encoder reserves a quarter of the 2.6 MiB target for each output: forty kept would be 27 MiB.
    EXPECT_LT(heapAtLastSave, heapAtFirstSave + (size_t{8} << 20));
}
