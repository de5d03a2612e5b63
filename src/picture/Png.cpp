// Every libpng call of the tool lives here. libpng reports errors by calling the error function, which
// must not return: it longjmps back to the setjmp of the function that made the call. Those functions
// therefore hold nothing with a destructor, and C++ allocations happen outside them.

#include "picture/Png.h"

#include "picture/Exif.h"
#include "picture/WholeSource.h"
#include "platform/Limits.h"

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <png.h>
#include <vector>

namespace quorvane {

namespace {

constexpr size_t SignatureBytes = 8;
// Ancillary chunks kept at most, and the most memory one chunk may take (an iCCP profile once inflated).
constexpr png_uint_32 MaxAncillaryChunks = 1000;
constexpr png_alloc_size_t MaxChunkBytes = static_cast<png_alloc_size_t>(MaxProfileBytes);
// What libpng holds besides the rows: zlib's window and state, its row buffers (counted per row) and
// chunk data, with margin.
constexpr int64_t LibpngBytes = 256 * 1024;
// Rows decoded between two looks at the stop flag.
constexpr png_uint_32 RowsBetweenStops = 64;

// Why the error function was called when it was not for libpng's own error.
enum class Exit { Libpng, CutShort, ReadFailed, Stopped };

struct Decoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::jmp_buf jump;
    Exit exit = Exit::Libpng;
    char message[200] = {};
    ByteReader* file = nullptr;
    uint64_t offset = 0;
    const std::atomic<bool>* stop = nullptr;
};

[[noreturn]] void ErrorFn(png_structp png, png_const_charp message)
{
    auto* d = static_cast<Decoder*>(png_get_error_ptr(png));
    if (d->exit == Exit::Libpng) {
        std::snprintf(d->message, sizeof d->message, "%s", message != nullptr ? message : "");
    }
    std::longjmp(d->jump, 1);
}

void WarningFn(png_structp, png_const_charp) {}

void ReadFn(png_structp png, png_bytep to, png_size_t count)
{
    auto* d = static_cast<Decoder*>(png_get_io_ptr(png));
    const int64_t got = d->file->ReadAt(d->offset, to, count);
    if (got < 0 || static_cast<png_size_t>(got) != count) {
        d->exit = got < 0 ? Exit::ReadFailed : Exit::CutShort;
        png_error(png, "read");
    }
    d->offset += count;
}

// What libpng hands out after the transformations chosen: 8-bit samples, 1 to 4 of them a pixel.
struct Layout {
    png_uint_32 Width = 0;
    png_uint_32 Height = 0;
    int Channels = 0; // gray, gray + alpha, RGB, RGB + alpha
    bool Interlaced = false;
    size_t RowBytes = 0;
};

// Reads the chunks before the image data and sets the transformations. False on any libpng error.
bool ReadHeader(Decoder& d, Layout& layout)
{
    if (setjmp(d.jump) != 0) {
        return false;
    }
    png_set_sig_bytes(d.png, static_cast<int>(SignatureBytes));
    png_set_user_limits(d.png, static_cast<png_uint_32>(MaxPictureSide), static_cast<png_uint_32>(MaxPictureSide));
    png_set_chunk_cache_max(d.png, MaxAncillaryChunks);
    png_set_chunk_malloc_max(d.png, MaxChunkBytes);
    // Texts are never looked at: skipped unread.
    static const png_byte Texts[] = {'t', 'E', 'X', 't', 0, 'z', 'T', 'X', 't', 0, 'i', 'T', 'X', 't', 0};
    png_set_keep_unknown_chunks(d.png, PNG_HANDLE_CHUNK_NEVER, Texts, 3);
    png_read_info(d.png, d.info);
    // Palette to RGB, gray below 8 bits to 8, a transparent colour to an alpha channel; 16 bits rounded to 8.
    png_set_expand(d.png);
    png_set_scale_16(d.png);
    layout.Interlaced = png_set_interlace_handling(d.png) > 1;
    png_read_update_info(d.png, d.info);
    layout.Width = png_get_image_width(d.png, d.info);
    layout.Height = png_get_image_height(d.png, d.info);
    layout.Channels = png_get_channels(d.png, d.info);
    layout.RowBytes = png_get_rowbytes(d.png, d.info);
    return true;
}

// Reads `count` rows (each of the layout's row bytes) into `rows`: every pass of an interlaced picture
// when `rows` holds the whole picture, else the next rows.
bool ReadRows(Decoder& d, png_bytepp rows, png_uint_32 count, bool wholeImage)
{
    if (setjmp(d.jump) != 0) {
        return false;
    }
    if (wholeImage) {
        // png_read_image runs every pass; the stop flag is looked at once before it.
        if (d.stop != nullptr && d.stop->load(std::memory_order_relaxed)) {
            d.exit = Exit::Stopped;
            return false;
        }
        png_read_image(d.png, rows);
        return true;
    }
    png_read_rows(d.png, rows, nullptr, count);
    return true;
}

// One row of the layout's samples as RGB, laid over white where it has alpha.
void ToRgb(const uint8_t* from, uint8_t* to, png_uint_32 width, int channels)
{
    for (png_uint_32 x = 0; x < width; ++x, to += 3) {
        switch (channels) {
        case 1:
            to[0] = to[1] = to[2] = from[x];
            break;
        case 2:
            to[0] = to[1] = to[2] = OverWhite(from[2 * x], from[2 * x + 1], 8);
            break;
        case 3:
            std::memcpy(to, from + 3 * x, 3);
            break;
        default:
            for (int c = 0; c < 3; ++c) {
                to[c] = OverWhite(from[4 * x + c], from[4 * x + 3], 8);
            }
            break;
        }
    }
}

bool NearlyEqual(double a, double b)
{
    return a > b - 0.0005 && a < b + 0.0005;
}

bool IsBt709(const Chromaticities& c)
{
    const double* mine[] = {c.Red, c.Green, c.Blue, c.White};
    const double* theirs[] = {Bt709Primaries.Red, Bt709Primaries.Green, Bt709Primaries.Blue, Bt709Primaries.White};
    for (int i = 0; i < 4; ++i) {
        if (!NearlyEqual(mine[i][0], theirs[i][0]) || !NearlyEqual(mine[i][1], theirs[i][1])) {
            return false;
        }
    }
    return true;
}

class PngSource final : public PictureSource {
  public:
    PngSource(ByteReader& file, const std::atomic<bool>* stop)
    {
        d_.file = &file;
        d_.offset = SignatureBytes;
        d_.stop = stop;
    }
    ~PngSource() override { png_destroy_read_struct(&d_.png, &d_.info, nullptr); }
    PngSource(const PngSource&) = delete;
    PngSource& operator=(const PngSource&) = delete;

