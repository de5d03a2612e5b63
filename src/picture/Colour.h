#pragma once

#include "Messages.h"
#include "platform/Raster.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

// How a decoder's samples are laid out, which decides the kind of profile that fits them.
enum class ColourModel {
    Rgb,          // RGB triples
    Gray,         // gray pixels, handed out as RGB triples with equal channels
    Cmyk,         // four samples, 0 = no ink
    InvertedCmyk, // four samples, 255 = no ink (as Adobe applications store CMYK JPEGs)
};

// The ICC colour profile a decoder found in its file. No bytes: the picture is sRGB.
struct ColourProfile {
    std::vector<uint8_t> Bytes;
    ColourModel Model = ColourModel::Rgb;
    // A profile was there but could not be read whole: the picture counts as sRGB, with a warning.
    bool Malformed = false;
};

// Converts pixels of a picture's colours to sRGB. Holds no state while converting, so any number of
// threads may use it at once.
class ColourTransform {
  public:
    // Lookup tables that convert gray and matrix-shaper RGB pixels several times faster than lcms2's
    // general transform, made from the same profile and checked against it.
    struct Tables;

    ~ColourTransform();
    ColourTransform(const ColourTransform&) = delete;
    ColourTransform& operator=(const ColourTransform&) = delete;

    // Four-sample (CMYK) pixels, which become RGB only through the transform: it converts decoded rows.
    bool ForRows() const { return model_ == ColourModel::Cmyk || model_ == ColourModel::InvertedCmyk; }
    // `count` pixels of the model at `from` to RGB triples at `to`; for RGB and gray `from` may be `to`.
    void Apply(const uint8_t* from, uint8_t* to, size_t count) const;
    // An RGB or gray raster, in place.
    void Apply(Raster& raster) const;
    // True when the pixels go through the lookup tables rather than lcms2.
    bool ByTables() const { return tables_ != nullptr; }

  private:
    // Made only by ColourTransforms, from an lcms2 transform that it owns from then on.
    friend class ColourTransforms;
    ColourTransform(void* handle, ColourModel model, std::shared_ptr<void> context,
                    std::unique_ptr<const Tables> tables);

    void* handle_;
    ColourModel model_;
    std::shared_ptr<void> context_; // outlives the transform
    std::unique_ptr<const Tables> tables_;
};

// The transforms of one run: one per distinct profile, made the first time a picture carries it and then
// shared by every picture with the same profile bytes. Safe to use from several threads.
class ColourTransforms {
  public:
    ColourTransforms();
    ~ColourTransforms();
    ColourTransforms(const ColourTransforms&) = delete;
    ColourTransforms& operator=(const ColourTransforms&) = delete;

    // The transform to sRGB for the profile, or nullptr when there is nothing to convert: no profile, one
    // that changes no colour (an sRGB profile), or one that is malformed or refused; for the last two
    // `warning` says why the picture keeps its values as they are.
    std::shared_ptr<const ColourTransform> For(const ColourProfile& profile, Message& warning);
    // How many distinct profiles were read: made into a transform, found to change nothing, or refused.
    int ProfilesRead() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Colour information that stands in for an ICC profile: the chromaticities (x, y) of the primaries and the
// white point, and the curve from stored values to linear light.
struct Chromaticities {
    double Red[2], Green[2], Blue[2], White[2];
};
enum class ToneCurve { Srgb, Gamma, Linear };
struct ColourInfo {
    Chromaticities Primaries;
    ToneCurve Curve = ToneCurve::Srgb;
    double Gamma = 2.2; // the exponent of ToneCurve::Gamma
};

// BT.709 primaries with D65 white: sRGB's.
inline constexpr Chromaticities Bt709Primaries = {{0.640, 0.330}, {0.300, 0.600}, {0.150, 0.060}, {0.3127, 0.3290}};

// The profile of an RGB or gray picture described by colour information (a gray picture uses only the
// white point and the curve). No bytes when it describes sRGB, or when lcms2 cannot make the profile.
// The same information always gives the same bytes, so its pictures share one transform.
ColourProfile ProfileFromInfo(const ColourInfo& info, bool gray);

// The colour information of CICP code points (ITU-T H.273 colour primaries and transfer characteristics,
// as HEIF's nclx box and AVIF carry them); nothing for sRGB and for code points that name nothing to
// convert. The video curves (BT.709, BT.601, BT.2020) and the HDR curves are taken as the sRGB curve: the
// tool writes display pictures and maps no tones.
std::optional<ColourInfo> CicpColourInfo(int primaries, int transfer);

// The memory a picture's colour conversion holds while it is read: its profile as stored in the file, as
// handed over and as parsed, and the transform.
int64_t ColourBytes(const ColourProfile& profile);

} // namespace quorvane
