#pragma once

#include "conversion/Crop.h"
#include "conversion/MemoryGate.h"
#include "picture/Colour.h"
#include "picture/Formats.h"
#include "picture/PictureSource.h"
#include "platform/Limits.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {

// The per-picture JPEG object: compressed data, a raster of its own and the encoder settings.
struct JpegObject {
    std::vector<uint8_t> Data;
    Raster Image;
    uint8_t Quality = 90;
    bool Progressive = false;
    // Set when fitting found a target the encoder cannot take (a side of 0 or less, above 65500, or
    // too many pixels): saving it fails with the save message and writes nothing.
    bool Unencodable = false;
    // Set when the source could not deliver its rows while being fitted (a damaged file).
    bool SourceFailed = false;
};

// The texts a picture's fitting reads, taken from the boxes when the picture is handed out, and where its
// crop falls.
struct PictureSettings {
    PictureSettings() = default;
    PictureSettings(std::string width, std::string height, std::string quality, CropPosition crop = {})
        : WidthText(std::move(width)), HeightText(std::move(height)), QualityText(std::move(quality)), Crop(crop)
    {
    }

    std::string WidthText;
    std::string HeightText;
    std::string QualityText;
    CropPosition Crop;
};

// The target size as converted from the width and height boxes.
struct TargetSize {
    int32_t Width = 0;
    int32_t Height = 0;
    bool Usable() const
    {
        return Width > 0 && Height > 0 && Width <= MaxTargetSide && Height <= MaxTargetSide &&
               int64_t{Width} * Height <= MaxTargetPixels;
    }
};

// Scales the source so one side matches the target, places it (centred unless the settings say otherwise)
// and crops the excess of the other side (or stretches it when it comes out short), then gives the JPEG
// object the result and the quality.
// Throws EngineError for a source without pixels ("Division by zero") or a quality text that is not a
// number.
// The source is read row by row once; a source that fails to deliver a row leaves the object without a
// picture (see SourceFailed).
void FitPicture(JpegObject& jpeg, RowSource& source, TargetSize target, const PictureSettings& settings);
void FitCropWidth(JpegObject& jpeg, RowSource& source, TargetSize target, int64_t H, int64_t W,
                  const PictureSettings& settings);
void FitCropHeight(JpegObject& jpeg, RowSource& source, TargetSize target, int64_t H, int64_t W,
                   const PictureSettings& settings);

// How a picture fills the target, in 64-bit arithmetic: resampled to W x H so that one side matches the
// target, the window [Left, Left + Width) x [Top, Top + Height) of that kept, and the window stretched onto
// the target where its size differs. The window is as long as the cropped side less twice its excess
// halved and truncated (so an odd excess keeps one line more, merged on the copy); it starts at the excess
// times the crop position, truncated, and no further than the window fits: the centre keeps the excess
// halved on each side.
struct FitPlan {
    int64_t H = 0;
    int64_t W = 0;
    bool CropWidth = false; // the excess is cut from the width (FitCropWidth), else from the height
    int64_t Left = 0;
    int64_t Top = 0;
    int64_t Width = 0;
    int64_t Height = 0;
    bool Stretch = false; // the window is not the target's size: the copy onto the target stretches it

    bool operator==(const FitPlan&) const = default;
};
// The plan FitPicture follows for a source of sw x sh and a target of tw x th (sides above 0).
FitPlan PlanFit(int64_t sw, int64_t sh, int64_t tw, int64_t th, CropPosition crop = {});
// The window a fit routine keeps of a W x H intermediate, cropping the width or else the height.
FitPlan PlanCrop(int64_t H, int64_t W, bool cropWidth, int64_t tw, int64_t th, CropPosition crop = {});

// Converts the width and height texts into the target size; false with the error text when one is not a
// number.
bool ReadTarget(const PictureSettings& settings, TargetSize& target, std::string& error);

// Everything done for one picture that depends only on the file and the settings: load, size the target,
// fit and encode. The run turns the outcome into its bookkeeping in walk order.
struct PreparedPicture {
    enum class Outcome {
        LoadFailed,   // recorded among the skipped files; Load says why
        SizeError,    // the width or height text is not a number: the run ends before counting it
        FitError,     // an error inside the fitting: the run ends after counting it
        Encoded,      // Jpeg holds the output file's bytes
        EncodeFailed, // counted, but the save gives its message
        Failed,       // an unexpected error: the run ends with ErrorText
    };
    Outcome Result = Outcome::LoadFailed;
    std::string ErrorText;
    LoadError Load;
    // About a picture that converted all the same: a profile left unused, data cut short.
    std::vector<Message> Warnings;
    std::vector<uint8_t> Jpeg;
    // The memory the output still holds, released once it is written.
    MemoryLease Lease;
};

// How a picture shares the machine with the rest of the run.
struct PrepareOptions {
    const std::atomic<bool>* Stop = nullptr; // set when the run is interrupted
    // A picture that needs more than this (and has the budget to itself) decodes on a second thread
    // while its rows are resampled; 0 never.
    int64_t SpreadAbove = 0;
    // The run's colour transforms, shared by its pictures; none: the picture makes its own.
    ColourTransforms* Colours = nullptr;
};

// The colour conversion of one picture to sRGB, from its profile's transform in `colours`: a CMYK picture's
// decoder converts its rows with it, any other picture's fitted target is converted (the cheapest place:
// a wallpaper has far fewer pixels than a photo). A profile that is malformed or refused adds a warning
// and the picture keeps its values.
class PictureColour {
  public:
    PictureColour(PictureSource& picture, ColourTransforms& colours, std::vector<Message>& warnings);
    void ToSrgb(Raster& target) const;

  private:
    std::shared_ptr<const ColourTransform> transform_;
};

// Loads, fits and encodes one picture. The lease (a ticket of the run's memory gate, or none) is taken
// once the file's header tells what the picture will hold, before anything large is read or allocated; it
// shrinks as the picture lets go of memory and stays with the encoded output until that is written.
// Never throws: running out of memory is a failed load.
PreparedPicture PreparePicture(const std::string& path, PictureFormat format, const PictureSettings& settings,
                               MemoryLease lease = {}, const PrepareOptions& options = {});

// The upright size of the picture at `path` from its header; false with why when it cannot be opened.
bool ReadPictureSize(const std::string& path, PictureFormat format, int32_t& width, int32_t& height, LoadError& why);

// The whole upright picture at `path` reduced by area averaging to `shortSide` on its short side (kept
// as it is when smaller); false with why when it cannot be read. `quick` decodes it at a reduced size first
// where the format allows (a JPEG's scaled decoding), for a look only: without it the result is what a
// smart crop of the picture chooses from.
bool ReadReducedPicture(const std::string& path, PictureFormat format, int32_t shortSide, Raster& reduced,
                        LoadError& why, const std::atomic<bool>* stop = nullptr, bool quick = false);

// The position a picture of width x height at `path` is cropped at for the target: `crop` itself, or for a
// smart one the position its content gives (the centre when it cannot be looked over).
CropPosition ResolveCrop(const std::string& path, PictureFormat format, CropPosition crop, int32_t width,
                         int32_t height, TargetSize target, const std::atomic<bool>* stop = nullptr);

// What a preparation that threw comes to: a picture that could not get its memory is a failed load
// (not enough memory), anything else an error that ends the run.
PreparedPicture FailedPreparation(std::exception_ptr error);

// Encodes the object's raster (JPEG object's encoding); false when it cannot be encoded.
bool EncodeJpegObject(JpegObject& jpeg);

} // namespace quorvane
