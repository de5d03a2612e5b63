#pragma once

struct jpeg_compress_struct; // libjpeg's, declared at global scope

#include "platform/Raster.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quorvane {

// Paths as the program's texts, UTF-8 (Windows' own path texts are in its ANSI code page).
std::filesystem::path FilePath(const std::string& text);
std::string PathText(const std::filesystem::path& path);

// A fresh empty folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string Str() const { return PathText(path_); }
    // Path of a file or folder inside, as text.
    std::string operator/(const std::string& name) const { return PathText(path_ / FilePath(name)); }

  private:
    std::filesystem::path path_;
};

void WriteFileBytes(const std::string& path, const std::string& bytes);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::string ReadFileBytes(const std::string& path);

// A test picture with smooth gradients and some detail, so every resample and codec path shows.
Raster MakeTestRaster(int32_t width, int32_t height, uint32_t seed = 1);

// Compresses rows of samples (`components` per pixel, colour space as libjpeg's J_COLOR_SPACE) with
// libjpeg at the quality given; `configure` runs after the defaults and the quality are set.
std::vector<uint8_t> CompressJpeg(const std::vector<uint8_t>& samples, int width, int height, int components,
                                  int colorSpace, int quality,
                                  const std::function<void(jpeg_compress_struct&)>& configure = {});

// A JPEG of the raster (libjpeg defaults at the given quality, optionally progressive or grayscale, with
// the luma sampling factors given: 2 x 2 is 4:2:0, 2 x 1 is 4:2:2, 1 x 1 is 4:4:4).
std::vector<uint8_t> MakeJpeg(const Raster& raster, int quality = 90, bool progressive = false, bool grayscale = false,
                              int lumaH = 2, int lumaV = 2);

// A 24-bit bottom-up BMP of the raster (TestFiles::EncodeBmp).
std::vector<uint8_t> MakeBmp24(const Raster& raster);

} // namespace quorvane
