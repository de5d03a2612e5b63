#include "conversion/Picture.h"

#include "conversion/JpegCodec.h"
#include "platform/Bmp.h"
#include "platform/EngineError.h"
#include "platform/IntConv.h"

#include <cstdio>
#include <memory>
#include <new>

#include <sys/stat.h>

namespace {

// No picture the decoders accept can come from a larger file, so a larger one is refused before it is
// read into memory.
constexpr int64_t MaxPictureFileBytes = MaxPicturePixels * 4 + (int64_t{1} << 20);

bool ReadPictureFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        return false;
    }
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > MaxPictureFileBytes) {
        return false;
    }
    try {
        bytes.resize(static_cast<size_t>(info.st_size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), file.get());
    bytes.resize(got); // a file that shrank while being read is taken as it was found
    return !std::ferror(file.get());
}

} // namespace

bool LoadJpegPicture(const std::string& path, JpegObject& jpeg, Raster& source)
{
    if (!ReadPictureFile(path, jpeg.Data)) {
        return false;
    }
    JpegHeaderInfo info;
    if (!DecodeJpeg(jpeg.Data.data(), jpeg.Data.size(), source, info)) {
        return false;
    }
    jpeg.Progressive = info.MultiScan;
    return true;
}

bool LoadBmpPicture(const std::string& path, Raster& source)
{
    std::vector<uint8_t> bytes;
    return ReadPictureFile(path, bytes) && DecodeBmp(bytes.data(), bytes.size(), source);
}

FitPlan PlanFit(int64_t sw, int64_t sh, int64_t tw, int64_t th)
{
    if (sw < sh) {
        const int64_t H = sh * tw / sw;
        return {H, tw, th > H};
    }
    const int64_t W = sw * th / sh;
    return {th, W, W >= tw};
}

void FitPicture(JpegObject& jpeg, const Raster& source, TargetSize target, const PictureSettings& settings)
{
    if (source.Width <= 0 || source.Height <= 0) {
        throw EngineError("Division by zero");
    }
    const FitPlan plan = PlanFit(source.Width, source.Height, target.Width, target.Height);
    if (plan.CropWidth) {
        FitCropWidth(jpeg, source, target, plan.H, plan.W, settings);
    } else {
        FitCropHeight(jpeg, source, target, plan.H, plan.W, settings);
    }
}

namespace {

// The common body of the two fit routines: the intermediate W x H, the kept rectangle, the copy onto the
// target and the quality.
void FitCrop(JpegObject& jpeg, const Raster& source, TargetSize target, int64_t H, int64_t W, bool cropWidth,
             const PictureSettings& settings)
{
    const bool usable = target.Usable() && W > 0 && H > 0;
    if (usable) {
        const int64_t excess = cropWidth ? W - target.Width : H - target.Height;
        const int64_t offset = excess / 2;
        const int64_t left = cropWidth ? offset : 0;
        const int64_t top = cropWidth ? 0 : offset;
        Raster window;
        RasterRowSource rows(source);
        ResampleAreaWindow(rows, W, H, left, top, W - left, H - top, window);
        jpeg.Image = StretchCopy(window, target.Width, target.Height);
    } else {
        jpeg.Image = Raster();
    }
    jpeg.Unencodable = !usable;
    jpeg.Data.clear();
    jpeg.Quality = static_cast<uint8_t>(StrToInt(settings.QualityText) & 0xff);
}

} // namespace

void FitCropWidth(JpegObject& jpeg, const Raster& source, TargetSize target, int64_t H, int64_t W,
                  const PictureSettings& settings)
{
    FitCrop(jpeg, source, target, H, W, true, settings);
}

void FitCropHeight(JpegObject& jpeg, const Raster& source, TargetSize target, int64_t H, int64_t W,
                   const PictureSettings& settings)
{
    FitCrop(jpeg, source, target, H, W, false, settings);
}

bool EncodeJpegObject(JpegObject& jpeg)
{
    jpeg.Data.clear();
    if (jpeg.Unencodable) {
        return false;
    }
    return EncodeJpeg(jpeg.Image, jpeg.Quality, jpeg.Progressive, jpeg.Data);
}

PreparedPicture PreparePicture(const std::string& path, PictureKind kind, const PictureSettings& settings)
{
    using Outcome = PreparedPicture::Outcome;
    PreparedPicture prepared;
    JpegObject jpeg;
    {
        Raster source;
        const bool loaded = kind == PictureKind::Jpeg ? LoadJpegPicture(path, jpeg, source)
                                                      : LoadBmpPicture(path, source);
        jpeg.Data = {};
        if (!loaded) {
            prepared.Result = Outcome::LoadFailed;
            return prepared;
        }
        TargetSize target;
        try {
            target.Width = StrToInt(settings.WidthText);
            target.Height = StrToInt(settings.HeightText);
        } catch (const EngineError& error) {
            prepared.Result = Outcome::SizeError;
            prepared.ErrorText = error.what();
            return prepared;
        }
        try {
            FitPicture(jpeg, source, target, settings);
        } catch (const EngineError& error) {
            prepared.Result = Outcome::FitError;
            prepared.ErrorText = error.what();
            return prepared;
        } catch (const std::bad_alloc&) {
            prepared.Result = Outcome::EncodeFailed;
            return prepared;
        }
    }
    if (!EncodeJpegObject(jpeg)) {
        prepared.Result = Outcome::EncodeFailed;
        return prepared;
    }
    prepared.Result = Outcome::Encoded;
    prepared.Jpeg = std::move(jpeg.Data);
    return prepared;
}
