#include "conversion/Conversion.h"
#include "conversion/RunSeams.h"
#include "platform/EngineError.h"
#include "support/FakeControls.h"
#include "support/SystemKit.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace quorvane;

namespace fs = std::filesystem;

namespace {

struct RunFixture : ::testing::Test {
    TempDir dir;
    FakeControls controls;
    ConversionRun run;
    std::string in = dir / "in";
    std::string out = dir / "out";

    void SetUp() override
    {
        fs::create_directory(in);
        fs::create_directory(out);
        controls.Source = in;
        controls.Receiver = out;
    }

    void Picture(const std::string& path, int32_t w = 64, int32_t h = 48)
    {
        WriteFileBytes(path, MakeJpeg(MakeTestRaster(w, h, static_cast<uint32_t>(path.size()))));
    }

    std::set<std::string> Outputs() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(out)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    const RunReport& Report() const { return controls.Reports.at(0); }
};

// The paths of the files holding "broken" in walk order: listing order, each folder entered at its place in
// the listing, but for those in `notEntered`.
void Broken(const std::string& folder, const std::set<std::string>& notEntered, std::vector<std::string>& paths)
{
    for (const auto& entry : fs::directory_iterator(FilePath(folder))) {
        const std::string path = JoinPath(folder, PathText(entry.path().filename()));
        if (entry.is_directory()) {
            if (!notEntered.contains(path)) {
                Broken(path, notEntered, paths);
            }
        } else if (ReadFileBytes(path) == "broken") {
            paths.push_back(path);
        }
    }
}

// Records the folders the walk does not enter, as "FOLDER: why".
struct WalkControls : FakeControls {
    std::vector<std::string> NotEntered;
    void FolderNotEntered(const std::string& folder, const Message& why) override
    {
        NotEntered.push_back(folder + ": " + MessageText(why));
    }
};

} // namespace

TEST_F(RunFixture, InputTestsStopAtTheFirstEmptyBoxAndChangeNothing)
{
    const std::pair<std::string FakeControls::*, const char*> tests[] = {
        {&FakeControls::Source, "Не указан источник"},
        {&FakeControls::Receiver, "Не указан приёмник"},
        {&FakeControls::Width, "Не указана ширина"},
        {&FakeControls::Height, "Не указана высота"},
    };
    for (const auto& [box, message] : tests) {
        FakeControls c = controls;
        c.*box = "";
        EXPECT_EQ(run.StartCommand(c), RunOutcome::Refused);
        EXPECT_EQ(c.Messages, std::vector<std::string>{message});
        EXPECT_EQ(c.HistoryCalls, 0);
        EXPECT_TRUE(c.Progress.empty());
    }
    FakeControls blanks = controls;
    blanks.Source = "";
    blanks.Width = "";
    run.StartCommand(blanks);
    EXPECT_EQ(blanks.Messages, std::vector<std::string>{"Не указан источник"});
    EXPECT_EQ(run.State().TotalFiles, 0);
}

TEST_F(RunFixture, StartNumberMustConvert)
{
    controls.StartTicked = true;
    controls.StartNumber = "12a";
    EXPECT_EQ(run.StartCommand(controls), RunOutcome::Refused);
    EXPECT_EQ(controls.Messages, std::vector<std::string>{"Счётчик должен состоять из цифр"});
    EXPECT_EQ(controls.HistoryCalls, 0);

    controls.Messages.clear();
    controls.StartNumber = " 12";
    Picture(in + "/a.jpg");
    EXPECT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    EXPECT_EQ(Outputs(), std::set<std::string>{"img0012.jpg"});
    // An unticked box is not read, whatever it holds.
    controls.StartTicked = false;
    controls.StartNumber = "junk";
    EXPECT_EQ(run.StartCommand(controls), RunOutcome::Completed);
}

