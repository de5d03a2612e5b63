// The generated bad-input corpus through the real command-line tool: every hostile, damaged or strange file
// is converted or skipped as it should be, the run always finishes with the right report, and no file makes
// the tool hang or grow without bound. Each file is run alone, and all of them in one run.

#include "platform/DirList.h"
#include "support/BadInputs.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

using namespace quorvane;

namespace fs = std::filesystem;
using TestFiles::BadInput;
using TestFiles::Outcome;

namespace {

// Safety limits per file: a hang or a runaway allocation fails the test instead of stalling the machine.
constexpr int SecondsPerFile = 10;
constexpr uint64_t AddressSpacePerRun = uint64_t{512} << 20;

// AddressSanitizer reserves terabytes of address space for its shadow, so no address-space limit can
// apply to a sanitized tool; the time limit still does.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

struct CliRun {
    int Status = -1; // exit status; -1 when killed
    bool TimedOut = false;
    std::string Out;
    std::string Err;
};

// Runs the tool with the arguments under the limits, its output captured in files of the folder.
CliRun RunLimited(const std::vector<std::string>& args, const std::string& folder, int seconds)
{
    const std::string outPath = folder + "/stdout.txt";
    const std::string errPath = folder + "/stderr.txt";
    std::vector<std::string> argv = {QUORVANE_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildOptions options;
    options.OutPath = outPath;
    options.ErrPath = errPath;
    options.Seconds = seconds;
    options.AddressSpace = Sanitized ? 0 : AddressSpacePerRun;
    const ChildResult child = RunChild(argv, options);
    CliRun run;
    run.Status = child.Status;
    run.TimedOut = child.TimedOut;
    run.Out = ReadFileBytes(outPath);
    run.Err = ReadFileBytes(errPath);
    return run;
}

std::string Report(size_t total, size_t processed, const std::vector<std::string>& skipped)
{
    std::string text = "Всего файлов(jpg, bmp): " + std::to_string(total) +
                       "\nОбработано: " + std::to_string(processed) +
                       "\nПропущено из-за ошибок: " + std::to_string(skipped.size()) + "\nПропущенные файлы\n";
    if (skipped.empty()) {
        return text + "Выполнено без ошибок\n";
    }
    for (const auto& path : skipped) {
        text += path + "\n";
    }
    return text;
}

// The report with its skipped lines sorted, since they follow the order the folder is listed in.
std::string SortedReport(const std::string& report)
{
    const std::string head = "Пропущенные файлы\n";
    const size_t at = report.find(head);
    if (at == std::string::npos) {
        return report;
    }
    std::vector<std::string> lines;
    std::string rest = report.substr(at + head.size());
    for (size_t start = 0; start < rest.size();) {
        const size_t end = rest.find('\n', start);
        lines.push_back(rest.substr(start, end - start));
        start = end == std::string::npos ? rest.size() : end + 1;
    }
    std::sort(lines.begin(), lines.end());
    std::string sorted = report.substr(0, at + head.size());
    for (const auto& line : lines) {
        sorted += line + "\n";
    }
    return sorted;
}

// Every file in the receiver is a complete JPEG of exactly the target size; returns their names.
std::vector<std::string> CheckOutputs(const std::string& receiver)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(receiver)) {
        const std::string name = entry.path().filename().string();
        names.push_back(name);
        const std::string bytes = ReadFileBytes(entry.path().string());
        Raster picture;
        JpegHeaderInfo info;
        EXPECT_TRUE(DecodeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), picture, info)) << name;
        EXPECT_EQ(picture.Width, 40) << name;
        EXPECT_EQ(picture.Height, 30) << name;
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> NumberedNames(size_t count)
{
    std::vector<std::string> names;
    for (size_t i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "img%04zu.jpg", i);
        names.push_back(name);
    }
    return names;
}

class BadInputs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { cases_ = new std::vector<BadInput>(TestFiles::MakeBadInputs()); }
    static void TearDownTestSuite()
    {
        delete cases_;
        cases_ = nullptr;
    }
    static const std::vector<BadInput>& Cases() { return *cases_; }

    TempDir dir;

  private:
    static std::vector<BadInput>* cases_;
};

