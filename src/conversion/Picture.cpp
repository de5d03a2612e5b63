#include "conversion/Picture.h"

#include "conversion/JpegCodec.h"
#include "conversion/MemoryGate.h"
#include "platform/Bmp.h"
#include "platform/EngineError.h"
#include "platform/IntConv.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// No picture the decoders accept can come from a larger file, so a larger one is refused before it is
// read into memory.
constexpr int64_t MaxPictureFileBytes = MaxPicturePixels * 4 + (int64_t{1} << 20);

bool ReadPictureFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    // Opened without waiting, so a pipe or device named like a picture is refused instead of blocking.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= MaxPictureFileBytes;
    if (ok) {
        try {
            bytes.resize(static_cast<size_t>(info.st_size));
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    size_t got = 0;
    while (ok && got < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n >= 0;
        if (n <= 0) {
            break; // a file that shrank while being read is taken as it was found
        }
        got += static_cast<size_t>(n);
    }
    close(fd);
    bytes.resize(ok ? got : 0);
    return ok;
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

void FitPicture(JpegObject& jpeg, RowSource& source, TargetSize target, const PictureSettings& settings)
{
    if (source.Width() <= 0 || source.Height() <= 0) {
        throw EngineError("Division by zero");
    }
    const FitPlan plan = PlanFit(source.Width(), source.Height(), target.Width, target.Height);
    if (plan.CropWidth) {
        FitCropWidth(jpeg, source, target, plan.H, plan.W, settings);
    } else {
        FitCropHeight(jpeg, source, target, plan.H, plan.W, settings);
    }
}

namespace {

// The common body of the two fit routines: the intermediate W x H, the kept rectangle, the copy onto the
// target and the quality.
void FitCrop(JpegObject& jpeg, RowSource& source, TargetSize target, int64_t H, int64_t W, bool cropWidth,
             const PictureSettings& settings)
{
    const bool usable = target.Usable() && W > 0 && H > 0;
    if (usable) {
        const int64_t excess = cropWidth ? W - target.Width : H - target.Height;
        const int64_t offset = excess / 2;
        const int64_t left = cropWidth ? offset : 0;
        const int64_t top = cropWidth ? 0 : offset;
        Raster window;
        jpeg.SourceFailed = !ResampleAreaWindow(source, W, H, left, top, W - left, H - top, window);
        if (jpeg.SourceFailed) {
            jpeg.Image = Raster();
        } else if (window.Width == target.Width && window.Height == target.Height) {
            jpeg.Image = std::move(window);
        } else {
            jpeg.Image = StretchCopy(window, target.Width, target.Height);
        }
    } else {
        jpeg.Image = Raster();
    }
    jpeg.Unencodable = !usable;
    jpeg.Data.clear();
    jpeg.Quality = static_cast<uint8_t>(StrToInt(settings.QualityText) & 0xff);
}

} // namespace

void FitCropWidth(JpegObject& jpeg, RowSource& source, TargetSize target, int64_t H, int64_t W,
                  const PictureSettings& settings)
{
    FitCrop(jpeg, source, target, H, W, true, settings);
}

void FitCropHeight(JpegObject& jpeg, RowSource& source, TargetSize target, int64_t H, int64_t W,
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

namespace {

// Loads the picture as a row source: nullptr when loading fails. `bytes` holds the file for as long as
// the source reads from it.
std::unique_ptr<RowSource> OpenPicture(const std::string& path, PictureKind kind, DecodePath decodePath,
                                       JpegObject& jpeg, std::vector<uint8_t>& bytes, int64_t& workingBytes)
{
    Raster source;
    if (kind == PictureKind::Bmp && decodePath == DecodePath::WholePicture) {
        if (!LoadBmpPicture(path, source)) {
            return nullptr;
        }
    } else if (kind == PictureKind::Bmp) {
        if (!ReadPictureFile(path, bytes)) {
            return nullptr;
        }
        auto rows = OpenBmp(bytes.data(), bytes.size(), workingBytes);
        return rows;
    } else if (decodePath == DecodePath::WholePicture) {
        if (!LoadJpegPicture(path, jpeg, source)) {
            return nullptr;
        }
        jpeg.Data = {};
    } else {
        if (!ReadPictureFile(path, bytes)) {
            return nullptr;
        }
        JpegHeaderInfo info;
        auto rows = OpenJpeg(bytes.data(), bytes.size(), info);
        jpeg.Progressive = info.MultiScan;
        workingBytes = info.WorkingBytes;
        return rows;
    }
    return std::make_unique<OwnedRasterSource>(std::move(source));
}

} // namespace

PreparedPicture PreparePicture(const std::string& path, PictureKind kind, const PictureSettings& settings,
                               DecodePath decodePath, MemoryGate* gate)
{
    using Outcome = PreparedPicture::Outcome;
    PreparedPicture prepared;
    JpegObject jpeg;
    {
        std::vector<uint8_t> bytes;
        int64_t workingBytes = 0;
        std::unique_ptr<RowSource> source = OpenPicture(path, kind, decodePath, jpeg, bytes, workingBytes);
        MemoryLease lease;
        // A file found damaged only while its rows are read is a failed load all the same, whatever the
        // fitting met on the way: Finish() settles that before any other outcome counts.
        auto fail = [&](Outcome outcome, std::string text = {}) {
            prepared.Result = source && source->Finish() ? outcome : Outcome::LoadFailed;
            prepared.ErrorText = prepared.Result == outcome ? std::move(text) : std::string();
            return prepared;
        };
        if (!source) {
            prepared.Result = Outcome::LoadFailed;
            return prepared;
        }
        TargetSize target;
        try {
            target.Width = StrToInt(settings.WidthText);
            target.Height = StrToInt(settings.HeightText);
        } catch (const EngineError& error) {
            return fail(Outcome::SizeError, error.what());
        }
        // The file, the decoder's own buffers, and the target picture with its encoded copy.
        const int64_t targetBytes = target.Usable() ? int64_t{target.Width} * target.Height * 3 * 2 : 0;
        lease.Take(gate, static_cast<int64_t>(bytes.size()) + workingBytes + targetBytes);
        try {
            FitPicture(jpeg, *source, target, settings);
        } catch (const EngineError& error) {
            return fail(Outcome::FitError, error.what());
        } catch (const std::bad_alloc&) {
            return fail(Outcome::EncodeFailed);
        }
        if (jpeg.SourceFailed || !source->Finish()) {
            prepared.Result = Outcome::LoadFailed;
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
