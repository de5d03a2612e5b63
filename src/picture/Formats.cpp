#include "picture/Formats.h"

#include "picture/Bmp.h"
#include "picture/Heif.h"
#include "picture/Jpeg.h"
#include "picture/Png.h"
#include "picture/Webp.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

namespace quorvane {

namespace {

struct Extension {
    std::string_view Text;
    PictureFormat Format;
};

// JPEG's and BMP's extensions, exactly as written: ".Jpg" or ".jpe" name no picture.
constexpr std::array<Extension, 6> ExactExtensions = {{
    {".JPG", PictureFormat::Jpeg},
    {".JPEG", PictureFormat::Jpeg},
    {".jpg", PictureFormat::Jpeg},
    {".jpeg", PictureFormat::Jpeg},
    {".BMP", PictureFormat::Bmp},
    {".bmp", PictureFormat::Bmp},
}};

// The other formats' extensions, in lower case; a name matches them in any letter case.
constexpr std::array<Extension, 6> FoldedExtensions = {{
    {".heic", PictureFormat::Heic},
    {".heif", PictureFormat::Heic},
    {".hif", PictureFormat::Heic},
    {".avif", PictureFormat::Avif},
    {".webp", PictureFormat::Webp},
    {".png", PictureFormat::Png},
}};

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualFolded(std::string_view text, std::string_view lower)
{
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(), [](char a, char b) { return AsciiLower(a) == b; });
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// What the first bytes of a file show it to be, among the decoders a renamed file may need.
enum class Content { Unknown, Jpeg, Heif, Webp, Png };

Content ContentOf(ByteReader& file)
{
    uint8_t head[16] = {};
    const int64_t got = file.ReadAt(0, head, sizeof head);
    if (got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
        return Content::Jpeg;
    }
    if (got >= 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0) {
        return Content::Png;
    }
    if (got >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0) {
        return Content::Webp;
    }
    if (got >= 8 && std::memcmp(head + 4, "ftyp", 4) == 0) {
        return Content::Heif;
    }
    return Content::Unknown;
}

// The decoder for a file of one of the formats beyond JPEG and BMP: the one its content names, else the
// one its extension names, which then says why it is not such a picture.
std::unique_ptr<PictureSource> OpenByContent(PictureFormat format, ByteReader& file, LoadError& error,
                                             const std::atomic<bool>* stop)
{
    switch (ContentOf(file)) {
    case Content::Jpeg:
        return OpenJpeg(file, error, stop);
    case Content::Heif:
        return OpenHeif(file, error, stop);
    case Content::Webp:
        return OpenWebp(file, error, stop);
    case Content::Png:
        return OpenPng(file, error, stop);
    case Content::Unknown:
        break;
    }
    return format == PictureFormat::Png    ? OpenPng(file, error, stop)
           : format == PictureFormat::Webp ? OpenWebp(file, error, stop)
                                           : OpenHeif(file, error, stop);
}

} // namespace

std::string_view FormatKey(PictureFormat format)
{
    switch (format) {
    case PictureFormat::Jpeg:
        return "jpeg";
    case PictureFormat::Bmp:
        return "bmp";
    case PictureFormat::Heic:
        return "heic";
    case PictureFormat::Avif:
        return "avif";
    case PictureFormat::Webp:
        return "webp";
    case PictureFormat::Png:
        return "png";
    }
    return {};
}

std::optional<FormatSet> ParseFormatList(std::string_view list, std::string* unknown)
{
    FormatSet formats;
    while (true) {
        const size_t comma = list.find(',');
        const std::string_view name = Trimmed(list.substr(0, comma));
        bool known = false;
        for (int i = 0; i < PictureFormatCount; ++i) {
            const auto format = static_cast<PictureFormat>(i);
            if (EqualFolded(name, FormatKey(format))) {
                formats = formats.With(format);
                known = true;
            }
        }
        if (!known) {
            if (unknown != nullptr) {
                *unknown = std::string(name);
            }
            return std::nullopt;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        list.remove_prefix(comma + 1);
    }
    return formats;
}

std::string FormatListText(FormatSet formats)
{
    std::string text;
    for (int i = 0; i < PictureFormatCount; ++i) {
        const auto format = static_cast<PictureFormat>(i);
        if (formats.Has(format)) {
            text += text.empty() ? "" : ",";
            text += FormatKey(format);
        }
    }
    return text;
}

std::string CountedExtensionsText(FormatSet formats)
{
    std::string text;
    for (int i = 0; i < PictureFormatCount; ++i) {
        const auto format = static_cast<PictureFormat>(i);
        if (formats.Has(format)) {
            // The report has always said "jpg" for JPEG files.
            text += text.empty() ? "" : ", ";
            text += format == PictureFormat::Jpeg ? std::string_view("jpg") : FormatKey(format);
        }
    }
    return text;
}

std::optional<PictureFormat> FormatOfName(std::string_view fileName, FormatSet formats)
{
    const size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view extension = fileName.substr(dot);
    for (const Extension& known : ExactExtensions) {
        if (known.Text == extension) {
            return formats.Has(known.Format) ? std::optional(known.Format) : std::nullopt;
        }
    }
    for (const Extension& known : FoldedExtensions) {
        if (EqualFolded(extension, known.Text)) {
            return formats.Has(known.Format) ? std::optional(known.Format) : std::nullopt;
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
    case PictureFormat::Heic:
    case PictureFormat::Avif:
    case PictureFormat::Webp:
    case PictureFormat::Png:
        return OpenByContent(format, file, error, stop);
    }
    // Only a value outside the enumeration gets here.
    error = {LoadReason::CannotOpen, {}};
    return nullptr;
}

} // namespace quorvane
