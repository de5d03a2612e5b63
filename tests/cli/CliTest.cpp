#include "cli/Cli.h"

#include "QuorvaneVersion.h"
#include "platform/DirList.h"
#include "platform/System.h"
#include "support/ChildProcess.h"
#include "support/PngFiles.h"
#include "support/SystemKit.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <thread>

using namespace quorvane;

namespace fs = std::filesystem;

namespace {

struct CliResult {
    int Status = -1;
    std::string Out;
    std::string Err;
};

struct Cli : ::testing::Test {
    TempDir dir;
    std::string in = dir / "in";
    std::string out = dir / "out";

    void SetUp() override
    {
        fs::create_directory(in);
        fs::create_directory(out);
    }

    // Runs the real command-line tool in the temporary folder as the current folder.
    CliResult Run(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {QUORVANE_CLI_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildOptions options;
        options.OutPath = dir / "stdout.txt";
        options.ErrPath = dir / "stderr.txt";
        options.Folder = dir.Str();
        CliResult result;
        result.Status = RunChild(argv, options).Status;
        result.Out = ReadFileBytes(dir / "stdout.txt");
        result.Err = ReadFileBytes(dir / "stderr.txt");
        return result;
    }

    std::vector<std::string> Base() const
    {
        return {"--source", in, "--receiver", out, "--width", "40", "--height", "30"};
    }

    std::vector<std::string> With(std::vector<std::string> extra) const
    {
        auto args = Base();
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    void Picture(const std::string& name, int32_t w = 64, int32_t h = 48)
    {
        WriteFileBytes(in + "/" + name, MakeJpeg(MakeTestRaster(w, h, static_cast<uint32_t>(name.size()))));
    }

    std::set<std::string> Outputs() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(out)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
};

} // namespace

TEST_F(Cli, CleanRunPrintsTheReportAndExitsZero)
{
    Picture("a.jpg");
    Picture("b.jpg");
    const CliResult result = Run(Base());
    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(result.Out, "Всего файлов(jpg, bmp): 2\nОбработано: 2\nПропущено из-за ошибок: 0\nПропущенные файлы\n"
                          "Выполнено без ошибок\n");
    EXPECT_EQ(result.Err, ""); // not a terminal: no gauge
    EXPECT_EQ(Outputs(), (std::set<std::string>{"img0001.jpg", "img0002.jpg"}));
    // The tool's own text files are neither read nor written.
    for (const char* name : {"source.ini", "receiver.ini", "quorvane.ini"}) {
        EXPECT_FALSE(fs::exists(dir / name)) << name;
    }
}

TEST_F(Cli, SkippedPicturesAndFailedSavesExitOne)
{
    Picture("a.jpg");
    WriteFileBytes(in + "/bad.bmp", "BM");
    CliResult result = Run(Base());
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Out, "Всего файлов(jpg, bmp): 2\nОбработано: 1\nПропущено из-за ошибок: 1\nПропущенные файлы\n" +
                              JoinPath(in, "bad.bmp") + "\n");