TEST_F(RunFixture, MissingOrBlankSourceGivesAnEmptyReport)
{
    for (const std::string& source : {dir / "nowhere", std::string("   ")}) {
        FakeControls c = controls;
        c.Source = source;
        EXPECT_EQ(run.StartCommand(c), RunOutcome::Completed);
        EXPECT_EQ(c.HistoryCalls, 1);
        ASSERT_EQ(c.Reports.size(), 1u);
        EXPECT_EQ(c.Reports[0].TotalText, "0");
        EXPECT_EQ(c.Reports[0].ProcessedText, "0");
        EXPECT_EQ(c.Reports[0].SkippedText, "0");
        EXPECT_TRUE(c.Reports[0].Files.empty());
    }
}

TEST_F(RunFixture, GaugeFollowsEachWrittenPictureThenTheReportThenZero)
{
    Picture(in + "/a.jpg");
    Picture(in + "/b.jpg");
    Picture(in + "/c.jpg");
    EXPECT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    EXPECT_EQ(controls.Progress, (std::vector<int32_t>{33, 66, 100, 100, 0}));
    EXPECT_EQ(controls.ProgressAtReport, std::vector<int32_t>{100});
    EXPECT_EQ(Outputs(), (std::set<std::string>{"img0001.jpg", "img0002.jpg", "img0003.jpg"}));
    EXPECT_EQ(Report().TotalText, "3");
    EXPECT_EQ(Report().ProcessedText, "3");
    // Everything is back to zero for the next run.
    EXPECT_EQ(run.State().FileNumber, 0);
    EXPECT_EQ(run.State().TotalFiles, 0);
    EXPECT_EQ(run.State().LoadedFiles, 0);
    EXPECT_TRUE(run.SkippedFiles().empty());
}

TEST_F(RunFixture, ExtensionsAreMatchedExactly)
{
    for (const char* name : {"a.Jpg", "b.jpe", "c.png", "noext", "jpg"}) {
        Picture(in + "/" + name);
    }
    Picture(in + "/d.JPEG");
    WriteFileBytes(in + "/e.bmp", MakeBmp24(MakeTestRaster(30, 20)));
    WriteFileBytes(in + "/f.BMP", MakeBmp24(MakeTestRaster(20, 30)));
    Picture(in + "/g.jpeg");
    Picture(in + "/h.JPG");
    run.StartCommand(controls);
    EXPECT_EQ(Report().TotalText, "5");
    EXPECT_EQ(Report().ProcessedText, "5");
    EXPECT_EQ(Outputs().size(), 5u);
}

