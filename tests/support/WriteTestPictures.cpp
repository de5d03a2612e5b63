// Writes generated pictures into a folder, for runs of the real tool outside the unit tests (the soak run).
//   write_test_pictures bad FOLDER
//       the bad-input corpus; prints one line per file: "converted NAME" or "skipped NAME"
//   write_test_pictures good FOLDER COUNT WIDTH HEIGHT TAG
//       COUNT valid pictures of WIDTH x HEIGHT, of every kind in turn (JPEG baseline, progressive, gray,
//       CMYK, with an EXIF orientation; BMP 8, 24 and 32 bits, RLE), spread over nested folders of at most
//       100 files; prints one line per file: "converted PATH" relative to FOLDER
//   write_test_pictures large FOLDER COUNT WIDTH HEIGHT bmp|progressive
//       COUNT photo-sized pictures of one kind, for memory and speed measurements: 24-bit BMPs, or
//       progressive 4:4:4 JPEGs (the largest coefficient buffer a photo can need)
//   write_test_pictures png FOLDER WIDTH HEIGHT
//       PNGs of every kind: gray of 2 and 16 bits, palette with a transparent entry, 8- and 16-bit RGB with
//       alpha, interlaced, with an iCCP profile, with gAMA and cHRM, turned by eXIf

#include "support/BadInputs.h"
#include "support/ColourProfiles.h"
#include "support/PngFiles.h"
#include "support/TestSupport.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

using namespace quorvane;

namespace fs = std::filesystem;
using namespace TestFiles;

namespace {

struct Kind {
    const char* Extension;
    std::function<Bytes(const Raster&)> Make;
};

const std::vector<Kind>& Kinds()
{
    static const std::vector<Kind> kinds = {
        {".jpg", [](const Raster& r) { return BuildJpeg(r); }},
        {".jpg", [](const Raster& r) { return BuildJpeg(r, {.Progressive = true}); }},
        {".JPG", [](const Raster& r) { return BuildJpeg(r, {.Color = JpegColor::Gray}); }},
        {".bmp", [](const Raster& r) { return EncodeBmp(r, 24); }},
        {".jpeg", [](const Raster& r) { return WithExifOrientation(BuildJpeg(r), 6); }},
        {".bmp", [](const Raster& r) { return EncodeBmp(r, 8); }},
        {".jpg", [](const Raster& r) { return BuildJpeg(r, {.Color = JpegColor::Cmyk}); }},
        {".BMP", [](const Raster& r) { return EncodeBmp(r, 32, BmpHeader::V5, true, true); }},
        {".bmp", [](const Raster& r) { return EncodeRleBmp(r, 8); }},
    };
    return kinds;
}

int WriteGood(const fs::path& folder, int count, int32_t width, int32_t height, const std::string& tag)
{
    for (int i = 0; i < count; ++i) {
        const Kind& kind = Kinds()[static_cast<size_t>(i) % Kinds().size()];
        char name[64];
        std::snprintf(name, sizeof name, "%s-%05d", tag.c_str(), i);
        const fs::path relative = fs::path(tag + "-" + std::to_string(i / 1000)) /
                                  ("part" + std::to_string(i / 100 % 10)) / (name + std::string(kind.Extension));
        fs::create_directories((folder / relative).parent_path());
        WriteFileBytes((folder / relative).string(),
                       kind.Make(MakeTestRaster(width, height, static_cast<uint32_t>(i))));
        std::cout << "converted " << relative.string() << "\n";
    }
    return 0;
}

int WriteLarge(const fs::path& folder, int count, int32_t width, int32_t height, const std::string& kind)
{
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        const Raster raster = MakeTestRaster(width, height, static_cast<uint32_t>(i + 1));
        const bool bmp = kind == "bmp";
        const std::string name = "large-" + std::to_string(i) + (bmp ? ".bmp" : ".jpg");
        WriteFileBytes(
            (folder / name).string(),
            bmp ? EncodeBmp(raster, 24)
                : BuildJpeg(raster, {.Quality = 92, .Progressive = true, .Sampling = {{1, 1}, {1, 1}, {1, 1}}}));
        std::cout << "converted " << name << "\n";
    }
    return 0;
}

int WritePngs(const fs::path& folder, int32_t width, int32_t height)
{
    fs::create_directories(folder);
    auto recipe = [](PngKind kind, int depth) {
        PngRecipe r;
        r.Kind = kind;
        r.BitDepth = depth;
        return r;
    };
    std::vector<PngRecipe> recipes = {recipe(PngKind::Gray, 2),      recipe(PngKind::Gray, 16),
                                      recipe(PngKind::Palette, 8),   recipe(PngKind::RgbAlpha, 8),
                                      recipe(PngKind::RgbAlpha, 16), recipe(PngKind::Rgb, 8),
                                      recipe(PngKind::Rgb, 8),       recipe(PngKind::Rgb, 16),
                                      recipe(PngKind::Rgb, 8)};
    recipes[2].Alpha = 0;
    recipes[3].Alpha = 0x9000;
    recipes[4].Alpha = 0x3000;
    recipes[5].Interlaced = true;
    recipes[6].Icc = MakeRgbProfile(RgbSpace::DisplayP3);
    recipes[7].FileGamma = 1.0;
    recipes[7].DisplayP3 = true;
    const Bytes exif = ExifPayload(false, 8);
    recipes[8].Exif.assign(exif.begin() + 6, exif.end());
    for (size_t i = 0; i < recipes.size(); ++i) {
        const std::string name = "png-" + std::to_string(i) + ".png";
        WriteFileBytes((folder / name).string(),
                       BuildPng(MakeTestRaster(width, height, static_cast<uint32_t>(i + 3)), recipes[i]));
        std::cout << "converted " << name << "\n";
    }
    return 0;
}

int WriteBad(const fs::path& folder)
{
    fs::create_directories(folder);
    for (const auto& file : MakeBadInputs()) {
        WriteFileBytes((folder / file.Name).string(), file.Content);
        std::cout << (file.Expected == Outcome::Converted ? "converted " : "skipped ") << file.Name << "\n";
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "bad") {
        return WriteBad(args[1]);
    }
    if (args.size() == 6 && args[0] == "good") {
        return WriteGood(args[1], std::stoi(args[2]), std::stoi(args[3]), std::stoi(args[4]), args[5]);
    }
    if (args.size() == 6 && args[0] == "large") {
        return WriteLarge(args[1], std::stoi(args[2]), std::stoi(args[3]), std::stoi(args[4]), args[5]);
    }
    if (args.size() == 4 && args[0] == "png") {
        return WritePngs(args[1], std::stoi(args[2]), std::stoi(args[3]));
    }
    std::cerr << "usage: write_test_pictures bad FOLDER | good FOLDER COUNT WIDTH HEIGHT TAG"
                 " | large FOLDER COUNT WIDTH HEIGHT bmp|progressive | png FOLDER WIDTH HEIGHT\n";
    return 64;
}
