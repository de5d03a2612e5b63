#include "conversion/Picture.h"

#include "conversion/DecodeAhead.h"
#include "conversion/JpegEncode.h"
#include "conversion/SmartCrop.h"
#include "picture/Formats.h"
#include "platform/EngineError.h"
#include "platform/File.h"
#include "platform/IntConv.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace quorvane {

FitPlan PlanCrop(int64_t H, int64_t W, bool cropWidth, int64_t tw, int64_t th, CropPosition crop)
{
    FitPlan plan{.H = H, .W = W, .CropWidth = cropWidth};
    const int64_t excess = cropWidth ? W - tw : H - th;
    const int64_t half = excess / 2;
    const int64_t offset = excess > 0 ? std::min(excess * crop.Millionths / CropPosition::Whole, 2 * half) : half;
    plan.Left = cropWidth ? offset : 0;
    plan.Top = cropWidth ? 0 : offset;
    plan.Width = cropWidth ? W - 2 * half : W;
    plan.Height = cropWidth ? H : H - 2 * half;
    plan.Stretch = plan.Width != tw || plan.Height != th;
    return plan;
}

FitPlan PlanFit(int64_t sw, int64_t sh, int64_t tw, int64_t th, CropPosition crop)
{
    if (sw < sh) {
        const int64_t H = sh * tw / sw;
        return PlanCrop(H, tw, th > H, tw, th, crop);
    }
    const int64_t W = sw * th / sh;
    return PlanCrop(th, W, W >= tw, tw, th, crop);
}

void FitPicture(JpegObject& jpeg, RowSource& source, TargetSize target, const PictureSettings& settings)
{
    if (source.Width() <= 0 || source.Height() <= 0) {
        throw EngineError("Division by zero");
    }
    const FitPlan plan = PlanFit(source.Width(), source.Height(), target.Width, target.Height, settings.Crop);
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
        const FitPlan plan = PlanCrop(H, W, cropWidth, target.Width, target.Height, settings.Crop);
        Raster window;
        jpeg.SourceFailed = !ResampleAreaWindow(source, W, H, plan.Left, plan.Top, plan.Left + plan.Width,
                                                plan.Top + plan.Height, window);
        if (jpeg.SourceFailed) {
            jpeg.Image = Raster();
        } else if (!plan.Stretch) {
            jpeg.Image = std::move(window);
        } else {
            jpeg.Image = StretchCopy(window, target.Width, target.Height);
        }
    } else {
        jpeg.Image = Raster();
    }
    jpeg.Unencodable = !usable;
    jpeg.Data.clear();
    // The quality box's number, taken within the encoder's range 0..100.
    jpeg.Quality = static_cast<uint8_t>(std::clamp(StrToInt(settings.QualityText), 0, 100));
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

PictureColour::PictureColour(PictureSource& picture, ColourTransforms& colours, std::vector<Message>& warnings)
{
    Message warning;
    transform_ = colours.For(picture.Profile(), warning);
    if (!warning.Empty()) {
        warnings.push_back(std::move(warning));
    }
    picture.ConvertRowsWith(transform_ && transform_->ForRows() ? transform_.get() : nullptr);
}

void PictureColour::ToSrgb(Raster& target) const
{
    if (transform_ && !transform_->ForRows()) {
        transform_->Apply(target);
    }
}

bool ReadTarget(const PictureSettings& settings, TargetSize& target, std::string& error)
{
    try {
        target.Width = StrToInt(settings.WidthText);
        target.Height = StrToInt(settings.HeightText);
        return true;
    } catch (const EngineError& e) {
        error = e.what();
        return false;
    }
}

namespace {

// Hands out a source's rows until the run is interrupted.
class StoppableSource final : public RowSource {
  public:
    StoppableSource(RowSource& source, const std::atomic<bool>* stop) : source_(source), stop_(stop) {}
    int32_t Width() const override { return source_.Width(); }
    int32_t Height() const override { return source_.Height(); }
    void LimitColumns(int32_t first, int32_t end) override { source_.LimitColumns(first, end); }
    const uint8_t* Row(int32_t y) override
    {
        return stop_ != nullptr && stop_->load(std::memory_order_relaxed) ? nullptr : source_.Row(y);
    }
    bool Finish() override { return source_.Finish(); }

