// Profiles made from colour information (CICP code points, PNG's gAMA and cHRM) with Little CMS 2.

#include "picture/Colour.h"

#include <cmath>
#include <cstring>
#include <lcms2.h>

namespace quorvane {

namespace {

struct Curve {
    cmsToneCurve* handle;
    explicit Curve(const ColourInfo& info)
    {
        // sRGB's curve as lcms2's parametric type 4: Y = ((X + a) / (1 + a))^2.4 above 0.04045, X / 12.92 below.
        static const cmsFloat64Number Srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
        switch (info.Curve) {
        case ToneCurve::Srgb:
            handle = cmsBuildParametricToneCurve(nullptr, 4, Srgb);
            return;
        case ToneCurve::Gamma:
            handle = cmsBuildGamma(nullptr, info.Gamma);
            return;
        case ToneCurve::Linear:
            handle = cmsBuildGamma(nullptr, 1.0);
            return;
        }
        handle = nullptr;
    }
    ~Curve() { cmsFreeToneCurve(handle); }
    Curve(const Curve&) = delete;
    Curve& operator=(const Curve&) = delete;
};

cmsCIExyY Xy(const double (&xy)[2])
{
    return {xy[0], xy[1], 1.0};
}

// Bytes 24..35 of an ICC header hold its creation time, which lcms2 sets to now; cleared, equal
// information gives equal bytes.
constexpr size_t CreationTimeOffset = 24;
constexpr size_t CreationTimeBytes = 12;

} // namespace

ColourProfile ProfileFromInfo(const ColourInfo& info, bool gray)
{
    const Curve curve(info);
    if (curve.handle == nullptr) {
        return {};
    }
    const cmsCIExyY white = Xy(info.Primaries.White);
    cmsHPROFILE profile = nullptr;
    if (gray) {
        profile = cmsCreateGrayProfile(&white, curve.handle);
    } else {
        const cmsCIExyYTRIPLE primaries = {Xy(info.Primaries.Red), Xy(info.Primaries.Green), Xy(info.Primaries.Blue)};
        cmsToneCurve* curves[3] = {curve.handle, curve.handle, curve.handle};
        profile = cmsCreateRGBProfile(&white, &primaries, curves);
    }
    if (profile == nullptr) {
        return {};
    }
    ColourProfile made;
    made.Model = gray ? ColourModel::Gray : ColourModel::Rgb;
    cmsUInt32Number size = 0;
    if (cmsSaveProfileToMem(profile, nullptr, &size) && size > CreationTimeOffset + CreationTimeBytes) {
        made.Bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, made.Bytes.data(), &size)) {
            made.Bytes.clear();
        } else {
            std::memset(made.Bytes.data() + CreationTimeOffset, 0, CreationTimeBytes);
        }
    }
    cmsCloseProfile(profile);
    return made;
}

std::optional<ColourInfo> CicpColourInfo(int primaries, int transfer)
{
    ColourInfo info;
    switch (primaries) {
    case 1: // BT.709, sRGB
    case 2: // unspecified
        info.Primaries = Bt709Primaries;
        break;
    case 4: // BT.470 System M
        info.Primaries = {{0.67, 0.33}, {0.21, 0.71}, {0.14, 0.08}, {0.310, 0.316}};
        break;
    case 5: // BT.470 System B, G; BT.601 625 lines
        info.Primaries = {{0.64, 0.33}, {0.29, 0.60}, {0.15, 0.06}, {0.3127, 0.3290}};
        break;
    case 6: // BT.601 525 lines
    case 7: // SMPTE 240M
        info.Primaries = {{0.630, 0.340}, {0.310, 0.595}, {0.155, 0.070}, {0.3127, 0.3290}};
        break;
    case 8: // generic film
        info.Primaries = {{0.681, 0.319}, {0.243, 0.692}, {0.145, 0.049}, {0.310, 0.316}};
        break;
    case 9: // BT.2020, BT.2100
        info.Primaries = {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}, {0.3127, 0.3290}};
        break;
    case 11: // DCI-P3
        info.Primaries = {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, {0.314, 0.351}};
        break;
    case 12: // Display P3
        info.Primaries = {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, {0.3127, 0.3290}};
        break;
    case 22: // EBU Tech. 3213
        info.Primaries = {{0.630, 0.340}, {0.295, 0.605}, {0.155, 0.077}, {0.3127, 0.3290}};
        break;
    default:
        info.Primaries = Bt709Primaries;
        break;
    }
    switch (transfer) {
    case 4: // gamma 2.2
        info.Curve = ToneCurve::Gamma;
        info.Gamma = 2.2;
        break;
    case 5: // gamma 2.8
        info.Curve = ToneCurve::Gamma;
        info.Gamma = 2.8;
        break;
    case 8: // linear
        info.Curve = ToneCurve::Linear;
        break;
    default:
        info.Curve = ToneCurve::Srgb;
        break;
    }
    const bool srgbPrimaries = std::memcmp(&info.Primaries, &Bt709Primaries, sizeof info.Primaries) == 0;
    if (srgbPrimaries && info.Curve == ToneCurve::Srgb) {
        return std::nullopt;
    }
    return info;
}

} // namespace quorvane