// The walk goes depth first and enters every folder but a hidden one or a link (symbolic link, junction),
// naming each it leaves out. On Windows no other attribute keeps a folder out; on POSIX a folder is hidden
// by a name starting with a dot.
TEST_F(RunFixture, WalkIsDepthFirstAndEntersEveryFolderButAHiddenOneOrALink)
{
    fs::create_directories(in + "/sub/deeper");
    fs::create_directory(in + "/other");
    for (const char* name : {"/x.jpg", "/y.bmp", "/sub/s.jpg", "/sub/deeper/d.bmp", "/other/o.jpg"}) {
        WriteFileBytes(in + name, "broken");
    }
    fs::create_directory(dir / "elsewhere");
    Picture(dir / "elsewhere/l.jpg");
    const struct {
        const char* Name;
        uint32_t Attributes; // the reparse-point bit alone: a link to "elsewhere"
        const char* Why;     // why the walk leaves the folder out; nullptr: it enters, and converts its picture
    } folders[] = {
        {"read-only", 1, nullptr},
        {"archive", 32, nullptr},
        {"system", 4, nullptr},
        {"not-indexed", 0x2000, nullptr},
        {"hidden", Attr::Hidden, "скрытая папка, не просматривается"},
        {"link", Attr::ReparsePoint, "ссылка на папку, не просматривается"},
    };
    std::set<std::string> notEntered;
    std::vector<std::string> notes;
    size_t entered = 0;
    WhyNot noLink = nullptr;
    for (const auto& f : folders) {
        std::string folder = JoinPath(in, f.Name);
        if (f.Attributes == Attr::ReparsePoint) {
            if ((noLink = MakeFolderLink(dir / "elsewhere", folder)) != nullptr) {
                continue;
            }
        } else {
            folder = MakeFolder(in, f.Name, f.Attributes);
            Picture(folder + "/p.jpg");
        }
        if (f.Why == nullptr) {
            ++entered;
        } else {
            notEntered.insert(folder);
            notes.push_back(folder + ": " + f.Why);
        }
    }

    WalkControls seen;
    seen.Source = in;
    seen.Receiver = out;
    run.StartCommand(seen);
    std::vector<std::string> skipped;
    Broken(in, notEntered, skipped);
    EXPECT_EQ(Paths(seen.Reports.at(0).Files), skipped);
    EXPECT_EQ(seen.Reports[0].TotalText, std::to_string(5 + entered));
    EXPECT_EQ(seen.Reports[0].SkippedText, "5");
    EXPECT_EQ(Outputs().size(), entered);
    std::sort(seen.NotEntered.begin(), seen.NotEntered.end());
    std::sort(notes.begin(), notes.end());
    EXPECT_EQ(seen.NotEntered, notes);

    seen.Reports.clear();
    seen.NotEntered.clear();
    seen.Subfolders = false;
    run.StartCommand(seen);
    EXPECT_EQ(seen.Reports.at(0).TotalText, "2");
    EXPECT_EQ(seen.Reports[0].SkippedText, "2");
    EXPECT_TRUE(seen.NotEntered.empty());
    if (noLink != nullptr) {
        GTEST_SKIP() << "all but the link: " << noLink;
    }
}

TEST_F(RunFixture, FolderNamedLikeAPictureIsWalkedThenSkipped)
{
    fs::create_directory(in + "/pics.jpg");
    Picture(in + "/pics.jpg/inner.jpg");
    run.StartCommand(controls);
    EXPECT_EQ(Report().TotalText, "2");
    EXPECT_EQ(Report().ProcessedText, "1");
    EXPECT_EQ(Paths(Report().Files), std::vector<std::string>{JoinPath(in, "pics.jpg")});
}

TEST_F(RunFixture, SourceTextEndingInSeparatorDoublesItInSkippedPaths)
{
    WriteFileBytes(in + "/x.jpg", "");
    controls.Source = in + PathSeparator;
    run.StartCommand(controls);
    EXPECT_EQ(Paths(Report().Files), std::vector<std::string>{in + PathSeparator + PathSeparator + "x.jpg"});
    // The next run's report starts from an empty list again.
    controls.Reports.clear();
    fs::remove(in + "/x.jpg");
    run.StartCommand(controls);
    EXPECT_TRUE(Report().Files.empty());
}

TEST_F(RunFixture, EmptyBmpIsSkippedNotAnError)
{
    WriteFileBytes(in + "/empty.bmp", "");
    EXPECT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    EXPECT_EQ(Report().SkippedText, "1");
}

TEST_F(RunFixture, ProcessedCountDependsOnTheStartTick)
{
    Picture(in + "/a.jpg");
    Picture(in + "/b.jpg");
    controls.StartTicked = true;
    controls.StartNumber = "40";
    run.StartCommand(controls);
    EXPECT_EQ(Report().ProcessedText, "2"); // LoadedFiles, not the last number 41
    EXPECT_EQ(Outputs(), (std::set<std::string>{"img0040.jpg", "img0041.jpg"}));
}

TEST_F(RunFixture, BadWidthEndsTheRunOnlyOnceAPictureLoads)
{
    controls.Width = "abc";
    WriteFileBytes(in + "/broken.jpg", "x");
    EXPECT_EQ(run.StartCommand(controls), RunOutcome::Completed);

    Picture(in + "/good.jpg");
    controls.Reports.clear();
    controls.Progress.clear();
    try {
        run.StartCommand(controls);
        FAIL() << "the run should have ended with an error";
    } catch (const EngineError& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
    }
    EXPECT_TRUE(controls.Reports.empty());
    // The state does not leak into the next run.
    EXPECT_EQ(run.State().TotalFiles, 0);
    EXPECT_TRUE(run.SkippedFiles().empty());
    EXPECT_EQ(controls.Progress.back(), 0);
    EXPECT_TRUE(Outputs().empty());
}