  private:
    RowSource& source_;
    const std::atomic<bool>* stop_;
};

// A picture read whole into memory, handed out again row by row; its decoder still settles the end of the
// file and says why it failed.
class HeldSource final : public PictureSource {
  public:
    HeldSource(const Raster& whole, PictureSource& decoder) : whole_(whole), decoder_(decoder) {}
    int32_t Width() const override { return whole_.Width; }
    int32_t Height() const override { return whole_.Height; }
    const uint8_t* Row(int32_t y) override { return whole_.Row(y); }
    bool Finish() override { return decoder_.Finish(); }
    int64_t WorkingBytes() const override { return 0; }
    const LoadError& Error() const override { return decoder_.Error(); }

  private:
    const Raster& whole_;
    PictureSource& decoder_;
};

// Every row of `source` into `whole`; false when one cannot be read.
bool ReadWhole(RowSource& source, Raster& whole)
{
    whole = Raster(source.Width(), source.Height());
    for (int32_t y = 0; y < whole.Height; ++y) {
        const uint8_t* row = source.Row(y);
        if (row == nullptr) {
            return false;
        }
        std::memcpy(whole.Row(y), row, whole.Stride());
    }
    return true;
}

// `source` shrunk by area averaging to `shortSide` on its short side (as it is when smaller): what a smart
// crop looks at, made the same way whether the picture is listed, previewed or converted.
std::pair<int64_t, int64_t> LookingSize(int64_t width, int64_t height, int32_t shortSide)
{
    const int64_t side = std::min(width, height);
    if (side <= shortSide) {
        return {width, height};
    }
    return {std::max<int64_t>(1, width * shortSide / side), std::max<int64_t>(1, height * shortSide / side)};
}

bool ReduceForLooking(RowSource& source, int32_t shortSide, Raster& reduced)
{
    const auto [W, H] = LookingSize(source.Width(), source.Height(), shortSide);
    return ResampleAreaWindow(source, W, H, 0, 0, W, H, reduced);
}

// Bytes the resample keeps per sample of a window row: the row reduced across (32-bit) and the weighted
// sums down (double).
constexpr int64_t ResampleBytesPerSample = sizeof(uint32_t) + sizeof(double);
// Rows of the target's width that libjpeg's encoder holds at once (colour conversion, downsampling and
// one iMCU row of each component, with margin).
constexpr int64_t EncoderRowsHeld = 48;

int64_t Pixels(int64_t width, int64_t height)
{
    return std::max<int64_t>(0, width) * std::max<int64_t>(0, height);
}

// What the fitting holds: the resampled window with its row sums, and the target when the window must
// still be stretched onto it.
int64_t FitBytes(int32_t sw, int32_t sh, TargetSize target)
{
    if (!target.Usable() || sw <= 0 || sh <= 0) {
        return 0;
    }
    const FitPlan plan = PlanFit(sw, sh, target.Width, target.Height);
    return Pixels(plan.Width, plan.Height) * 3 + std::max<int64_t>(0, plan.Width) * 3 * ResampleBytesPerSample +
           (plan.Stretch ? Pixels(target.Width, target.Height) * 3 : 0);
}

// What the encoding holds besides the target raster: the output (which grows to at most half the raw
// size for any photo) and, for progressive output, libjpeg's coefficient buffer.
int64_t EncodeBytes(TargetSize target, bool progressive)
{
    if (!target.Usable()) {
        return 0;
    }
    const int64_t pixels = Pixels(target.Width, target.Height);
    return pixels * 3 / 2 + (progressive ? pixels * 3 : 0) + int64_t{target.Width} * 3 * EncoderRowsHeld;
}

// Fits the picture into the JPEG object while the lease holds the memory for it. A file found damaged only
// while its rows are read is a failed load all the same, whatever the fitting met on the way: Finish()
// settles that before any other outcome counts.
// `sizeError` is set when the width or height box held no number.
void FitSource(PictureSource& picture, TargetSize target, const std::string& sizeError, const PictureSettings& settings,
               const PrepareOptions& options, bool spread, JpegObject& jpeg, PreparedPicture& prepared)
{
    using Outcome = PreparedPicture::Outcome;
    StoppableSource stoppable(picture, options.Stop);
    std::unique_ptr<DecodeAhead> ahead = spread ? std::make_unique<DecodeAhead>(stoppable) : nullptr;
    RowSource& rows = ahead ? static_cast<RowSource&>(*ahead) : stoppable;
    auto fail = [&](Outcome outcome, std::string text) {
        const bool finished = rows.Finish();
        prepared.Result = finished ? outcome : Outcome::LoadFailed;
        prepared.ErrorText = finished ? std::move(text) : std::string();
    };
    if (!sizeError.empty()) {
        return fail(Outcome::SizeError, sizeError);
    }
    try {
        FitPicture(jpeg, rows, target, settings);
    } catch (const EngineError& e) {
        return fail(Outcome::FitError, e.what());
    }
    const bool finished = !jpeg.SourceFailed && rows.Finish();
    prepared.Result = finished ? Outcome::Encoded : Outcome::LoadFailed;
}

// The whole preparation; see PreparePicture.
void Prepare(const std::string& path, PictureFormat format, const PictureSettings& settings,
             const PrepareOptions& options, PreparedPicture& prepared)
{
    using Outcome = PreparedPicture::Outcome;
    std::unique_ptr<FileReader> file = OpenPictureFile(path, prepared.Load);
    std::unique_ptr<PictureSource> picture = file ? OpenPicture(format, *file, prepared.Load, options.Stop) : nullptr;
    if (!picture) {
        prepared.Result = Outcome::LoadFailed;
        return;
    }
    TargetSize target;
    std::string sizeError;
    const bool sized = ReadTarget(settings, target, sizeError);
    // Reading and fitting hold the source's memory and the fitted picture; encoding starts once the source
    // is closed and holds the target with what the encoder needs. The lease covers the larger of the two
    // and shrinks to the second when the source closes.
    const int64_t output =
        sized ? Pixels(target.Width, target.Height) * 3 + EncodeBytes(target, picture->MultiScan()) : 0;
    int64_t reading = picture->WorkingBytes() + ColourBytes(picture->Profile());
    reading += sized ? FitBytes(picture->Width(), picture->Height(), target) : 0;
    // A smart crop reads the picture whole before it chooses, and looks at it reduced.
    const bool smart = settings.Crop.Smart && target.Usable();
    if (smart) {
        const auto [W, H] = LookingSize(picture->Width(), picture->Height(), SmartCropWorkingSide);
        reading += Pixels(picture->Width(), picture->Height()) * 3 + Pixels(W, H) * 3 + W * 3 * ResampleBytesPerSample;
    }
    const bool spread = !smart && options.SpreadAbove > 0 && std::max(reading, output) > options.SpreadAbove;
    reading += spread ? DecodeAhead::BufferBytes(picture->Width()) : 0;
    const bool alone = prepared.Lease.Take(std::max(reading, output));

    ColourTransforms ownColours;
    const PictureColour colour(*picture, options.Colours ? *options.Colours : ownColours, prepared.Warnings);
    JpegObject jpeg;
    jpeg.Progressive = picture->MultiScan();
    PictureSettings placed = settings;
    Raster whole;
    std::unique_ptr<HeldSource> held;
    if (smart) {
        // The picture is decoded once: the choice is made from it and the fitting reads it again. A picture
        // that fails to read is fitted from its decoder, which reports the failure.
        StoppableSource stoppable(*picture, options.Stop);
        Raster reduced;
        if (ReadWhole(stoppable, whole)) {
            RasterRowSource rows(whole);
            ReduceForLooking(rows, SmartCropWorkingSide, reduced);
            placed.Crop = ChooseSmartCrop(reduced, whole.Width, whole.Height, target.Width, target.Height);
            held = std::make_unique<HeldSource>(whole, *picture);
        } else {
            placed.Crop = {};
        }
    }
    FitSource(held ? *held : *picture, target, sizeError, placed, options, spread && alone, jpeg, prepared);
    held.reset();
    whole = Raster();
    if (prepared.Result == Outcome::LoadFailed) {
        prepared.Load = picture->Error() ? picture->Error() : LoadError{LoadReason::Cancelled, {}};
    }
    if (prepared.Result == Outcome::Encoded) {
        colour.ToSrgb(jpeg.Image);
    }
    if (Message warning = picture->Warning(); !warning.Empty()) {
        prepared.Warnings.push_back(std::move(warning));
    }
    picture.reset();
    file.reset();
    prepared.Lease.ShrinkTo(output);
    if (options.Stop != nullptr && options.Stop->load()) {
        prepared.Result = Outcome::LoadFailed; // never reported: the run is stopping
        prepared.Load = {LoadReason::Cancelled, {}};
    }
    if (prepared.Result != Outcome::Encoded) {
        return;
    }
    if (!EncodeJpegObject(jpeg)) {
        prepared.Result = Outcome::EncodeFailed;
        return;
    }
    prepared.Jpeg = std::move(jpeg.Data);
    prepared.Lease.ShrinkTo(static_cast<int64_t>(prepared.Jpeg.capacity()));
}

} // namespace

