// Writes the seed corpora of the fuzz targets into <folder>/{bmp,jpeg,intconv,catalogue}: valid files of
// every kind the decoders accept and the hostile ones of the bad-input corpus, made by the builders the
// tests use, so no binary seed is kept in the repository.
// Usage: fuzz_seeds FOLDER [CATALOGUE-FILE]

#include "support/BadInputs.h"
#include "support/ColourProfiles.h"
#include "support/PngFiles.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace quorvane;

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& folder, const std::string& name, const std::string& bytes)
{
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + (folder / name).string());
    }
}

std::string Text(const TestFiles::Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// File names in the corpus are plain: an index and the case's name with anything unusual replaced.
std::string SeedName(size_t index, const std::string& name)
{
    std::string plain;
    for (char c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        plain += keep ? c : '_';
    }
    return std::to_string(index) + "-" + plain;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: fuzz_seeds FOLDER [CATALOGUE-FILE]\n";
        return 64;
    }
    const fs::path root = argv[1];
    std::vector<TestFiles::BadInput> files = TestFiles::MakeGoodVariants(MakeTestRaster(13, 7, 5));
    for (auto& file : TestFiles::MakeGoodVariants(MakeTestRaster(40, 30, 9))) {
        file.Name = "large-" + file.Name;
        files.push_back(std::move(file));
    }
    for (auto& file : TestFiles::MakeBadInputs()) {
        files.push_back(std::move(file));
    }
    // Pictures with colour profiles, whose parsing the targets reach: one in several segments, a gray and
    // a CMYK one, and one in a V5 BMP.
    {
        using namespace TestFiles;
        const Raster photo = MakeTestRaster(24, 16, 4);
        const Bytes p3 = MakeRgbProfile(RgbSpace::DisplayP3);
        files.push_back({"icc-p3-segments.jpg", WithIccProfile(BuildJpeg(photo), p3, 160), Outcome::Converted});
        files.push_back({"icc-adobe-progressive.jpg",
                         WithIccProfile(BuildJpeg(photo, {.Progressive = true}), MakeRgbProfile(RgbSpace::AdobeRgb)),
                         Outcome::Converted});
        files.push_back({"icc-gray.jpg",
                         WithIccProfile(BuildJpeg(photo, {.Color = JpegColor::Gray}), MakeLinearGrayProfile()),
                         Outcome::Converted});
        files.push_back({"icc-cmyk.jpg",
                         WithIccProfile(BuildJpeg(photo, {.Color = JpegColor::Cmyk}), MakeTwistedCmykProfile()),
                         Outcome::Converted});
        files.push_back({"icc-p3-v5.bmp", WithBmpProfile(EncodeBmp(photo, 24, BmpHeader::V5), p3), Outcome::Converted});
    }
    size_t index = 0;
    for (const auto& file : files) {
        // Sorted by content, whatever the name says: a JPEG named .bmp seeds the JPEG target.
        const bool jpeg = !file.Content.empty() && file.Content[0] == 0xFF;
        Write(root / (jpeg ? "jpeg" : "bmp"), SeedName(index++, file.Name), Text(file.Content));
    }

    // PNGs of every colour type and depth, interlaced, with transparency, colour chunks and an orientation.
    {
        using namespace TestFiles;
        const Raster photo = MakeTestRaster(24, 16, 6);
        std::vector<PngRecipe> recipes;
        for (const PngKind kind :
             {PngKind::Gray, PngKind::GrayAlpha, PngKind::Rgb, PngKind::RgbAlpha, PngKind::Palette}) {
            for (const int depth : {1, 2, 4, 8, 16}) {
                const bool colour = kind == PngKind::Rgb || kind == PngKind::RgbAlpha || kind == PngKind::GrayAlpha;
                if ((depth < 8 && colour) || (depth == 16 && kind == PngKind::Palette)) {
                    continue;
                }
                PngRecipe recipe;
                recipe.Kind = kind;
                recipe.BitDepth = depth;
                recipe.Interlaced = recipes.size() % 3 == 0;
                recipe.Alpha = recipes.size() % 2 == 0 ? 0xFFFF : 0x4000;
                recipes.push_back(recipe);
            }
        }
        recipes.back().Icc = MakeRgbProfile(RgbSpace::DisplayP3);
        recipes.front().FileGamma = 1.0;
        recipes[1].DisplayP3 = true;
        const Bytes exif = ExifPayload(true, 6);
        recipes[2].Exif.assign(exif.begin() + 6, exif.end());
        size_t index = 0;
        for (const PngRecipe& recipe : recipes) {
            Write(root / "png", SeedName(index++, "png"), Text(BuildPng(photo, recipe)));
        }
    }

    const std::vector<std::string> numbers = {"0",
                                              "7",
                                              "-2147483648",
                                              "2147483647",
                                              "2147483648",
                                              "-2147483649",
                                              "$7FFFFFFF",
                                              "$80000000",
                                              "0x10",
                                              "x1F",
                                              "X1f",
                                              "  -5",
                                              "+7",
                                              "1 ",
                                              "",
                                              " ",
                                              "0x",
                                              "$",
                                              "-0x5",
                                              "0X5",
                                              "12a",
                                              "\t5",
                                              "00000000000000000000001",
                                              "-0",
                                              "$FFFFFFFF",
                                              "  $ff",
                                              "x",
                                              "--1",
                                              "+-1"};
    for (size_t i = 0; i < numbers.size(); ++i) {
        Write(root / "intconv", std::to_string(i), numbers[i]);
    }

    std::vector<std::string> catalogues = {
        "[Nokia]\r\n3310 84/48\r\n6300 240/320\r\n",
        "model 176/220\n[A]B]\n[]\n[x\nname  1/2/3\n\x1a[after] 1/2\n",
        "\r\r\n[Maker]\r\nno-slash 12\r\nlater 1/1\r\n",
        "[M]\nA 1/1\nA 2/2\n[M]\nA 3/3",
        "",
    };
    if (argc > 2) {
        std::ifstream in(argv[2], std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        catalogues.push_back(content.str());
    }
    for (size_t i = 0; i < catalogues.size(); ++i) {
        Write(root / "catalogue", std::to_string(i), catalogues[i]);
    }
    std::cout << "seeds: " << files.size() << " pictures, " << numbers.size() << " numbers, " << catalogues.size()
              << " catalogues in " << root.string() << "\n";
    return 0;
}
