// The generated bad-input corpus through the real command-line tool: every hostile, damaged or strange file
// is converted or skipped as it should be, the run always finishes with the right report, and no file makes
// the tool hang or grow without bound. Each file is run alone, and all of them in one run.

#include "picture/LoadError.h"
#include "platform/DirList.h"
#include "support/BadInputs.h"
#include "support/ChildProcess.h"
#include "support/ColourProfiles.h"
#include "support/PngFiles.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
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

std::string Report(size_t total, size_t processed, const std::vector<std::string>& skipped,
                   const std::string& counted = "jpg, bmp")
{
    std::string text = std::string("Всего файлов(") + counted + "): " + std::to_string(total) +
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

namespace {

using TestFiles::Bytes;

uint32_t Crc32(const uint8_t* bytes, size_t size)
{
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
        }
    }
    return ~crc;
}

void PutBig32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes.at(at + i) = static_cast<uint8_t>(value >> (24 - 8 * i));
    }
}

// The PNG with the data of its first chunk of the type replaced, its length and CRC made right.
Bytes WithChunk(const Bytes& png, const char* type, const Bytes& data)
{
    const size_t at = std::string(png.begin(), png.end()).find(type) - 4;
    uint32_t length = 0;
    for (int i = 0; i < 4; ++i) {
        length = length << 8 | png.at(at + i);
    }
    Bytes out(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(at));
    out.resize(out.size() + 8);
    PutBig32(out, at, static_cast<uint32_t>(data.size()));
    std::copy(type, type + 4, out.begin() + static_cast<std::ptrdiff_t>(at + 4));
    out.insert(out.end(), data.begin(), data.end());
    out.resize(out.size() + 4);
    PutBig32(out, out.size() - 4, Crc32(out.data() + at + 4, data.size() + 4));
    out.insert(out.end(), png.begin() + static_cast<std::ptrdiff_t>(at + 12 + length), png.end());
    return out;
}

struct FormatCase {
    std::string Name;
    Bytes Content;
    std::optional<LoadReason> Reason; // none: converted
};