TEST_F(RunFixture, SaveFailuresShowTheMessageAndCountAsProcessed)
{
    Picture(in + "/a.jpg");
    Picture(in + "/b.jpg");
    ConversionRun run({}, {.Writer = [](const std::string&, const std::vector<uint8_t>&) {
                          return WriteResult{false, MessageId::FaultFolderMissing};
                      }});
    run.StartCommand(controls);
    // The message once per run; every output not written listed with its reason; never "no errors".
    EXPECT_EQ(controls.Messages, std::vector<std::string>{"Проверьте директорию: " + out});
    EXPECT_EQ(Report().ProcessedText, "2");
    EXPECT_EQ(Report().SkippedText, "0");
    EXPECT_EQ(Lines(Report().Unwritten), (std::vector<std::string>{"img0001.jpg: не записан: папка не существует",
                                                                   "img0002.jpg: не записан: папка не существует"}));
    EXPECT_EQ(Report().Closing(), std::nullopt);
    EXPECT_EQ(run.FailedSaves(), 2);
    EXPECT_EQ(controls.Progress, (std::vector<int32_t>{100, 0}));
}

// A size the encoder cannot write is refused before anything is recorded or written, with one message
// that names it; a size that is no number is left to the run's conversion error.
TEST_F(RunFixture, UnusableTargetSizeIsRefusedBeforeTheRun)
{
    Picture(in + "/a.jpg");
    const std::pair<const char*, const char*> refused[] = {
        {"0", "220"}, {"176", "-1"}, {"65501", "10"}, {"$10", "65536"}, {"20000", "20000"}};
    for (const auto& [width, height] : refused) {
        FakeControls c = controls;
        c.Width = width;
        c.Height = height;
        EXPECT_EQ(run.StartCommand(c), RunOutcome::Refused) << width << "x" << height;
        ASSERT_EQ(c.Messages.size(), 1u);
        EXPECT_TRUE(c.Messages[0].starts_with("Недопустимый размер: ")) << c.Messages[0];
        EXPECT_EQ(c.HistoryCalls, 0);
    }
    EXPECT_TRUE(Outputs().empty());
    controls.Width = "0";
    controls.Height = "2400";
    run.StartCommand(controls);
    EXPECT_EQ(controls.Messages.at(0), "Недопустимый размер: 0×2400 (ширина и высота от 1 до 65500, не более "
                                       "268435456 пикселей)");
    controls.Width = "65500";
    controls.Height = "1";
    EXPECT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    controls.Width = "wide";
    EXPECT_THROW(run.StartCommand(controls), EngineError);
}

TEST_F(RunFixture, ExistingOutputIsReplacedAndAFolderInTheWayIsNot)
{
    Picture(in + "/a.jpg");
    Picture(in + "/b.jpg");
    WriteFileBytes(out + "/img0001.jpg", "old");
    fs::create_directory(out + "/img0002.jpg");
    run.StartCommand(controls);
    EXPECT_NE(ReadFileBytes(out + "/img0001.jpg"), "old");
    EXPECT_TRUE(fs::is_directory(out + "/img0002.jpg"));
    EXPECT_EQ(controls.Messages.size(), 1u);
    EXPECT_EQ(Outputs(), (std::set<std::string>{"img0001.jpg", "img0002.jpg"})); // no temporary left behind
}