    fs::remove(in + "/bad.bmp");
    // A receiver that is no folder is refused before the run.
    result = Run({"--source", in, "--receiver", dir / "missing", "--width", "40", "--height", "30"});
    EXPECT_EQ(result.Status, 2);
    EXPECT_EQ(result.Err, "Проверьте директорию: " + (dir / "missing") + "\n");
    EXPECT_EQ(result.Out, "");
}

TEST_F(Cli, RefusalsAndErrorsExitTwo)
{
    CliResult result = Run({"--receiver", out, "--width", "1", "--height", "1"});
    EXPECT_EQ(result.Status, 2);
    EXPECT_EQ(result.Err, "Не указан источник\n");
    EXPECT_EQ(result.Out, "");

    result = Run(With({"--start", "12a"}));
    EXPECT_EQ(result.Status, 2);
    EXPECT_EQ(result.Err, "Счётчик должен состоять из цифр\n");

    Picture("a.jpg");
    result = Run({"--source", in, "--receiver", out, "--width", "abc", "--height", "30"});
    EXPECT_EQ(result.Status, 2);
    EXPECT_EQ(result.Err, "'abc' is not a valid integer value.\n");
    EXPECT_EQ(result.Out, "");
}

TEST_F(Cli, MalformedCommandLinesExitSixtyFour)
{
    for (const auto& args : std::vector<std::vector<std::string>>{{"--bogus"},
                                                                  {"--source"},
                                                                  {"stray"},
                                                                  {"--no-subfolders=yes"},
                                                                  {"--jobs", "0"},
                                                                  {"--memory", "8"},
                                                                  {"--formats", "jpeg,gif"},
                                                                  {"--formats="},
                                                                  {"--crop", "1.5"},
                                                                  {"--version=1"}}) {
        const CliResult result = Run(args);
        EXPECT_EQ(result.Status, 64) << args[0];
        EXPECT_NE(result.Err.find("Запуск: quorvane-cli"), std::string::npos);
    }
    const CliResult help = Run({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_EQ(help.Out.rfind("Запуск: quorvane-cli", 0), 0u);
    // The example names folders in the system's own form.
    EXPECT_NE(help.Out.find("--source " + ExamplePathUnderHome("Photos") + " "), std::string::npos);
}

// A picture red on its left half and blue on its right, cut to a narrow target: the crop position says which
// part is kept, a crop file's line overrides it for its picture, and a crop file that cannot be used
// refuses the run.
TEST_F(Cli, CropPositionsChooseWhatIsKept)
{
    Raster halves(120, 40);
    for (int32_t y = 0; y < 40; ++y) {
        for (int32_t x = 0; x < 120; ++x) {
            halves.Row(y)[3 * x + (x < 60 ? 0 : 2)] = 255;
        }
    }
    // Paths as the run forms them, and the report writes them.
    const std::string picture = JoinPath(in, "a.jpg");
    WriteFileBytes(picture, MakeJpeg(halves, 95));
    WriteFileBytes(dir / "crops.txt", "# position, path\n\n1 " + picture + "\r\n0 " + JoinPath(in, "other.jpg") + "\n");
    WriteFileBytes(dir / "bad.txt", "0.5 " + picture + "\n0.5\n");
    struct Case {
        std::vector<std::string> Extra;
        int Status;
        char Kept; // 'r', 'b', or '-' for no output
    };
    const Case cases[] = {
        {{"--crop", "start"}, 0, 'r'},
        {{"--crop", "0,2"}, 0, 'r'},
        {{"--crop", "end"}, 0, 'b'},
        {{"--crop", "start", "--crop-file", dir / "crops.txt"}, 0, 'b'},
        {{"--crop-file", dir / "bad.txt"}, 2, '-'},
        {{"--crop-file", dir / "missing.txt"}, 2, '-'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Extra.back());
        fs::remove_all(out);
        fs::create_directory(out);
        auto args = c.Extra;
        args.insert(args.begin(), {"--source", in, "--receiver", out, "--width", "20", "--height", "40"});
        const CliResult result = Run(args);
        EXPECT_EQ(result.Status, c.Status) << result.Err;
        if (c.Kept == '-') {
            EXPECT_TRUE(Outputs().empty());
            EXPECT_NE(result.Err.find(c.Extra.back() == dir / "bad.txt" ? "строка 2" : "не читается"),
                      std::string::npos);
            continue;
        }
        const std::string bytes = ReadFileBytes(out + "/img0001.jpg");
        Raster kept;
        JpegHeaderInfo info;
        ASSERT_TRUE(DecodeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), kept, info));
        const uint8_t* middle = kept.Row(20) + 3 * 10;
        EXPECT_EQ(middle[0] > 200 ? 'r' : middle[2] > 200 ? 'b' : '?', c.Kept);
    }
}

// The listing names the part each picture keeps and writes nothing; its lines, used as a crop file, give
// the run that listed them.
TEST_F(Cli, ListCropsWritesNothingAndServesAsACropFile)
{
    Picture("a.jpg", 120, 40);
    WriteFileBytes(in + "/b.jpg", "not a picture");
    const CliResult listing =
        Run({"--source", in, "--width", "20", "--height", "40", "--crop", "0.25", "--list-crops"});
    EXPECT_EQ(listing.Status, 1);
    EXPECT_NE(listing.Out.find("# остаётся 25,0 20x40 из 120x40\n0.25 " + JoinPath(in, "a.jpg") + "\n"),
              std::string::npos)
        << listing.Out;
    EXPECT_NE(listing.Out.find("# " + JoinPath(in, "b.jpg") + ": JPEG: "), std::string::npos);
    EXPECT_TRUE(Outputs().empty());
    fs::remove(in + "/b.jpg");
    WriteFileBytes(dir / "listed.txt", listing.Out);
    ASSERT_EQ(Run(With({"--width", "20", "--height", "40", "--crop", "0.25"})).Status, 0);
    const std::string positioned = ReadFileBytes(out + "/img0001.jpg");
    fs::remove(out + "/img0001.jpg");
    ASSERT_EQ(Run(With({"--width", "20", "--height", "40", "--crop-file", dir / "listed.txt"})).Status, 0);
    EXPECT_EQ(ReadFileBytes(out + "/img0001.jpg"), positioned);
}

// A smart run writes what a run of its own listing writes, whatever the picture's kind (a subject off the
// centre, progressive, grayscale, a tall picture cropped on its height), and the listing names numbers.
TEST_F(Cli, SmartRunEqualsTheRunOfItsListing)
{
    const struct {
        const char* name;
        int32_t w, h;
        int32_t subjectX, subjectY; // a bright patch on a dark, quiet ground
        bool progressive, grayscale;
    } pictures[] = {
        {"left.jpg", 400, 200, 40, 100, false, false},
        {"right.jpg", 300, 200, 250, 80, true, false},
        {"gray.jpg", 320, 180, 60, 90, false, true},
        {"tall.jpg", 120, 900, 60, 800, false, false},
    };
    for (const auto& p : pictures) {
        Raster raster(p.w, p.h, 30);
        for (int32_t y = std::max(0, p.subjectY - 25); y < std::min(p.h, p.subjectY + 25); ++y) {
            for (int32_t x = std::max(0, p.subjectX - 25); x < std::min(p.w, p.subjectX + 25); ++x) {
                uint8_t* px = raster.Row(y) + 3 * x;
                px[0] = static_cast<uint8_t>(200 + (x * 7 + y * 3) % 50);
                px[1] = static_cast<uint8_t>(120 + (x * 11) % 80);
                px[2] = static_cast<uint8_t>(90 + (y * 13) % 60);
            }
        }
        WriteFileBytes(JoinPath(in, p.name), MakeJpeg(raster, 90, p.progressive, p.grayscale));
    }
    const std::vector<std::string> size = {"--width", "40", "--height", "90", "--jobs", "2"};
    auto args = [&](std::vector<std::string> extra) {
        std::vector<std::string> all = {"--source", in, "--receiver", out};
        all.insert(all.end(), size.begin(), size.end());
        all.insert(all.end(), extra.begin(), extra.end());
        return all;
    };
    const CliResult listing =
        Run({"--source", in, "--width", "40", "--height", "90", "--crop", "smart", "--list-crops"});
    ASSERT_EQ(listing.Status, 0) << listing.Err;
    EXPECT_EQ(listing.Out.find("smart"), std::string::npos) << listing.Out;
    EXPECT_EQ(listing.Out.find("\n0.5 " + JoinPath(in, "left.jpg")), std::string::npos) << listing.Out;
    WriteFileBytes(dir / "listed.txt", listing.Out);
    ASSERT_EQ(Run(args({"--crop", "smart"})).Status, 0);
    std::map<std::string, std::string> smart;
    for (const std::string& name : Outputs()) {
        smart[name] = ReadFileBytes(out + "/" + name);
        fs::remove(out + "/" + name);
    }
    ASSERT_EQ(smart.size(), 4u);
    ASSERT_EQ(Run(args({"--crop-file", dir / "listed.txt"})).Status, 0);
    for (const auto& [name, bytes] : smart) {
        EXPECT_EQ(ReadFileBytes(out + "/" + name), bytes) << name;
    }
}

TEST_F(Cli, NamingOptionsActLikeTheWindowsBoxes)
{
    Picture("a.jpg");
    Run(With({"--prefix=photo0", "--digits=1"}));
    Run(With({"--digits", "9", "--prefix", "one"}));
    Run(With({"--digits", "abc", "--prefix", "four"}));
    Run(With({"--start", "-5", "--prefix", "neg"}));
    EXPECT_EQ(Outputs(), (std::set<std::string>{"photo01.jpg", "one1.jpg", "four0001.jpg", "neg00-5.jpg"}));
}

TEST_F(Cli, QualityTextIsTakenAsTheBoxWouldHoldIt)
{
    Picture("a.jpg");
    auto bytesAt = [&](const std::string& quality) {
        fs::remove_all(out);
        fs::create_directory(out);
        std::vector<std::string> args = Base();
        if (!quality.empty()) {
            args.insert(args.end(), {"--quality", quality});
        }
        EXPECT_EQ(Run(args).Status, 0) << quality;
        return ReadFileBytes(out + "/img0001.jpg");
    };
    // Taken within 0..100.
    EXPECT_EQ(bytesAt("300"), bytesAt("100"));
    EXPECT_EQ(bytesAt("-5"), bytesAt("0"));
    EXPECT_EQ(bytesAt("abc"), bytesAt(""));
    EXPECT_EQ(bytesAt("60"), bytesAt(""));
    EXPECT_EQ(bytesAt("0"), bytesAt("1"));
    EXPECT_NE(bytesAt("90"), bytesAt("60"));
}

TEST_F(Cli, NoSubfoldersKeepsToTheSourceFolder)
{
    fs::create_directory(in + "/sub");
    Picture("a.jpg");
    Picture("sub/b.jpg");
    EXPECT_NE(Run(Base()).Out.find("Всего файлов(jpg, bmp): 2\n"), std::string::npos);
    EXPECT_NE(Run(With({"--no-subfolders"})).Out.find("Всего файлов(jpg, bmp): 1\n"), std::string::npos);
}

// The formats counted follow --formats and --all-formats: the others' files are not even counted, the
// caption names what was, and a JPEG named as another format converts as the JPEG it is.
TEST_F(Cli, FormatsChooseWhatIsCounted)
{
    Picture("a.jpg");
    Picture("b.Jpg"); // never a picture: JPEG's extensions keep their exact case
    Picture("c.HEIC");
    WriteFileBytes(in + "/d.PNG", TestFiles::BuildPng(MakeTestRaster(64, 48, 3)));
    WriteFileBytes(in + "/e.webp", "RIFF");
    const struct {
        std::vector<std::string> Args;
        std::string Caption;
        size_t Outputs;
    } cases[] = {
        {{}, "Всего файлов(jpg, bmp): 1\n", 1},
        {{"--formats", "jpeg,bmp"}, "Всего файлов(jpg, bmp): 1\n", 1},
        {{"--formats", " PNG , heic"}, "Всего файлов(heic, png): 2\n", 2},
        {{"--all-formats"}, "Всего файлов(jpg, bmp, heic, avif, webp, png): 4\n", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Caption);
        fs::remove_all(out);
        fs::create_directory(out);
        const CliResult result = Run(With(c.Args));
        EXPECT_EQ(result.Out.substr(0, result.Out.find('\n') + 1), c.Caption);
        EXPECT_EQ(Outputs().size(), c.Outputs);
    }
}

TEST_F(Cli, OutputHasExactlyTheTargetSize)
{
    Picture("wide.jpg", 300, 100);
    Picture("tall.jpg", 90, 400);
    WriteFileBytes(in + "/c.bmp", MakeBmp24(MakeTestRaster(77, 77)));
    EXPECT_EQ(Run(With({"--jobs", "1"})).Status, 0);
    for (const auto& name : Outputs()) {
        const std::string bytes = ReadFileBytes(out + "/" + name);
        // SOF0 carries height and width at fixed offsets after the marker.
        const size_t sof = bytes.find("\xff\xc0");
        ASSERT_NE(sof, std::string::npos) << name;
        const auto u16 = [&](size_t at) {
            return (static_cast<unsigned char>(bytes[at]) << 8) | static_cast<unsigned char>(bytes[at + 1]);
        };
        EXPECT_EQ(u16(sof + 5), 30) << name;
        EXPECT_EQ(u16(sof + 7), 40) << name;
    }
}

namespace {

// Runs the tool as a child with its output in files of the folder; `whileRunning` gets its process id.
ChildResult Spawn(const std::vector<std::string>& args, const std::string& folder,
                  const std::function<void(int64_t)>& whileRunning = {})
{
    std::vector<std::string> argv = {QUORVANE_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildOptions options;
    options.OutPath = folder + "/stdout.txt";
    options.ErrPath = folder + "/stderr.txt";
    options.WhileRunning = whileRunning;
    return RunChild(argv, options);
}

} // namespace

// The percentage line on a terminal is closed before the report and never drawn again after it, and an
// error that ends the run does not show the gauge's reset to 0.
TEST_F(Cli, TerminalGaugeEndsBeforeTheReport)
{
    Picture("a.jpg");
    Picture("b.jpg");
    std::ostringstream report;
    std::ostringstream terminal;
    EXPECT_EQ(RunCli(Base(), report, terminal, true), 0);
    EXPECT_EQ(terminal.str(), "\r50%\r100%\n");
    std::ostringstream refused;
    EXPECT_EQ(RunCli(With({"--width", "x"}), report, refused, true), 2);
    EXPECT_EQ(refused.str(), "'x' is not a valid integer value.\n");
    const CliResult version = Run({"--version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out, std::string("quorvane-cli ") + QUORVANE_VERSION +
                               "\nLicence: GPL-3.0-or-later; third-party notices in THIRD-PARTY-NOTICES.txt beside the "
                               "program (Debian: /usr/share/doc/quorvane/copyright)\n");
}

// Ctrl-C stops the run after the picture being written: the report of what was done is printed, no
// temporary file remains, every output there is is complete, and the exit status is 130.
TEST_F(Cli, InterruptStopsCleanlyWithTheReportSoFar)
{
    if (WhyNot why = WhyNoChildInterrupts()) {
        GTEST_SKIP() << why;
    }
    for (int i = 0; i < 60; ++i) {
        Picture(std::string("p") + std::to_string(100 + i) + ".jpg", 900, 700);
    }
    const ChildResult child =
        Spawn(With({"--width", "1080", "--height", "2400", "--jobs", "2"}), dir.Str(), [&](int64_t pid) {
            for (int wait = 0; wait < 2000 && Outputs().size() < 2; ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            InterruptChild(pid);
        });
    EXPECT_EQ(child.Status, 130);
    // The report keeps the counted total and says how many pictures the stop left undone; every output
    // that was started was written.
    const std::string report = ReadFileBytes(dir / "stdout.txt");
    const auto names = Outputs();
    EXPECT_LT(names.size(), 60u);
    const std::string done = std::to_string(names.size());
    EXPECT_EQ(report, "Всего файлов(jpg, bmp): 60\nОбработано: " + done +
                          "\nПропущено из-за ошибок: 0\nПропущенные файлы\nПрервано: не обработано файлов: " +
                          std::to_string(60 - names.size()) + "\n");
    for (const std::string& name : names) {
        ASSERT_TRUE(name.starts_with("img") && name.ends_with(".jpg")) << name;
        const std::string bytes = ReadFileBytes(out + "/" + name);
        Raster decoded;
        JpegHeaderInfo info;
        EXPECT_TRUE(DecodeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), decoded, info)) << name;
    }
}

// A run at --jobs 8 over pictures that do not all fit in its budget at once stays within the budget plus
// the program's own memory: equal 36 MB BMPs, and progressive full-colour JPEGs of different sizes, each
// holding all its coefficients while it is read.
TEST_F(Cli, LargePicturesStayWithinTheMemoryBudget)
{
    if (WhyNot why = WhyNoPeakMemory()) {
        GTEST_SKIP() << why;
    }
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own memory hides the tool's";
#endif
    struct Case {
        const char* Kind;
        std::vector<std::pair<int32_t, int32_t>> Sizes;
        int MemoryMiB;
        int SlackMiB;
    };
    const Case cases[] = {
        {"bmp", {{4000, 3000}, {4000, 3000}, {4000, 3000}, {4000, 3000}}, 128, 48},
        {"jpg", {{2400, 1800}, {1800, 1350}, {2200, 1650}, {1600, 1200}, {2400, 1600}, {2000, 2000}}, 64, 12},
    };
    for (const Case& c : cases) {
        fs::remove_all(in);
        fs::remove_all(out);
        fs::create_directory(in);
        fs::create_directory(out);
        for (size_t i = 0; i < c.Sizes.size(); ++i) {
            const Raster photo = MakeTestRaster(c.Sizes[i].first, c.Sizes[i].second, static_cast<uint32_t>(3 + i));
            WriteFileBytes(in + "/large" + std::to_string(i) + "." + c.Kind,
                           c.Kind == std::string("bmp") ? MakeBmp24(photo) : MakeJpeg(photo, 90, true, false, 1, 1));
        }
        const ChildResult child =
            Spawn(With({"--width", "1080", "--height", "2400", "--jobs", "8", "--memory", std::to_string(c.MemoryMiB)}),
                  dir.Str());
        EXPECT_EQ(child.Status, 0) << c.Kind;
        EXPECT_EQ(Outputs().size(), c.Sizes.size()) << c.Kind;
        EXPECT_LE(child.PeakKiB, (c.MemoryMiB + c.SlackMiB) * 1024) << c.Kind;
    }
}

// Names are printed as one readable line whatever bytes they hold, and a report that cannot be written
// (a full disk) is no success.
TEST_F(Cli, ReportLinesAreEscapedAndAnUnwrittenReportFails)
{
    if (WhyNot why = WhyNoControlCharactersInNames()) {
        GTEST_SKIP() << why;
    }
    const std::string name = "bad\x1b[2J\n\xc2\x9b\xe2\x80\xa8.jpg";
    WriteFileBytes(in + "/" + name, "not a picture");
    const CliResult result = Run(With({"--verbose"}));
    EXPECT_EQ(result.Status, 1);
    const std::string shown = in + "/bad\\x1b[2J\\n\\x9b\\u2028.jpg";
    EXPECT_NE(result.Out.find("Пропущенные файлы\n" + shown + "\n"), std::string::npos) << result.Out;
    EXPECT_EQ(result.Err.rfind(shown + ": ", 0), 0u) << result.Err;

    if (WhyNot why = WhyNoFullDevice()) {
        GTEST_SKIP() << why;
    }
    fs::remove(in + "/" + name);
    Picture("a.jpg");
    std::vector<std::string> argv = {QUORVANE_CLI_PATH};
    const std::vector<std::string> args = Base();
    argv.insert(argv.end(), args.begin(), args.end());
    ChildOptions options;
    options.OutPath = FullDevice();
    options.ErrPath = NullDevice();
    EXPECT_EQ(RunChild(argv, options).Status, 2);
}

// Folder names in any script reach the tool whole, also outside Windows' 8-bit code page, and come back
// in the report as they were given.
TEST_F(Cli, NamesInAnyScriptPassTheCommandLine)
{
    const std::string source = JoinPath(in, "Фото ✓ 写真");
    const std::string receiver = JoinPath(out, "Обои");
    fs::create_directory(FilePath(source));
    fs::create_directory(FilePath(receiver));
    WriteFileBytes(JoinPath(source, "снимок.jpg"), MakeJpeg(MakeTestRaster(50, 40)));
    WriteFileBytes(JoinPath(source, "пусто.bmp"), "");
    const CliResult result = Run({"--source", source, "--receiver", receiver, "--width", "40", "--height", "30"});
    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Out.find("Пропущенные файлы\n" + JoinPath(source, "пусто.bmp") + "\n"), std::string::npos)
        << result.Out;
    EXPECT_TRUE(fs::exists(FilePath(JoinPath(receiver, "img0001.jpg"))));
}

// A source folder that cannot be listed is an error of the command line, not an empty success: no report.
TEST_F(Cli, AnUnreadableSourceExitsTwo)
{
    const CliResult result = Run({"--source", dir / "nowhere", "--receiver", out, "--width", "40", "--height", "30"});
    EXPECT_EQ(result.Status, 2);
    EXPECT_EQ(result.Err, "quorvane-cli: папка-источник не читается: " + (dir / "nowhere") + ": папки нет\n");
    EXPECT_EQ(result.Out, "");
}

// Every line is in one language: the report, the reasons, the tool's own words and its help.
TEST_F(Cli, EveryLineSpeaksTheChosenLanguage)
{
    WriteFileBytes(in + "/empty.jpg", "");
    const std::vector<std::string> run = With({"--verbose"});
    const std::vector<std::string> missing = {"--source", dir / "nowhere", "--receiver", out, "--width",
                                              "4",        "--height",      "3"};
    struct Case {
        std::vector<std::string> args;
        Language language;
        int status;
        std::string out, err;
    };
    const std::string empty = JoinPath(in, "empty.jpg");
    for (const Case& c : std::vector<Case>{
             {run, Language::English, 1,
              "Total files (jpg, bmp): 1\nProcessed: 0\nSkipped for errors: 1\nSkipped files\n" + empty + "\n",
              empty + ": the file is empty\n"},
             {run, Language::Russian, 1,
              "Всего файлов(jpg, bmp): 1\nОбработано: 0\nПропущено из-за ошибок: 1\nПропущенные файлы\n" + empty + "\n",
              empty + ": файл пуст\n"},
             {missing, Language::English, 2, "",
              "quorvane-cli: the source folder cannot be read: " + (dir / "nowhere") + ": no such folder\n"},
             {{"--jobs", "x"},
              Language::English,
              64,
              "",
              "quorvane-cli: --jobs needs a number from 1 to 256\n\nUsage:"},
         }) {
        std::ostringstream report, messages;
        EXPECT_EQ(RunCli(c.args, report, messages, false, nullptr, c.language), c.status) << c.out;
        EXPECT_EQ(report.str(), c.out);
        EXPECT_EQ(messages.str().substr(0, c.err.size()), c.err);
    }
}
