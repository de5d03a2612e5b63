#include "support/PngFiles.h"

#include <map>
#include <png.h>
#include <stdexcept>

namespace quorvane::TestFiles {

namespace {

[[noreturn]] void Fail(png_structp, png_const_charp message)
{
    throw std::runtime_error(message);
}

void Append(png_structp png, png_bytep data, png_size_t size)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

int ColourType(PngKind kind)
{
    switch (kind) {
    case PngKind::Gray:
        return PNG_COLOR_TYPE_GRAY;
    case PngKind::GrayAlpha:
        return PNG_COLOR_TYPE_GRAY_ALPHA;
    case PngKind::Rgb:
        return PNG_COLOR_TYPE_RGB;
    case PngKind::RgbAlpha:
        return PNG_COLOR_TYPE_RGB_ALPHA;
    case PngKind::Palette:
        return PNG_COLOR_TYPE_PALETTE;
    }
    return PNG_COLOR_TYPE_RGB;
}

// Samples of one pixel, before packing: 8-bit values are scaled to the depth.
std::vector<uint32_t> Samples(const uint8_t* rgb, const PngRecipe& recipe, std::map<uint32_t, int>& palette)
{
    const uint32_t max = (1u << recipe.BitDepth) - 1;
    const auto scale = [&](uint32_t v) { return recipe.BitDepth == 16 ? v * 257 : v * max / 255; };
    const uint32_t alpha = recipe.Alpha * max / 0xFFFF;
    switch (recipe.Kind) {
    case PngKind::Gray:
        return {scale(rgb[1])};
    case PngKind::GrayAlpha:
        return {scale(rgb[1]), alpha};
    case PngKind::Rgb:
        return {scale(rgb[0]), scale(rgb[1]), scale(rgb[2])};
    case PngKind::RgbAlpha:
        return {scale(rgb[0]), scale(rgb[1]), scale(rgb[2]), alpha};
    case PngKind::Palette: {
        const uint32_t colour = uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
        const auto it = palette.find(colour);
        return {static_cast<uint32_t>(it == palette.end() ? 0 : it->second)};
    }
    }
    return {};
}

} // namespace

std::vector<uint8_t> BuildPng(const Raster& picture, const PngRecipe& recipe)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, nullptr);
    png_infop info = png_create_info_struct(png);
    try {
        png_set_write_fn(png, &out, Append, nullptr);
        png_set_IHDR(png, info, static_cast<png_uint_32>(picture.Width), static_cast<png_uint_32>(picture.Height),
                     recipe.BitDepth, ColourType(recipe.Kind),
                     recipe.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        std::map<uint32_t, int> palette;
        if (recipe.Kind == PngKind::Palette) {
            // A palette holds at most 2^depth entries; colours beyond them take entry 0.
            const size_t most = size_t{1} << recipe.BitDepth;
            std::vector<png_color> entries;
            for (int32_t i = 0; i < picture.Width * picture.Height && entries.size() < most; ++i) {
                const uint8_t* p = picture.Pixels.data() + 3 * i;
                const uint32_t colour = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
                if (palette.emplace(colour, static_cast<int>(entries.size())).second) {
                    entries.push_back({p[0], p[1], p[2]});
                }
            }
            png_set_PLTE(png, info, entries.data(), static_cast<int>(entries.size()));
            if (recipe.Alpha != 0xFFFF) {
                const png_byte alpha = static_cast<png_byte>(recipe.Alpha >> 8);
                png_set_tRNS(png, info, &alpha, 1, nullptr);
            }
        }
        if (recipe.FileGamma) {
            png_set_gAMA(png, info, *recipe.FileGamma);
        }
        if (recipe.Srgb) {
            png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
        }
        if (recipe.DisplayP3) {
            png_set_cHRM(png, info, 0.3127, 0.3290, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060);
        }
        if (!recipe.Icc.empty()) {
            png_set_iCCP(png, info, "profile", PNG_COMPRESSION_TYPE_BASE, recipe.Icc.data(),
                         static_cast<png_uint_32>(recipe.Icc.size()));
        }
        if (!recipe.Exif.empty()) {
            png_set_eXIf_1(png, info, static_cast<png_uint_32>(recipe.Exif.size()),
                           const_cast<png_bytep>(recipe.Exif.data()));
        }
        png_write_info(png, info);
        if (recipe.BitDepth == 16) {
            png_set_swap(png); // the samples below are native 16-bit words
        }
        const int passes = png_set_interlace_handling(png);
        const size_t rowBytes = png_get_rowbytes(png, info);
        std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(picture.Height), std::vector<uint8_t>(rowBytes));
        for (int32_t y = 0; y < picture.Height; ++y) {
            size_t bit = 0;
            for (int32_t x = 0; x < picture.Width; ++x) {
                for (uint32_t sample : Samples(picture.Row(y) + 3 * x, recipe, palette)) {
                    uint8_t* at = rows[y].data() + bit / 8;
                    if (recipe.BitDepth == 16) {
                        *reinterpret_cast<uint16_t*>(at) = static_cast<uint16_t>(sample);
                    } else if (recipe.BitDepth == 8) {
                        *at = static_cast<uint8_t>(sample);
                    } else {
                        *at |= static_cast<uint8_t>(sample << (8 - recipe.BitDepth - bit % 8));
                    }
                    bit += static_cast<size_t>(recipe.BitDepth);
                }
            }
        }
        for (int pass = 0; pass < passes; ++pass) {
            for (auto& row : rows) {
                png_write_row(png, row.data());
            }
        }
        png_write_end(png, info);
    } catch (...) {
        png_destroy_write_struct(&png, &info);
        throw;
    }
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace quorvane::TestFiles
