#include "support/TestSupport.h"

#include "support/BadInputs.h"

#include <jpeglib.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace quorvane {

// FilePath() and PathText() are the system's: SystemKit_posix.cpp, SystemKit_win.cpp.

TempDir::TempDir()
{
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() /
                         ("quorvane-test-" + std::to_string(getpid()) + "-" + std::to_string(random() % 1000000000));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Folders made read-only by a test must be writable again before they can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(FilePath(path), std::ios::binary | std::ios::trunc);
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    WriteFileBytes(path, std::string(bytes.begin(), bytes.end()));
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(FilePath(path), std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

Raster MakeTestRaster(int32_t width, int32_t height, uint32_t seed)
{
    Raster raster(width, height);
    std::mt19937 random(seed);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = raster.Row(y);
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t noise = random() & 0x1f;
            row[3 * x + 0] = static_cast<uint8_t>((x * 255) / (width > 1 ? width - 1 : 1));
            row[3 * x + 1] = static_cast<uint8_t>((y * 255) / (height > 1 ? height - 1 : 1));
            row[3 * x + 2] = static_cast<uint8_t>((((x / 8) + (y / 8)) % 2 ? 200 : 40) + noise);
        }
    }
    return raster;
}

std::vector<uint8_t> CompressJpeg(const std::vector<uint8_t>& samples, int width, int height, int components,
                                  int colorSpace, int quality,
                                  const std::function<void(jpeg_compress_struct&)>& configure)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = static_cast<J_COLOR_SPACE>(colorSpace);
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (configure) {
        configure(cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + stride * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

std::vector<uint8_t> MakeJpeg(const Raster& raster, int quality, bool progressive, bool grayscale, int lumaH, int lumaV)
{
    std::vector<uint8_t> samples(raster.Pixels.begin(), raster.Pixels.end());
    if (grayscale) {
        samples.resize(raster.Pixels.size() / 3);
        for (size_t i = 0; i < samples.size(); ++i) {
            const uint8_t* p = raster.Pixels.data() + 3 * i;
            samples[i] = static_cast<uint8_t>((p[0] + p[1] + p[2]) / 3);
        }
    }
    return CompressJpeg(samples, raster.Width, raster.Height, grayscale ? 1 : 3, grayscale ? JCS_GRAYSCALE : JCS_RGB,
                        quality, [&](jpeg_compress_struct& cinfo) {
                            cinfo.comp_info[0].h_samp_factor = lumaH;
                            cinfo.comp_info[0].v_samp_factor = lumaV;
                            if (progressive) {
                                jpeg_simple_progression(&cinfo);
                            }
                        });
}

std::vector<uint8_t> MakeBmp24(const Raster& raster)
{
    return TestFiles::EncodeBmp(raster, 24);
}

} // namespace quorvane
