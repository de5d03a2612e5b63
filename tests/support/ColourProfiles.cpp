#include "support/ColourProfiles.h"

#include <algorithm>
#include <lcms2.h>
#include <stdexcept>

namespace quorvane::TestFiles {

namespace {

Bytes Save(cmsHPROFILE profile)
{
    cmsUInt32Number size = 0;
    Bytes bytes;
    if (profile != nullptr && cmsSaveProfileToMem(profile, nullptr, &size)) {
        bytes.resize(size);
        cmsSaveProfileToMem(profile, bytes.data(), &size);
    }
    cmsCloseProfile(profile);
    if (bytes.empty()) {
        throw std::runtime_error("lcms2 made no profile");
    }
    return bytes;
}

void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// CMYK (16-bit samples) to Lab through the twisted inks and sRGB.
cmsInt32Number TwistedInks(const cmsUInt16Number in[], cmsUInt16Number out[], void* toLab)
{
    const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0, k = in[3] / 65535.0;
    const double rgb[3] = {(1 - m) * (1 - k), (1 - y) * (1 - k), (1 - c) * (1 - k)};
    cmsCIELab lab;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(toLab), rgb, &lab, 1);
    cmsFloat2LabEncodedV2(out, &lab);
    return TRUE;
}

} // namespace

Bytes MakeRgbProfile(RgbSpace space)
{
    const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries;
    cmsToneCurve* curve = nullptr;
    if (space != RgbSpace::AdobeRgb) {
        primaries = space == RgbSpace::Srgb
                        ? cmsCIExyYTRIPLE{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}}
                        : cmsCIExyYTRIPLE{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
        const double srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
    } else {
        primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
        curve = cmsBuildGamma(nullptr, 563.0 / 256);
    }
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsFreeToneCurve(curve);
    return Save(profile);
}

Bytes MakeLinearGrayProfile()
{
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), linear);
    cmsFreeToneCurve(linear);
    return Save(profile);
}

Bytes MakeTwistedCmykProfile()
{
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);

    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(table, TwistedInks, toLab, 0);
    cmsPipelineInsertStage(pipeline, cmsAT_BEGIN, table);
    cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(pipeline);
    cmsDeleteTransform(toLab);
    return Save(profile);
}

Bytes WithIccProfile(Bytes jpeg, const Bytes& profile, size_t chunkBytes)
{
    const size_t count = (profile.size() + chunkBytes - 1) / chunkBytes;
    Bytes segments;
    for (size_t i = 0; i < count; ++i) {
        const size_t begin = i * chunkBytes;
        const size_t size = std::min(chunkBytes, profile.size() - begin);
        const size_t length = 2 + 12 + 2 + size;
        segments.insert(segments.end(),
                        {0xFF, 0xE2, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF)});
        const char tag[] = "ICC_PROFILE"; // with its terminating zero
        segments.insert(segments.end(), tag, tag + sizeof tag);
        segments.push_back(static_cast<uint8_t>(i + 1));
        segments.push_back(static_cast<uint8_t>(count));
        segments.insert(segments.end(), profile.begin() + static_cast<ptrdiff_t>(begin),
                        profile.begin() + static_cast<ptrdiff_t>(begin + size));
    }
    jpeg.insert(jpeg.begin() + 2, segments.begin(), segments.end());
    return jpeg;
}

Bytes WithBmpProfile(Bytes bmp, const Bytes& profile)
{
    constexpr size_t Info = 14;
    Put32(bmp, Info + 56, 0x4D424544); // 'MBED'
    Put32(bmp, Info + 112, static_cast<uint32_t>(bmp.size() - Info));
    Put32(bmp, Info + 116, static_cast<uint32_t>(profile.size()));
    bmp.insert(bmp.end(), profile.begin(), profile.end());
    Put32(bmp, 2, static_cast<uint32_t>(bmp.size()));
    return bmp;
}

} // namespace quorvane::TestFiles