std::vector<FormatCase> FormatCases()
{
    std::vector<FormatCase> cases;
    for (const char* kind : {"heif", "webp"}) {
        for (const auto& entry : fs::directory_iterator(std::string(QUORVANE_TEST_DATA) + "/" + kind)) {
            const std::string name = entry.path().filename().string();
            const std::string extension = entry.path().extension().string();
            if (extension == ".heic" || extension == ".avif" || extension == ".webp") {
                const std::string bytes = ReadFileBytes(entry.path().string());
                cases.push_back({name, Bytes(bytes.begin(), bytes.end()), std::nullopt});
            }
        }
    }
    // What the samples that are not converted make of the run; a sample missing here is converted.
    const std::map<std::string, LoadReason> refused = {
        {"cut-ftyp.heic", LoadReason::HeifCutShort},     {"cut-meta.heic", LoadReason::HeifCutShort},
        {"cut-mdat.heic", LoadReason::HeifCutShort},     {"empty-mdat.heic", LoadReason::HeifCutShort},
        {"brand.heic", LoadReason::HeifNotHeif},         {"no-primary.heic", LoadReason::HeifNoImage},
        {"no-pitm.heic", LoadReason::HeifNoImage},       {"codec.heic", LoadReason::HeifCodec},
        {"huge-ispe.heic", LoadReason::PictureSize},     {"wide-ispe.heic", LoadReason::PictureSize},
        {"grid-claims.heic", LoadReason::HeifDamaged},   {"grid-holes.heic", LoadReason::HeifDamaged},
        {"grid-outside.heic", LoadReason::HeifDamaged},  {"grid-huge-tiles.heic", LoadReason::PictureSize},
        {"grid-of-grids.heic", LoadReason::HeifDamaged}, {"cut-riff.webp", LoadReason::WebpCutShort},
        {"cut-header.webp", LoadReason::WebpCutShort},   {"cut-half.webp", LoadReason::WebpCutShort},
        {"cut-end.webp", LoadReason::WebpCutShort},      {"riff-long.webp", LoadReason::WebpCutShort},
        {"riff-short.webp", LoadReason::WebpDamaged},    {"riff-tiny.webp", LoadReason::WebpDamaged},
        {"huge-canvas.webp", LoadReason::PictureSize},   {"wide-canvas.webp", LoadReason::PictureSize},
        {"flags.webp", LoadReason::WebpDamaged},         {"no-frame.webp", LoadReason::WebpDamaged},
        {"frame-outside.webp", LoadReason::WebpDamaged}, {"vp8-signature.webp", LoadReason::WebpDamaged},
        {"vp8l-damaged.webp", LoadReason::WebpDamaged},  {"wave.webp", LoadReason::WebpNotWebp},
    };
    size_t named = 0;
    for (auto& c : cases) {
        if (const auto it = refused.find(c.Name); it != refused.end()) {
            c.Reason = it->second;
            ++named;
        }
    }
    EXPECT_EQ(named, refused.size()) << "a sample named above is missing from tests/data";

    // An extended WebP of more chunks than any picture needs.
    Bytes junk = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8',
                  'X', 10,  0,   0,   0, 0, 0, 0, 0,   63,  0,   0,   47,  0,   0};
    for (int i = 0; i <= 1 << 20; ++i) {
        junk.insert(junk.end(), {'J', 'U', 'N', 'K', 0, 0, 0, 0});
    }
    const uint32_t riff = static_cast<uint32_t>(junk.size() - 8);
    for (int i = 0; i < 4; ++i) {
        junk[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
    }
    cases.push_back({"many-chunks.webp", junk, LoadReason::WebpUnsupported});

    // PNGs of every kind, and damaged ones.
    using TestFiles::PngKind;
    using TestFiles::PngRecipe;
    const Raster picture = MakeTestRaster(64, 48, 5);
    const auto png = [&picture](PngKind kind, int depth, bool interlaced = false, uint16_t alpha = 0xFFFF) {
        PngRecipe recipe;
        recipe.Kind = kind;
        recipe.BitDepth = depth;
        recipe.Interlaced = interlaced;
        recipe.Alpha = alpha;
        return TestFiles::BuildPng(picture, recipe);
    };
    const Bytes good = png(PngKind::Rgb, 8);
    const size_t idat = std::string(good.begin(), good.end()).find("IDAT") - 4;
    Bytes huge = good;
    PutBig32(huge, 16, 73728);
    Bytes zeroSized = good;
    PutBig32(zeroSized, 16, 0);
    Bytes badCrc = good;
    badCrc.at(idat + 30) ^= 0x5A;
    PngRecipe withIcc;
    withIcc.Icc = TestFiles::MakeRgbProfile(TestFiles::RgbSpace::AdobeRgb);
    Raster four(8, 8, 40);
    for (size_t i = 0; i < four.Pixels.size(); ++i) {
        four.Pixels[i] = static_cast<uint8_t>(i / 3 % 4 * 60); // four grays
    }
    PngRecipe paletted;
    paletted.Kind = PngKind::Palette;
    const Bytes palette = TestFiles::BuildPng(four, paletted);
    // A palette of no entries the pixels' indices can name.
    const Bytes outOfRange = WithChunk(palette, "PLTE", {0, 0, 0});
    const std::vector<FormatCase> pngs = {
        {"gray.png", png(PngKind::Gray, 8), std::nullopt},
        {"gray-2bit.PNG", png(PngKind::Gray, 2), std::nullopt},
        {"palette-transparent.png", png(PngKind::Palette, 8, false, 0), std::nullopt},
        {"rgb16.png", png(PngKind::Rgb, 16), std::nullopt},
        {"alpha16-interlaced.png", png(PngKind::RgbAlpha, 16, true, 0x8000), std::nullopt},
        {"interlaced.png", png(PngKind::Rgb, 8, true), std::nullopt},
        {"iccp.png", TestFiles::BuildPng(picture, withIcc), std::nullopt},
        {"palette-out-of-range.png", outOfRange, std::nullopt},
        {"not-a-png.png", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}, LoadReason::PngNotPng},
        {"signature-only.png", Bytes(good.begin(), good.begin() + 8), LoadReason::PngCutShort},
        {"cut-in-idat.png", Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(idat + 40)),
         LoadReason::PngCutShort},
        {"huge.png", huge, LoadReason::PictureSize},
        {"zero-sized.png", zeroSized, LoadReason::PictureSize},
        {"crc.png", badCrc, LoadReason::PngDamaged},
        {"empty.avif", {}, LoadReason::EmptyFile},
    };
    cases.insert(cases.end(), pngs.begin(), pngs.end());
    return cases;
}

} // namespace