TEST_F(RunFixture, ReceiverInsideTheSourceNeverFeedsOutputsBack)
{
    for (int i = 0; i < 6; ++i) {
        Picture(in + "/p" + std::to_string(i) + ".jpg");
    }
    for (int jobs : {1, 0}) {
        FakeControls c = controls;
        c.Receiver = in; // outputs land beside the sources, where the walk may meet them
        ConversionRun r({.Jobs = jobs});
        r.StartCommand(c);
        ASSERT_EQ(c.Reports.size(), 1u);
        EXPECT_EQ(c.Reports[0].ProcessedText, "6") << jobs;
        for (const auto& entry : fs::directory_iterator(in)) {
            if (entry.path().filename().string().starts_with("img")) {
                fs::remove(entry.path());
            }
        }
    }
}

TEST_F(RunFixture, ParallelRunEqualsOneAtATime)
{
    fs::create_directory(in + "/sub");
    for (int i = 0; i < 12; ++i) {
        Picture(in + (i % 3 ? "/p" : "/sub/p") + std::to_string(i) + ".jpg", 80 + i * 7, 60 + i * 3);
    }
    WriteFileBytes(in + "/bad.jpg", "x");
    WriteFileBytes(in + "/sub/bad.bmp", "BMx");
    std::vector<std::map<std::string, std::string>> results;
    std::vector<FakeControls> seen;
    for (int jobs : {1, 2, 4}) {
        fs::remove_all(out);
        fs::create_directory(out);
        fs::create_directory(out + "/img0005.jpg"); // one save fails, with its message in its place
        FakeControls c = controls;
        ConversionRun r({.Jobs = jobs});
        r.StartCommand(c);
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(out)) {
            if (entry.is_regular_file()) {
                files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
            }
        }
        results.push_back(files);
        seen.push_back(c);
    }
    for (size_t i = 1; i < results.size(); ++i) {
        EXPECT_EQ(results[i], results[0]);
        EXPECT_EQ(seen[i].Progress, seen[0].Progress);
        EXPECT_EQ(seen[i].Messages, seen[0].Messages);
        EXPECT_EQ(seen[i].Reports[0].Files, seen[0].Reports[0].Files);
        EXPECT_EQ(seen[i].Reports[0].ProcessedText, seen[0].Reports[0].ProcessedText);
    }
    EXPECT_EQ(results[0].size(), 11u);
    EXPECT_EQ(seen[0].Messages.size(), 1u);
}

TEST_F(RunFixture, ParallelRunEndsAtTheSameErrorAndWritesNothingBeyondIt)
{
    for (int i = 0; i < 8; ++i) {
        Picture(in + "/p" + std::to_string(i) + ".jpg");
    }
    for (int jobs : {1, 2}) {
        fs::remove_all(out);
        fs::create_directory(out);
        FakeControls c = controls;
        c.Quality = "bad";
        ConversionRun r({.Jobs = jobs});
        EXPECT_THROW(r.StartCommand(c), EngineError);
        EXPECT_TRUE(Outputs().empty());
        EXPECT_EQ(c.Progress, std::vector<int32_t>{0});
    }
}

TEST_F(RunFixture, PipeNamedLikeAPictureIsSkippedWithoutWaiting)
{
    if (WhyNot why = MakePipe(in + "/pipe.jpg")) {
        GTEST_SKIP() << why;
    }
    Picture(in + "/a.jpg");
    EXPECT_EQ(run.StartCommand(controls), RunOutcome::Completed);
    EXPECT_EQ(Paths(Report().Files), std::vector<std::string>{JoinPath(in, "pipe.jpg")});
    EXPECT_EQ(Report().ProcessedText, "1");
}

TEST(ErrorBoxText, AppendsAFullStopAfterCharactersSortingAfterIt)
{
    EXPECT_EQ(ErrorBoxText("'abc' is not a valid integer value"), "'abc' is not a valid integer value.");
    EXPECT_EQ(ErrorBoxText("Division by zero"), "Division by zero.");
    EXPECT_EQ(ErrorBoxText("done."), "done.");
    EXPECT_EQ(ErrorBoxText("(x)"), "(x)");
    EXPECT_EQ(ErrorBoxText(""), "");
}
