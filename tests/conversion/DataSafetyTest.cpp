// An output is either the complete new file or what was there before: a full disk or a read-only receiver
// gives the save message, leaves no partial or temporary file and keeps an existing output intact. The
// failing receivers are real ones (a small tmpfs, which needs the right to mount) and, where they cannot
// be had, the run's replaceable writer.

#include "conversion/Conversion.h"
#include "conversion/RunSeams.h"
#include "platform/DirList.h"
#include "support/FakeControls.h"
#include "support/SystemKit.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <unistd.h>

using namespace quorvane;

namespace fs = std::filesystem;

namespace {

const std::string SaveMessage = "Проверьте директорию: ";

// A picture of pure noise: its JPEG stays large (tens of KiB) at any size and quality.
std::vector<uint8_t> NoisyJpeg(int32_t side, uint32_t seed)
{
    Raster raster(side, side);
    std::mt19937 random(seed);
    for (auto& byte : raster.Pixels) {
        byte = static_cast<uint8_t>(random());
    }
    return MakeJpeg(raster, 95);
}

std::set<std::string> Names(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

struct SafetyRun : ::testing::Test {
    TempDir dir;
    std::string source = dir / "source";
    std::string receiver = dir / "receiver";
    FakeControls controls;
    ConversionRun run;

    void SetUp() override
    {
        fs::create_directories(source);
        WriteFileBytes(source + "/a.jpg", NoisyJpeg(100, 1));
        WriteFileBytes(source + "/b.jpg", NoisyJpeg(100, 2));
        controls.Source = source;
        controls.Receiver = receiver;
        controls.Width = "100";
        controls.Height = "100";
        controls.Quality = "95";
    }
};

} // namespace

TEST_F(SafetyRun, FullDiskGivesTheSaveMessageAndKeepsTheOldOutput)
{
    SmallDisk disk(receiver);
    if (WhyNot why = disk.WhyNotMounted()) {
        GTEST_SKIP() << why;
    }
    WriteFileBytes(receiver + "/img0001.jpg", "the previous run's picture");
    ASSERT_TRUE(disk.FillLeaving(8192));

    ASSERT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    EXPECT_EQ(controls.Messages, std::vector<std::string>{SaveMessage + receiver});
    EXPECT_EQ(run.FailedSaves(), 2);
    ASSERT_EQ(controls.Reports.size(), 1u);
    EXPECT_EQ(controls.Reports[0].ProcessedText, "2"); // both pictures loaded; only their saves failed
    EXPECT_EQ(controls.Reports[0].SkippedText, "0");
    EXPECT_EQ(Lines(controls.Reports[0].Unwritten),
              (std::vector<std::string>{"img0001.jpg: не записан: нет места на устройстве",
                                        "img0002.jpg: не записан: нет места на устройстве"}));
    // Neither the partly written temporary file nor a new output is left; the old output is whole.
    EXPECT_EQ(Names(receiver), (std::set<std::string>{"filler", "img0001.jpg"}));
    EXPECT_EQ(ReadFileBytes(receiver + "/img0001.jpg"), "the previous run's picture");

    // With room again, the same run replaces the old output with a complete new one.
    fs::remove(receiver + "/filler");
    controls.Messages.clear();
    ASSERT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    EXPECT_TRUE(controls.Messages.empty());
    EXPECT_EQ(Names(receiver), (std::set<std::string>{"img0001.jpg", "img0002.jpg"}));
    const std::string replaced = ReadFileBytes(receiver + "/img0001.jpg");
    EXPECT_GT(replaced.size(), 8192u); // so the failed write above got part of the way
    EXPECT_EQ(replaced.substr(0, 2), "\xff\xd8");
    EXPECT_EQ(replaced.substr(replaced.size() - 2), "\xff\xd9");
}

TEST_F(SafetyRun, ReadOnlyReceiverGivesTheSaveMessageAndChangesNothing)
{
    SmallDisk disk(receiver);
    if (WhyNot why = disk.WhyNotMounted()) {
        GTEST_SKIP() << why;
    }
    WriteFileBytes(receiver + "/img0002.jpg", "kept");
    ASSERT_TRUE(disk.MakeReadOnly());

    ASSERT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    EXPECT_EQ(controls.Messages, std::vector<std::string>{SaveMessage + receiver});
    EXPECT_EQ(run.FailedSaves(), 2);
    ASSERT_EQ(controls.Reports.at(0).Unwritten.size(), 2u);
    EXPECT_EQ(Lines(controls.Reports[0].Unwritten)[1], "img0002.jpg: не записан: носитель только для чтения");
    EXPECT_EQ(Names(receiver), (std::set<std::string>{"img0002.jpg"}));
    EXPECT_EQ(ReadFileBytes(receiver + "/img0002.jpg"), "kept");
}

namespace {

// Fails every second save, the others are written as usual.
int writes = 0;
WriteResult FailEverySecondWrite(const std::string& path, const std::vector<uint8_t>& bytes)
{
    return ++writes % 2 == 0 ? WriteResult{false, MessageId::FaultDiskFull} : WriteFileAtomically(path, bytes);
}

} // namespace

TEST_F(SafetyRun, AFailedSaveKeepsItsNumberAndTheRunGoesOn)
{
    fs::create_directories(receiver);
    WriteFileBytes(source + "/c.jpg", NoisyJpeg(50, 3));
    WriteFileBytes(source + "/d.jpg", NoisyJpeg(50, 4));
    WriteFileBytes(receiver + "/img0002.jpg", "kept");
    writes = 0;
    ConversionRun run({.Jobs = 2}, {.Writer = &FailEverySecondWrite});

    ASSERT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    EXPECT_EQ(controls.Messages, std::vector<std::string>{SaveMessage + receiver});
    EXPECT_EQ(run.FailedSaves(), 2);
    EXPECT_EQ(controls.Reports.at(0).ProcessedText, "4");
    EXPECT_TRUE(controls.Reports.at(0).Files.empty());
    EXPECT_EQ(Lines(controls.Reports[0].Unwritten),
              (std::vector<std::string>{"img0002.jpg: не записан: нет места на устройстве",
                                        "img0004.jpg: не записан: нет места на устройстве"}));
    // Pictures 2 and 4 failed: their numbers are used up, the old file of number 2 stays as it was.
    EXPECT_EQ(Names(receiver), (std::set<std::string>{"img0001.jpg", "img0002.jpg", "img0003.jpg"}));
    EXPECT_EQ(ReadFileBytes(receiver + "/img0002.jpg"), "kept");
}

TEST(WriteFileAtomically, FailsWithoutLeavingAnythingBehind)
{
    TempDir dir;
    const std::vector<uint8_t> bytes(1000, 7);
    // No such folder.
    EXPECT_FALSE(WriteFileAtomically(dir / "missing/img0001.jpg", bytes));
    // The name is taken by a folder: the temporary file is written, the rename fails and it is removed.
    fs::create_directory(dir / "img0001.jpg");
    EXPECT_FALSE(WriteFileAtomically(dir / "img0001.jpg", bytes));
    EXPECT_EQ(Names(dir.Str()), (std::set<std::string>{"img0001.jpg"}));
    EXPECT_TRUE(fs::is_directory(dir / "img0001.jpg"));
    // A success leaves exactly the target, with all the bytes.
    EXPECT_TRUE(WriteFileAtomically(dir / "img0002.jpg", bytes));
    EXPECT_EQ(Names(dir.Str()), (std::set<std::string>{"img0001.jpg", "img0002.jpg"}));
    EXPECT_EQ(ReadFileBytes(dir / "img0002.jpg"), std::string(1000, 7));

    // A read-only file in a folder the user may write is not replaced behind the user's back (tried with an
    // ordinary user's rights: root may write anything).
    fs::permissions(dir.Path(), fs::perms::all);
    WriteFileBytes(dir / "img0003.jpg", "old");
    fs::permissions(dir / "img0003.jpg", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(AsOrdinaryUser([&] { return static_cast<bool>(WriteFileAtomically(dir / "img0003.jpg", bytes)); }),
              std::optional(false));
    EXPECT_EQ(ReadFileBytes(dir / "img0003.jpg"), "old");
    EXPECT_EQ(fs::status(dir / "img0003.jpg").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(Names(dir.Str()), (std::set<std::string>{"img0001.jpg", "img0002.jpg", "img0003.jpg"}));
}

// A file held for a moment (a virus scanner opens what was just written) is replaced once it is let go; one
// held for longer than the retries last is a failed save that keeps the old file and leaves nothing behind.
TEST(WriteFileAtomically, WaitsForAFileHeldForAMoment)
{
    if (WhyNot why = WhyNoFileHolds()) {
        GTEST_SKIP() << why;
    }
    TempDir dir;
    const std::vector<uint8_t> bytes(1000, 7);
    for (const auto& [milliseconds, written] : {std::pair{300, true}, std::pair{3000, false}}) {
        WriteFileBytes(dir / "img0001.jpg", "old");
        WriteResult result;
        {
            const FileHold hold(dir / "img0001.jpg", milliseconds);
            result = WriteFileAtomically(dir / "img0001.jpg", bytes);
        } // let go
        EXPECT_EQ(static_cast<bool>(result), written) << milliseconds;
        EXPECT_EQ(ReadFileBytes(dir / "img0001.jpg"), written ? std::string(1000, 7) : "old") << milliseconds;
        EXPECT_EQ(result.Reason.Empty(), written) << MessageText(result.Reason);
        EXPECT_EQ(Names(dir.Str()), std::set<std::string>{"img0001.jpg"}) << milliseconds;
    }
}

// One run per receiver: while another holds it, a run is refused with its message and writes nothing.
// Temporary files of a process that no longer runs (killed while writing) are removed at the start of a
// run; a live process's, and names merely like them, stay.
TEST_F(SafetyRun, OneRunPerReceiverAndLeftoversOfAKilledRunGo)
{
    fs::create_directories(receiver);
    const std::string mine = ".quorvane-" + std::to_string(getpid()) + "-7.tmp";
    for (const std::string& name :
         {std::string(".quorvane-999999999-3.tmp"), mine, std::string(".quorvane-999999999-3.tmpx"),
          std::string("x.quorvane-999999999-3.tmp"), std::string(".quorvane-999999999.tmp")}) {
        WriteFileBytes(receiver + "/" + name, "left");
    }
    {
        const auto other = FolderLock::Take(receiver);
        ASSERT_TRUE(other);
        EXPECT_EQ(run.StartCommand(controls), RunOutcome::Refused);
        EXPECT_EQ(controls.Messages, std::vector<std::string>{"В папку-приёмник уже пишет другой запуск: " + receiver});
        EXPECT_EQ(controls.HistoryCalls, 0);
        EXPECT_EQ(Names(receiver).size(), 5u);
    }
    ASSERT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    EXPECT_EQ(Names(receiver), (std::set<std::string>{mine, ".quorvane-999999999-3.tmpx", "x.quorvane-999999999-3.tmp",
                                                      ".quorvane-999999999.tmp", "img0001.jpg", "img0002.jpg"}));
}

// A source tree deeper than the system's path limit is walked and its pictures converted.
TEST_F(SafetyRun, PathsLongerThanTheSystemLimitAreWalked)
{
    fs::create_directories(receiver);
    const DeepFolders deep(source, std::string(200, 'd'), "deep.jpg", NoisyJpeg(60, 5));
    ASSERT_GT(deep.Path().size(), DeepFolders::Limit());

    ASSERT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    EXPECT_EQ(controls.Reports.at(0).TotalText, "3");
    EXPECT_EQ(controls.Reports[0].ProcessedText, "3");
    EXPECT_TRUE(controls.Reports[0].Files.empty());
    EXPECT_EQ(Names(receiver), (std::set<std::string>{"img0001.jpg", "img0002.jpg", "img0003.jpg"}));
}