// The samples of the new formats and hostile PNGs in one run with every format on: each is converted or
// skipped with its own reason, and between them they give every reason the new decoders have. With the
// formats off the same folder counts nothing.
TEST_F(BadInputs, EveryFormatInOneRun)
{
    const std::string source = dir / "source";
    const std::string receiver = dir / "out";
    fs::create_directories(source);
    fs::create_directories(receiver);
    const std::vector<FormatCase> cases = FormatCases();
    std::map<std::string, std::string> reasons; // skipped path: the start of its line
    std::set<LoadReason> given;
    size_t converted = 0;
    for (const auto& c : cases) {
        const std::string path = JoinPath(source, c.Name);
        WriteFileBytes(path, std::string(c.Content.begin(), c.Content.end()));
        if (c.Reason) {
            reasons[path] = path + ": " + MessageText(LoadError{*c.Reason, {}}.Text());
            given.insert(*c.Reason);
        } else {
            ++converted;
        }
    }
    const std::set<LoadReason> newReasons = {
        LoadReason::HeifNotHeif,     LoadReason::HeifDamaged, LoadReason::HeifCutShort, LoadReason::HeifCodec,
        LoadReason::HeifNoImage,     LoadReason::WebpNotWebp, LoadReason::WebpDamaged,  LoadReason::WebpCutShort,
        LoadReason::WebpUnsupported, LoadReason::PngNotPng,   LoadReason::PngDamaged,   LoadReason::PngCutShort,
        LoadReason::PictureSize,     LoadReason::EmptyFile};
    EXPECT_EQ(given, newReasons);

    std::vector<std::string> args = Arguments(source, receiver);
    args.insert(args.end(), {"--verbose", "--all-formats"});
    const CliRun run = RunLimited(args, dir.Str(), SecondsPerFile * 4);
    ASSERT_FALSE(run.TimedOut);
    EXPECT_EQ(run.Status, 1);
    std::vector<std::string> skipped;
    for (const auto& [path, line] : reasons) {
        skipped.push_back(path);
    }
    EXPECT_EQ(SortedReport(run.Out), Report(cases.size(), converted, skipped, "jpg, bmp, heic, avif, webp, png"));
    EXPECT_EQ(CheckOutputs(receiver), NumberedNames(converted));
    std::istringstream lines(run.Err);
    size_t named = 0;
    for (std::string line; std::getline(lines, line);) {
        const std::string path = line.substr(0, line.find(": ", source.size()));
        const auto it = reasons.find(path);
        ASSERT_NE(it, reasons.end()) << line;
        EXPECT_EQ(line.substr(0, it->second.size()), it->second);
        ++named;
    }
    EXPECT_EQ(named, reasons.size());

    fs::remove_all(receiver);
    fs::create_directories(receiver);
    const CliRun off = RunLimited(Arguments(source, receiver), dir.Str(), SecondsPerFile);
    EXPECT_EQ(off.Out.substr(0, off.Out.find('\n')), "Всего файлов(jpg, bmp): 0");
    EXPECT_EQ(CheckOutputs(receiver), NumberedNames(0));
}