PreparedPicture PreparePicture(const std::string& path, PictureFormat format, const PictureSettings& settings,
                               MemoryLease lease, const PrepareOptions& options)
{
    PreparedPicture prepared;
    prepared.Lease = std::move(lease);
    try {
        Prepare(path, format, settings, options, prepared);
    } catch (...) {
        return FailedPreparation(std::current_exception());
    }
    if (prepared.Result != PreparedPicture::Outcome::Encoded) {
        prepared.Jpeg = {};
        prepared.Lease.Reset();
    }
    return prepared;
}

bool ReadReducedPicture(const std::string& path, PictureFormat format, int32_t shortSide, Raster& reduced,
                        LoadError& why, const std::atomic<bool>* stop, bool quick)
{
    try {
        const std::unique_ptr<FileReader> file = OpenPictureFile(path, why);
        const std::unique_ptr<PictureSource> picture = file ? OpenPicture(format, *file, why, stop) : nullptr;
        if (!picture) {
            return false;
        }
        if (quick) {
            picture->ReduceTo(shortSide);
        }
        if (picture->Width() <= 0 || picture->Height() <= 0) {
            why = {LoadReason::PictureSize, {}};
            return false;
        }
        // The rows as a run reads them: a CMYK picture's converted by its profile.
        ColourTransforms colours;
        std::vector<Message> warnings;
        const PictureColour colour(*picture, colours, warnings);
        StoppableSource stoppable(*picture, stop);
        if (!ReduceForLooking(stoppable, shortSide, reduced) || !stoppable.Finish()) {
            why = picture->Error() ? picture->Error() : LoadError{LoadReason::Cancelled, {}};
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        why = {LoadReason::OutOfMemory, {}};
        return false;
    }
}

CropPosition ResolveCrop(const std::string& path, PictureFormat format, CropPosition crop, int32_t width,
                         int32_t height, TargetSize target, const std::atomic<bool>* stop)
{
    if (!crop.Smart) {
        return crop;
    }
    Raster reduced;
    LoadError why;
    if (!target.Usable() || width <= 0 || height <= 0 ||
        !ReadReducedPicture(path, format, SmartCropWorkingSide, reduced, why, stop, false)) {
        return {};
    }
    return ChooseSmartCrop(reduced, width, height, target.Width, target.Height);
}

bool ReadPictureSize(const std::string& path, PictureFormat format, int32_t& width, int32_t& height, LoadError& why)
{
    try {
        const std::unique_ptr<FileReader> file = OpenPictureFile(path, why);
        const std::unique_ptr<PictureSource> picture = file ? OpenPicture(format, *file, why) : nullptr;
        if (picture) {
            width = picture->Width();
            height = picture->Height();
        }
        return picture != nullptr;
    } catch (const std::bad_alloc&) {
        why = {LoadReason::OutOfMemory, {}};
        return false;
    }
}

PreparedPicture FailedPreparation(std::exception_ptr error)
{
    using Outcome = PreparedPicture::Outcome;
    PreparedPicture failed;
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        failed.Result = Outcome::LoadFailed;
        failed.Load = {LoadReason::OutOfMemory, {}};
    } catch (const std::exception& e) {
        failed.Result = Outcome::Failed;
        failed.ErrorText = e.what();
    } catch (...) {
        failed.Result = Outcome::Failed;
        failed.ErrorText = "Unknown error";
    }
    return failed;
}

} // namespace quorvane
