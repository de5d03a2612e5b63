#pragma once

#include "platform/Raster.h"

#include <cstdint>
#include <string>
#include <vector>

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

// The texts a picture's fitting reads, taken from the boxes when the picture is handed out.
struct PictureSettings {
    std::string WidthText;
    std::string HeightText;
    std::string QualityText;
};

// Largest target the fitting produces; anything larger is a save failure rather than an allocation.
inline constexpr int32_t MaxTargetSide = 65500;
inline constexpr int64_t MaxTargetPixels = int64_t{1} << 28;

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

bool LoadJpegPicture(const std::string& path, JpegObject& jpeg, Raster& source);
bool LoadBmpPicture(const std::string& path, Raster& source);

// Scales the source so one side matches the target, centres it and crops the excess of the other side
// (or stretches it when it comes out short), then gives the JPEG object the result and the quality.
// Throws EngineError for a source without pixels ("Division by zero") or a quality text that is not a
// number.
// The source is read row by row once; a source that fails to deliver a row leaves the object without a
// picture (see SourceFailed).
void FitPicture(JpegObject& jpeg, RowSource& source, TargetSize target, const PictureSettings& settings);
void FitCropWidth(JpegObject& jpeg, RowSource& source, TargetSize target, int64_t H, int64_t W,
                  const PictureSettings& settings);
void FitCropHeight(JpegObject& jpeg, RowSource& source, TargetSize target, int64_t H, int64_t W,
                   const PictureSettings& settings);

// The intermediate size FitPicture chooses and which side it crops, in 64-bit arithmetic.
struct FitPlan {
    int64_t H = 0;
    int64_t W = 0;
    bool CropWidth = false;
};
FitPlan PlanFit(int64_t sw, int64_t sh, int64_t tw, int64_t th);

enum class PictureKind { Jpeg, Bmp };

// Everything done for one picture that depends only on the file and the settings: load, size the target,
// fit and encode. The run turns the outcome into its bookkeeping in walk order.
struct PreparedPicture {
    enum class Outcome {
        LoadFailed,   // recorded among the skipped files
        SizeError,    // the width or height text is not a number: the run ends before counting it
        FitError,     // an error inside the fitting: the run ends after counting it
        Encoded,      // Jpeg holds the output file's bytes
        EncodeFailed, // counted, but the save gives its message
    };
    Outcome Result = Outcome::LoadFailed;
    std::string ErrorText;
    std::vector<uint8_t> Jpeg;
};
// Streaming decodes JPEG rows straight into the resample; the whole-picture path decodes first and is kept
// as the reference the streaming one must match.
// With a gate, the picture waits until its estimated working memory fits the gate's budget.
enum class DecodePath { Streaming, WholePicture };
class MemoryGate;
PreparedPicture PreparePicture(const std::string& path, PictureKind kind, const PictureSettings& settings,
                               DecodePath decodePath = DecodePath::Streaming, MemoryGate* gate = nullptr);

// Encodes the object's raster (JPEG object's encoding); false when it cannot be encoded.
bool EncodeJpegObject(JpegObject& jpeg);
