// An output is either the complete new file or what was there before: a full disk or a read-only receiver
// gives the save message, leaves no partial or temporary file and keeps an existing output intact. The
// failing receivers are real ones (a small tmpfs, which needs the right to mount) and, where they cannot
// be had, the run's replaceable writer.

#include "conversion/Conversion.h"
#include "conversion/RunSeams.h"
#include "platform/DirList.h"
#include "support/FakeControls.h"
#include "support/TestSupport.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <unistd.h>
#ifndef _WIN32
#include <sys/mount.h>
#include <sys/wait.h>
#endif

using namespace quorvane;

namespace fs = std::filesystem;

namespace {

const std::string SaveMessage = "Проверьте директорию: ";

#ifndef _WIN32 // a tmpfs of a few KiB
// A 64 KiB tmpfs mounted on a folder for the life of the object.
class SmallDisk {
  public:
    explicit SmallDisk(std::string path) : path_(std::move(path))
    {
        fs::create_directories(path_);
        mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted_) {
            umount2(path_.c_str(), MNT_DETACH);
        }
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return mounted_; }
    bool MakeReadOnly() { return mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k") == 0; }

    // Fills the disk but for about `spare` bytes, so a larger write gets part of the way and then fails.
    void FillLeaving(size_t spare)
    {
        const std::string spacer = path_ + "/spacer";
        WriteFileBytes(spacer, std::string(spare, 's'));
        const int fd = open((path_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        while (write(fd, block.data(), block.size()) > 0) {
        }
        EXPECT_EQ(errno, ENOSPC);
        close(fd);
        fs::remove(spacer);
    }

  private:
    std::string path_;
    bool mounted_ = false;
};
#endif

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

#ifndef _WIN32
TEST_F(SafetyRun, FullDiskGivesTheSaveMessageAndKeepsTheOldOutput)
{
    SmallDisk disk(receiver);
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    }
    WriteFileBytes(receiver + "/img0001.jpg", "the previous run's picture");
    disk.FillLeaving(8192);

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
#endif

#ifndef _WIN32
TEST_F(SafetyRun, ReadOnlyReceiverGivesTheSaveMessageAndChangesNothing)
{
    SmallDisk disk(receiver);
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
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
#endif

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

    // A read-only file in a folder the user may write is not replaced behind the user's back. Root may
    // write anything, so as root the write is tried by a child that has become an ordinary user.
    fs::permissions(dir.Path(), fs::perms::all);
    WriteFileBytes(dir / "img0003.jpg", "old");
    fs::permissions(dir / "img0003.jpg", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#ifdef _WIN32
    // The read-only attribute binds every user.
    EXPECT_FALSE(WriteFileAtomically(dir / "img0003.jpg", bytes));
#else
    const pid_t child = fork();
    if (child == 0) {
        const bool dropped = geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0);
        _exit(dropped && !WriteFileAtomically(dir / "img0003.jpg", bytes) ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#endif
    EXPECT_EQ(ReadFileBytes(dir / "img0003.jpg"), "old");
    EXPECT_EQ(fs::status(dir / "img0003.jpg").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(Names(dir.Str()), (std::set<std::string>{"img0001.jpg", "img0002.jpg", "img0003.jpg"}));
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
    const std::string part(200, 'd');
    std::string deep = source;
#ifdef _WIN32
    // 2 * 201 characters: past MAX_PATH (260). Such folders are made only through "\\?\" names.
    const std::string longForm = "\\\\?\\" + PathText(fs::absolute(FilePath(source)).make_preferred());
    std::string made = longForm;
    for (int level = 0; level < 2; ++level) {
        made += "\\" + part;
        deep += "\\" + part;
        ASSERT_TRUE(fs::create_directory(FilePath(made)));
    }
    WriteFileBytes(made + "\\deep.jpg", NoisyJpeg(60, 5));
    ASSERT_GT(deep.size(), size_t{260});
#else
    const std::string here = fs::current_path().string();
    ASSERT_EQ(chdir(source.c_str()), 0);
    for (int level = 0; level < 25; ++level) { // 25 * 201 characters: past PATH_MAX (4096)
        ASSERT_EQ(mkdir(part.c_str(), 0755), 0);
        ASSERT_EQ(chdir(part.c_str()), 0);
        deep += "/" + part;
    }
    WriteFileBytes("deep.jpg", NoisyJpeg(60, 5));
    ASSERT_EQ(chdir(here.c_str()), 0);
    ASSERT_GT(deep.size(), size_t{4096});
#endif

    ASSERT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    EXPECT_EQ(controls.Reports.at(0).TotalText, "3");
    EXPECT_EQ(controls.Reports[0].ProcessedText, "3");
    EXPECT_TRUE(controls.Reports[0].Files.empty());
    EXPECT_EQ(Names(receiver), (std::set<std::string>{"img0001.jpg", "img0002.jpg", "img0003.jpg"}));
    // The temporary folder's own removal cannot take such a path: empty the tree from its top (on Windows
    // one entry at a time, since the library's removal of a tree cannot walk "\\?\" names).
#ifdef _WIN32
    for (const std::string& entry : {made + "\\deep.jpg", made, longForm + "\\" + part}) {
        fs::remove(FilePath(entry));
    }
#else
    fs::remove_all(fs::path(source) / part);
#endif
}