    bool Open()
    {
        d_.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d_, ErrorFn, WarningFn);
        d_.info = d_.png != nullptr ? png_create_info_struct(d_.png) : nullptr;
        if (d_.info == nullptr) {
            error_ = {LoadReason::OutOfMemory, {}};
            return false;
        }
        png_set_read_fn(d_.png, &d_, ReadFn);
        if (!ReadHeader(d_, layout_)) {
            SetError();
            return false;
        }
        const int64_t width = layout_.Width;
        const int64_t height = layout_.Height;
        if (width <= 0 || height <= 0 || width > MaxPictureSide || height > MaxPictureSide ||
            width * height > MaxPicturePixels) {
            error_ = {LoadReason::PictureSize, SizeText(width, height)};
            return false;
        }
        if (!CatchOutOfMemory(error_, [&] { ReadColourAndOrientation(); })) {
            return false;
        }
        const bool swapped = OrientationSwapsSides(orientation_);
        width_ = static_cast<int32_t>(swapped ? height : width);
        height_ = static_cast<int32_t>(swapped ? width : height);
        whole_ = layout_.Interlaced || orientation_ != 1;
        return true;
    }

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    int64_t WorkingBytes() const override
    {
        const int64_t rows = int64_t{layout_.Height} * static_cast<int64_t>(layout_.RowBytes);
        const int64_t row = static_cast<int64_t>(layout_.RowBytes) + int64_t{layout_.Width} * 3;
        // libpng holds two rows of its own; a whole picture is held as RGB, an interlaced one also as read.
        return LibpngBytes + 2 * static_cast<int64_t>(layout_.RowBytes) + row +
               (whole_ ? int64_t{width_} * height_ * 3 : 0) + (layout_.Interlaced ? rows : 0);
    }
    const LoadError& Error() const override { return error_; }
    const ColourProfile& Profile() const override { return profile_; }

