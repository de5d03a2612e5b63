#include "picture/Formats.h"

#include "picture/Bmp.h"
#include "picture/Jpeg.h"

#include <array>
#include <cstddef>

namespace quorvane {

namespace {

struct Extension {
    std::string_view Text;
    PictureFormat Format;
};

// The extensions that count, exactly as written: ".Jpg" or ".jpe" name no picture.
constexpr std::array<Extension, 6> Extensions = {{
    {".JPG", PictureFormat::Jpeg},
    {".JPEG", PictureFormat::Jpeg},
    {".jpg", PictureFormat::Jpeg},
    {".jpeg", PictureFormat::Jpeg},
    {".BMP", PictureFormat::Bmp},
    {".bmp", PictureFormat::Bmp},
}};

} // namespace

std::optional<PictureFormat> FormatOfName(std::string_view fileName)
{
    const size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view extension = fileName.substr(dot);
    for (const Extension& known : Extensions) {
        if (known.Text == extension) {
            return known.Format;
        }
    }
    return std::nullopt;
}

std::unique_ptr<PictureSource> OpenPicture(PictureFormat format, ByteReader& file, LoadError& error,
                                           const std::atomic<bool>* stop)
{
    if (file.Size() == 0) {
        error = {LoadReason::EmptyFile, {}};
        return nullptr;
    }
    switch (format) {
    case PictureFormat::Jpeg:
        return OpenJpeg(file, error, stop);
    case PictureFormat::Bmp:
        return OpenBmp(file, error);
    }
    // Only a value outside the enumeration gets here.
    error = {LoadReason::CannotOpen, {}};
    return nullptr;
}

} // namespace quorvane