std::vector<BadInput>* BadInputs::cases_ = nullptr;

std::vector<std::string> Arguments(const std::string& source, const std::string& receiver)
{
    return {"--source", source, "--receiver", receiver, "--width", "40", "--height", "30"};
}

} // namespace

TEST_F(BadInputs, CorpusCoversBothOutcomesWithDistinctNames)
{
    std::map<std::string, int> names;
    size_t converted = 0;
    for (const auto& c : Cases()) {
        ++names[c.Name];
        converted += c.Expected == Outcome::Converted ? 1 : 0;
    }
    EXPECT_EQ(names.size(), Cases().size());
    EXPECT_GT(converted, 30u);
    EXPECT_GT(Cases().size() - converted, 60u);
}

TEST_F(BadInputs, EachFileAloneIsConvertedOrSkipped)
{
    size_t index = 0;
    for (const auto& c : Cases()) {
        SCOPED_TRACE(c.Name);
        const std::string folder = dir / std::to_string(index++);
        const std::string in = folder + "/in";
        const std::string out = folder + "/out";
        fs::create_directories(in);
        fs::create_directories(out);
        WriteFileBytes(JoinPath(in, c.Name), c.Content);

        const CliRun run = RunLimited(Arguments(in, out), folder, SecondsPerFile);
        ASSERT_FALSE(run.TimedOut);
        EXPECT_EQ(run.Err, "");
        if (c.Expected == Outcome::Converted) {
            EXPECT_EQ(run.Status, 0);
            EXPECT_EQ(run.Out, Report(1, 1, {}));
            EXPECT_EQ(CheckOutputs(out), NumberedNames(1));
        } else {
            EXPECT_EQ(run.Status, 1);
            EXPECT_EQ(run.Out, Report(1, 0, {JoinPath(in, c.Name)}));
            EXPECT_EQ(CheckOutputs(out), NumberedNames(0));
        }
        fs::remove_all(folder);
    }
}

// All files in one run, spread over nested folders, with the receiver inside the source tree: the run
// reads none of its own outputs back, numbers the converted pictures without a gap, lists every
// skipped one once and, asked for it, names each one's reason.
TEST_F(BadInputs, AllFilesInOneRun)
{
    const std::string source = dir / "source";
    const std::string receiver = source + "/out";
    fs::create_directories(receiver);
    std::vector<std::string> skipped;
    size_t converted = 0;
    size_t index = 0;
    const std::string a = JoinPath(source, "a");
    for (const auto& c : Cases()) {
        const std::string folder = index % 3 == 0 ? source : index % 3 == 1 ? a : JoinPath(a, "b");
        ++index;
        fs::create_directories(folder);
        WriteFileBytes(JoinPath(folder, c.Name), c.Content);
        if (c.Expected == Outcome::Converted) {
            ++converted;
        } else {
            skipped.push_back(JoinPath(folder, c.Name));
        }
    }
    std::sort(skipped.begin(), skipped.end());

    std::vector<std::string> args = Arguments(source, receiver);
    args.push_back("--verbose");
    const CliRun run = RunLimited(args, dir.Str(), SecondsPerFile * static_cast<int>(Cases().size()));
    ASSERT_FALSE(run.TimedOut);
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(SortedReport(run.Out), Report(Cases().size(), converted, skipped));
    EXPECT_EQ(CheckOutputs(receiver), NumberedNames(converted));
    // One "PATH: reason" line per skipped file, plus one per output of this run the walk met.
    std::vector<std::string> named;
    std::istringstream lines(run.Err);
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.rfind(": ");
        ASSERT_NE(colon, std::string::npos) << line;
        ASSERT_LT(colon + 2, line.size()) << line;
        // Own outputs met by the walk and pictures converted with a warning are not skipped files.
        if (line.find("записан этим запуском") == std::string::npos && line.find("залита серым") == std::string::npos) {
            named.push_back(line.substr(0, line.find(": ", source.size())));
        }
    }
    std::sort(named.begin(), named.end());
    EXPECT_EQ(named, skipped);
}