    const uint8_t* Row(int32_t y) override
    {
        if (failed_ || y < 0 || y >= height_) {
            return nullptr;
        }
        if (whole_) {
            if (!done_ && !CatchOutOfMemory(error_, [&] { return DecodeWhole(); })) {
                failed_ = true;
                return nullptr;
            }
            return upright_.Row(y);
        }
        while (next_ <= static_cast<png_uint_32>(y)) {
            if (!NextRow()) {
                failed_ = true;
                return nullptr;
            }
        }
        return rgb_.data();
    }

    bool Finish() override
    {
        // Every row must be there: a picture whose data ends early is damaged.
        const bool whole = !failed_ && (whole_ ? done_ || Row(0) != nullptr : Row(height_ - 1) != nullptr);
        upright_ = Raster();
        return whole && !failed_;
    }

  private:
    void SetError()
    {
        switch (d_.exit) {
        case Exit::CutShort:
            error_ = {LoadReason::PngCutShort, {}};
            return;
        case Exit::ReadFailed:
            error_ = {LoadReason::ReadFailed, {}};
            return;
        case Exit::Stopped:
            error_ = {LoadReason::Cancelled, {}};
            return;
        case Exit::Libpng:
            break;
        }
        error_ = {LoadReason::PngDamaged, Message::Plain(d_.message)};
    }

    // The profile by the PNG rule (iCCP first, then sRGB, then gAMA and cHRM) and the EXIF orientation.
    void ReadColourAndOrientation()
    {
        const int type = png_get_color_type(d_.png, d_.info);
        const bool gray = (type & PNG_COLOR_MASK_COLOR) == 0;
        png_charp name = nullptr;
        int compression = 0;
        png_bytep icc = nullptr;
        png_uint_32 iccLength = 0;
        int intent = 0;
        double fileGamma = 0;
        Chromaticities chrm{};
        if (png_get_iCCP(d_.png, d_.info, &name, &compression, &icc, &iccLength) != 0 && iccLength > 0) {
            profile_.Bytes.assign(icc, icc + iccLength);
            profile_.Model = gray ? ColourModel::Gray : ColourModel::Rgb;
        } else if (png_get_sRGB(d_.png, d_.info, &intent) == 0) {
            const bool hasGamma = png_get_gAMA(d_.png, d_.info, &fileGamma) != 0 && fileGamma > 0;
            const bool hasChrm =
                !gray && png_get_cHRM(d_.png, d_.info, &chrm.White[0], &chrm.White[1], &chrm.Red[0], &chrm.Red[1],
                                      &chrm.Green[0], &chrm.Green[1], &chrm.Blue[0], &chrm.Blue[1]) != 0;
            ColourInfo info;
            info.Primaries = hasChrm ? chrm : Bt709Primaries;
            // A gamma of 1/2.2 is how most writers mark sRGB.
            const bool srgbGamma = !hasGamma || NearlyEqual(fileGamma, 0.45455);
            info.Curve = srgbGamma ? ToneCurve::Srgb : ToneCurve::Gamma;
            info.Gamma = hasGamma ? 1.0 / fileGamma : 2.2;
            if (!(srgbGamma && (!hasChrm || IsBt709(chrm)))) {
                profile_ = ProfileFromInfo(info, gray);
            }
        }
        png_bytep exif = nullptr;
        png_uint_32 exifLength = 0;
        if (png_get_eXIf_1(d_.png, d_.info, &exifLength, &exif) != 0) {
            orientation_ = ExifChunkOrientation(exif, exifLength);
        }
    }

    bool NextRow()
    {
        if (rows_.empty()) {
            rows_.resize(layout_.RowBytes);
            rgb_.resize(size_t{layout_.Width} * 3);
        }
        if (next_ % RowsBetweenStops == 0 && d_.stop != nullptr && d_.stop->load(std::memory_order_relaxed)) {
            d_.exit = Exit::Stopped;
            SetError();
            return false;
        }
        png_bytep row = rows_.data();
        if (!ReadRows(d_, &row, 1, false)) {
            SetError();
            return false;
        }
        ToRgb(rows_.data(), rgb_.data(), layout_.Width, layout_.Channels);
        ++next_;
        return true;
    }

    // The whole picture, upright: read row by row (or every pass at once) and placed where the
    // orientation puts each row.
    bool DecodeWhole()
    {
        done_ = true;
        upright_ = Raster(width_, height_);
        std::vector<uint8_t> all;
        std::vector<png_bytep> pointers;
        if (layout_.Interlaced) {
            all.resize(layout_.RowBytes * layout_.Height);
            pointers.resize(layout_.Height);
            for (png_uint_32 y = 0; y < layout_.Height; ++y) {
                pointers[y] = all.data() + y * layout_.RowBytes;
            }
            if (!ReadRows(d_, pointers.data(), layout_.Height, true)) {
                SetError();
                return false;
            }
            rgb_.resize(size_t{layout_.Width} * 3);
        }
        const auto sw = static_cast<int32_t>(layout_.Width);
        const auto sh = static_cast<int32_t>(layout_.Height);
        for (int32_t y = 0; y < sh; ++y) {
            if (layout_.Interlaced) {
                ToRgb(pointers[y], rgb_.data(), layout_.Width, layout_.Channels);
            } else if (!NextRow()) {
                return false;
            }
            const uint8_t* row = rgb_.data();
            PlaceStoredRows(upright_, orientation_, sw, sh, y, &row, 1);
        }
        return true;
    }

    Decoder d_;
    Layout layout_;
    LoadError error_;
    ColourProfile profile_;
    int orientation_ = 1;
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool whole_ = false;
    bool done_ = false;
    bool failed_ = false;
    png_uint_32 next_ = 0; // the next row libpng gives
    std::vector<uint8_t> rows_;
    std::vector<uint8_t> rgb_;
    Raster upright_;
};

} // namespace

std::unique_ptr<PictureSource> OpenPng(ByteReader& file, LoadError& error, const std::atomic<bool>* stop)
{
    uint8_t signature[SignatureBytes] = {};
    const int64_t got = file.ReadAt(0, signature, sizeof signature);
    if (got < 0) {
        error = {LoadReason::ReadFailed, {}};
        return nullptr;
    }
    if (static_cast<size_t>(got) != SignatureBytes || png_sig_cmp(signature, 0, SignatureBytes) != 0) {
        error = {LoadReason::PngNotPng, {}};
        return nullptr;
    }
    // The size, from the IHDR chunk that comes first, is checked before libpng allocates anything for it.
    uint8_t header[16] = {};
    if (file.ReadAt(SignatureBytes, header, sizeof header) == static_cast<int64_t>(sizeof header) &&
        std::memcmp(header + 4, "IHDR", 4) == 0) {
        const auto be32 = [](const uint8_t* p) {
            return (int64_t{p[0]} << 24) | (int64_t{p[1]} << 16) | (int64_t{p[2]} << 8) | int64_t{p[3]};
        };
        const int64_t width = be32(header + 8);
        const int64_t height = be32(header + 12);
        if (width == 0 || height == 0 || width > MaxPictureSide || height > MaxPictureSide ||
            width * height > MaxPicturePixels) {
            error = {LoadReason::PictureSize, SizeText(width, height)};
            return nullptr;
        }
    }
    auto source = CatchOutOfMemory(error, [&] { return std::make_unique<PngSource>(file, stop); });
    if (source && !source->Open()) {
        error = source->Error();
        return nullptr;
    }
    return source;
}

} // namespace quorvane
