// Colour conversion with Little CMS 2: every lcms2 call of the tool lives here.

#include "picture/Colour.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <lcms2.h>
#include <lcms2_plugin.h>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace quorvane {

struct ColourTransform::Tables {
    // RGB sums are kept in 1/65536 of full scale in three fields of this many bits of one 64-bit word.
    static constexpr int FieldBits = 21;
    // Linear light on its way out is looked up in steps of 4/65536 of full scale: one step moves an output
    // by at most a fifth of a level, on the steepest part of sRGB's curve.
    static constexpr int StepBits = 2;

    ColourModel Model = ColourModel::Rgb;
    // Gray: lcms2's sRGB triple for each level.
    std::array<uint8_t, 3 * 256> Gray{};
    // RGB: Part[c][v] holds, in one field per output channel, what input channel c at level v adds to
    // that channel of sRGB's linear light: the profile's curve and its matrix to sRGB's primaries folded
    // into one lookup, so that one addition per input channel sums all three outputs. The fields are
    // offset so that every sum is positive and the same for all three channels.
    std::array<std::array<uint64_t, 256>, 3> Part{};
    // sRGB's encoding of an offset sum, one entry per step, clipped into [0, 255] as lcms2 clips.
    std::vector<uint8_t> Encode;

    void Apply(const uint8_t* from, uint8_t* to, size_t count) const
    {
        if (Model == ColourModel::Gray) {
            for (size_t i = 0; i < count; ++i, from += 3, to += 3) {
                std::memcpy(to, &Gray[3 * size_t{from[0]}], 3);
            }
            return;
        }
        constexpr uint64_t steps = (uint64_t{1} << (FieldBits - StepBits)) - 1;
        const uint8_t* encode = Encode.data();
        for (size_t i = 0; i < count; ++i, from += 3, to += 3) {
            const uint64_t sums = Part[0][from[0]] + Part[1][from[1]] + Part[2][from[2]];
            to[0] = encode[(sums >> StepBits) & steps];
            to[1] = encode[(sums >> (FieldBits + StepBits)) & steps];
            to[2] = encode[sums >> (2 * FieldBits + StepBits)];
        }
    }
};

namespace {

using Tables = ColourTransform::Tables;

struct CloseProfile {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using ProfileHandle = std::unique_ptr<void, CloseProfile>;
struct DeleteTransform {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using TransformHandle = std::unique_ptr<void, DeleteTransform>;

// Transforms kept per run; a run meeting more distinct profiles makes the least recently used one again
// when it comes back. Each holds a few hundred KB at most.
constexpr size_t CachedTransforms = 8;
// What a transform holds at most: lcms2's precalculated table for 8-bit samples (33 points per RGB axis,
// 17 per CMYK axis, 16 bits a channel) and the lookup tables (at most half a MiB), with margin.
constexpr int64_t TransformBytes = int64_t{1} << 20;
// A transform that moves no sample on this grid by more than one level is no conversion (an sRGB profile).
constexpr int IdentityStep = 15;
// The grid on which lookup tables are checked against lcms2 (52 levels a channel).
constexpr int CheckStep = 5;

// The lcms2 pixel format of the model's samples. Gray pixels are RGB triples whose first channel is read
// and the other two skipped, so a gray raster converts in place.
cmsUInt32Number FormatOf(ColourModel model)
{
    switch (model) {
    case ColourModel::Rgb:
        return TYPE_RGB_8;
    case ColourModel::Gray:
        return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(2);
    case ColourModel::Cmyk:
        return TYPE_CMYK_8;
    case ColourModel::InvertedCmyk:
        return TYPE_CMYK_8_REV;
    }
    return TYPE_RGB_8; // only a value outside the enumeration gets here
}

cmsColorSpaceSignature SpaceOf(ColourModel model)
{
    switch (model) {
    case ColourModel::Rgb:
        return cmsSigRgbData;
    case ColourModel::Gray:
        return cmsSigGrayData;
    case ColourModel::Cmyk:
    case ColourModel::InvertedCmyk:
        return cmsSigCmykData;
    }
    return cmsSigRgbData;
}

// RGB triples on a grid over the RGB cube with the given step (every gray level for gray), where a
// transform is compared with the identity or with the lookup tables.
std::vector<uint8_t> Samples(ColourModel model, int step)
{
    std::vector<uint8_t> samples;
    if (model == ColourModel::Gray) {
        for (int v = 0; v < 256; ++v) {
            samples.insert(samples.end(), 3, static_cast<uint8_t>(v));
        }
    } else {
        for (int r = 0; r < 256; r += step) {
            for (int g = 0; g < 256; g += step) {
                for (int b = 0; b < 256; b += step) {
                    samples.insert(samples.end(),
                                   {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)});
                }
            }
        }
    }
    return samples;
}

// True when the transform leaves every sample of a grid over the RGB cube (every gray level) within one
// level of where it was.
bool ChangesNothing(cmsHTRANSFORM transform, ColourModel model)
{
    if (model != ColourModel::Rgb && model != ColourModel::Gray) {
        return false;
    }
    const std::vector<uint8_t> samples = Samples(model, IdentityStep);
    std::vector<uint8_t> converted(samples.size());
    cmsDoTransform(transform, samples.data(), converted.data(), static_cast<cmsUInt32Number>(samples.size() / 3));
    for (size_t i = 0; i < samples.size(); ++i) {
        // A gray pixel's second and third samples are not read: all three outputs follow the first.
        const int in = samples[model == ColourModel::Gray ? i - i % 3 : i];
        if (std::abs(converted[i] - in) > 1) {
            return false;
        }
    }
    return true;
}

// A gray profile's tables: lcms2's own conversion of each level.
std::unique_ptr<Tables> GrayTables(cmsHTRANSFORM transform)
{
    auto tables = std::make_unique<Tables>();
    tables->Model = ColourModel::Gray;
    const std::vector<uint8_t> levels = Samples(ColourModel::Gray, 1);
    cmsDoTransform(transform, levels.data(), tables->Gray.data(), 256);
    return tables;
}

// A matrix-shaper profile's matrix to the connection space (its colorants as columns) and its curves;
// false when one is missing.
bool ReadMatrixShaper(cmsHPROFILE profile, cmsMAT3& matrix, std::array<const cmsToneCurve*, 3>& curves)
{
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature trcs[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (size_t c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[c]));
        curves[c] = static_cast<const cmsToneCurve*>(cmsReadTag(profile, trcs[c]));
        if (xyz == nullptr || curves[c] == nullptr) {
            return false;
        }
        matrix.v[0].n[c] = xyz->X;
        matrix.v[1].n[c] = xyz->Y;
        matrix.v[2].n[c] = xyz->Z;
    }
    return true;
}

// An RGB matrix-shaper profile's tables (Display P3, Adobe RGB and most camera and phone profiles), or
// nullptr for a profile that converts through a table of its own.
std::unique_ptr<Tables> MatrixShaperTables(cmsHPROFILE source, cmsHPROFILE srgb, cmsUInt32Number intent)
{
    cmsMAT3 toPcs, srgbToPcs, fromPcs, toSrgb;
    std::array<const cmsToneCurve*, 3> in{}, out{};
    if (!cmsIsMatrixShaper(source) || cmsIsCLUT(source, intent, LCMS_USED_AS_INPUT) ||
        !ReadMatrixShaper(source, toPcs, in) || !ReadMatrixShaper(srgb, srgbToPcs, out) ||
        !_cmsMAT3inverse(&srgbToPcs, &fromPcs)) {
        return nullptr;
    }
    _cmsMAT3per(&toSrgb, &fromPcs, &toPcs);
    for (const cmsVEC3& row : toSrgb.v) {
        if (!std::all_of(std::begin(row.n), std::end(row.n), [](double m) { return std::abs(m) < 64; })) {
            return nullptr; // NaN or far from any real profile's
        }
    }
    // part[o][c][v]: what input channel c at level v adds to sRGB's linear channel o, in 1/65536.
    int64_t part[3][3][256];
    for (size_t c = 0; c < 3; ++c) {
        for (size_t v = 0; v < 256; ++v) {
            // lcms2 keeps a curve's output within [0, 1] too.
            const double linear =
                std::clamp<double>(cmsEvalToneCurveFloat(in[c], static_cast<cmsFloat32Number>(v / 255.0)), 0, 1);
            for (size_t o = 0; o < 3; ++o) {
                part[o][c][v] = std::llround(toSrgb.v[o].n[c] * linear * 65536);
            }
        }
    }
    // Each output's offset lifts its smallest sum to 0; then every output gets the largest offset, so one
    // table encodes all three.
    int64_t lift[3][3], offset = 0, top = 0;
    for (size_t o = 0; o < 3; ++o) {
        int64_t lifted = 0, highest = 0;
        for (size_t c = 0; c < 3; ++c) {
            const auto [low, high] = std::minmax_element(std::begin(part[o][c]), std::end(part[o][c]));
            lift[o][c] = -*low;
            lifted += -*low;
            highest += *high - *low;
        }
        offset = std::max(offset, lifted);
        top = std::max(top, highest - lifted);
    }
    if (offset + top >= (int64_t{1} << Tables::FieldBits)) {
        return nullptr; // a matrix too far from sRGB's for the fields
    }
    auto tables = std::make_unique<Tables>();
    for (size_t o = 0; o < 3; ++o) {
        lift[o][0] += offset - (lift[o][0] + lift[o][1] + lift[o][2]);
        for (size_t c = 0; c < 3; ++c) {
            for (size_t v = 0; v < 256; ++v) {
                tables->Part[c][v] += static_cast<uint64_t>(part[o][c][v] + lift[o][c]) << (Tables::FieldBits * o);
            }
        }
    }
    // sRGB's three curves are one.
    cmsToneCurve* encode = cmsReverseToneCurve(out[0]);
    if (encode == nullptr) {
        return nullptr;
    }
    tables->Encode.resize(static_cast<size_t>((offset + top) >> Tables::StepBits) + 1);
    for (size_t i = 0; i < tables->Encode.size(); ++i) {
        // The middle of the step's sums.
        const double linear = (static_cast<double>(i << Tables::StepBits) + 1.5 - static_cast<double>(offset)) / 65536;
        const double level = cmsEvalToneCurveFloat(encode, static_cast<cmsFloat32Number>(std::clamp(linear, 0.0, 1.0)));
        tables->Encode[i] = static_cast<uint8_t>(std::lround(255 * std::clamp(level, 0.0, 1.0)));
    }
    cmsFreeToneCurve(encode);
    return tables;
}

// The tables for the profile when they give every sample of a fine grid over the RGB cube within one
// level of lcms2's transform; nullptr leaves the pixels to lcms2.
std::unique_ptr<const Tables> TablesFor(cmsHPROFILE source, cmsHPROFILE srgb, cmsHTRANSFORM transform,
                                        ColourModel model, cmsUInt32Number intent)
{
    if (model == ColourModel::Gray) {
        return GrayTables(transform);
    }
    std::unique_ptr<Tables> tables = model == ColourModel::Rgb ? MatrixShaperTables(source, srgb, intent) : nullptr;
    if (tables == nullptr) {
        return nullptr;
    }
    const std::vector<uint8_t> samples = Samples(model, CheckStep);
    std::vector<uint8_t> byLcms(samples.size()), byTables(samples.size());
    cmsDoTransform(transform, samples.data(), byLcms.data(), static_cast<cmsUInt32Number>(samples.size() / 3));
    tables->Apply(samples.data(), byTables.data(), samples.size() / 3);
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(byLcms[i] - byTables[i]) > 1) {
            return nullptr;
        }
    }
    return tables;
}

using Digest = std::array<uint8_t, 16>;

// The MD5 of the profile's bytes, which tells profiles apart.
Digest DigestOf(const std::vector<uint8_t>& bytes, cmsContext context)
{
    cmsHANDLE md5 = cmsMD5alloc(context);
    if (md5 == nullptr) {
        throw std::bad_alloc();
    }
    cmsMD5add(md5, bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    cmsProfileID id;
    cmsMD5finish(&id, md5);
    Digest digest;
    std::memcpy(digest.data(), id.ID8, digest.size());
    return digest;
}

std::string RefusedText(const std::string& why)
{
    return "цветовой профиль не принят (" + why + "), цвета взяты без преобразования";
}

} // namespace

ColourTransform::ColourTransform(void* handle, ColourModel model, std::shared_ptr<void> context,
                                 std::unique_ptr<const Tables> tables)
    : handle_(handle), model_(model), context_(std::move(context)), tables_(std::move(tables))
{
}

ColourTransform::~ColourTransform()
{
    cmsDeleteTransform(handle_);
}

void ColourTransform::Apply(const uint8_t* from, uint8_t* to, size_t count) const
{
    if (tables_ != nullptr) {
        tables_->Apply(from, to, count);
        return;
    }
    cmsDoTransform(handle_, from, to, static_cast<cmsUInt32Number>(count));
}

void ColourTransform::Apply(Raster& raster) const
{
    for (int32_t y = 0; y < raster.Height; ++y) {
        Apply(raster.Row(y), raster.Row(y), static_cast<size_t>(raster.Width));
    }
}

struct ColourTransforms::State {
    struct Entry {
        ColourModel Model;
        Digest Key;
        std::shared_ptr<const ColourTransform> Transform; // nullptr: nothing to convert
        std::string Warning;
        uint64_t LastUse = 0;
    };

    std::mutex Mutex;
    std::shared_ptr<void> Context;
    cmsHPROFILE Srgb = nullptr;
    std::vector<Entry> Entries;
    uint64_t Uses = 0;
    int Read = 0;
    // lcms2's message about the latest failure; written while Mutex is held.
    char LastError[256] = {};

    cmsContext Lcms() const { return static_cast<cmsContext>(Context.get()); }

    static void LogError(cmsContext context, cmsUInt32Number, const char* text)
    {
        auto* state = static_cast<State*>(cmsGetContextUserData(context));
        std::snprintf(state->LastError, sizeof state->LastError, "%s", text != nullptr ? text : "");
    }

    ~State()
    {
        if (Srgb != nullptr) {
            cmsCloseProfile(Srgb);
        }
    }

    // The context and the sRGB profile, made when the first profile of the run is met; false when lcms2
    // has no memory for them.
    bool Start()
    {
        if (Srgb != nullptr) {
            return true;
        }
        if (!Context) {
            cmsContext context = cmsCreateContext(nullptr, this);
            if (context == nullptr) {
                return false;
            }
            Context = std::shared_ptr<void>(context, [](void* c) { cmsDeleteContext(static_cast<cmsContext>(c)); });
            cmsSetLogErrorHandlerTHR(context, LogError);
        }
        Srgb = cmsCreate_sRGBProfileTHR(Lcms());
        return Srgb != nullptr;
    }

    // Parses the profile and makes its transform; on refusal the entry holds the warning instead.
    void Make(const ColourProfile& profile, Entry& entry)
    {
        ++Read;
        LastError[0] = '\0';
        const ProfileHandle source(
            cmsOpenProfileFromMemTHR(Lcms(), profile.Bytes.data(), static_cast<cmsUInt32Number>(profile.Bytes.size())));
        TransformHandle transform;
        cmsUInt32Number intent = INTENT_RELATIVE_COLORIMETRIC;
        if (source == nullptr) {
            // lcms2's message says why
        } else if (const cmsProfileClassSignature kind = cmsGetDeviceClass(source.get());
                   kind != cmsSigInputClass && kind != cmsSigDisplayClass && kind != cmsSigOutputClass &&
                   kind != cmsSigColorSpaceClass) {
            std::snprintf(LastError, sizeof LastError, "%s", "профиль не описывает снимок");
        } else if (cmsGetColorSpace(source.get()) != SpaceOf(profile.Model)) {
            std::snprintf(LastError, sizeof LastError, "%s", "профиль другого цветового пространства");
        } else {
            // Perceptual with black-point compensation where the profile has it, else relative colorimetric.
            if (cmsIsIntentSupported(source.get(), INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT)) {
                intent = INTENT_PERCEPTUAL;
            }
            // No cache: the transform then holds no state and serves every worker thread at once.
            transform.reset(cmsCreateTransformTHR(Lcms(), source.get(), FormatOf(profile.Model), Srgb, TYPE_RGB_8,
                                                  intent, cmsFLAGS_NOCACHE | cmsFLAGS_BLACKPOINTCOMPENSATION));
        }
        if (transform == nullptr) {
            entry.Warning = RefusedText(LastError[0] != '\0' ? LastError : "не читается");
            return;
        }
        if (ChangesNothing(transform.get(), profile.Model)) {
            return;
        }
        std::unique_ptr<const Tables> tables = TablesFor(source.get(), Srgb, transform.get(), profile.Model, intent);
        entry.Transform = std::make_shared<ColourTransform>(transform.get(), profile.Model, Context, std::move(tables));
        transform.release();
    }
};

ColourTransforms::ColourTransforms() : state_(std::make_unique<State>()) {}

ColourTransforms::~ColourTransforms() = default;

std::shared_ptr<const ColourTransform> ColourTransforms::For(const ColourProfile& profile, std::string& warning)
{
    if (profile.Malformed) {
        warning = "цветовой профиль повреждён, цвета взяты без преобразования";
        return nullptr;
    }
    if (profile.Bytes.empty()) {
        return nullptr;
    }
    std::lock_guard lock(state_->Mutex);
    if (!state_->Start()) {
        warning = RefusedText("не хватило памяти");
        return nullptr;
    }
    const Digest key = DigestOf(profile.Bytes, state_->Lcms());
    std::vector<State::Entry>& entries = state_->Entries;
    auto entry = std::find_if(entries.begin(), entries.end(),
                              [&](const State::Entry& e) { return e.Model == profile.Model && e.Key == key; });
    if (entry == entries.end()) {
        if (entries.size() >= CachedTransforms) {
            entries.erase(std::min_element(entries.begin(), entries.end(),
                                           [](const auto& a, const auto& b) { return a.LastUse < b.LastUse; }));
        }
        State::Entry made{profile.Model, key, nullptr, {}, 0};
        state_->Make(profile, made);
        entries.push_back(std::move(made));
        entry = entries.end() - 1;
    }
    entry->LastUse = ++state_->Uses;
    warning = entry->Warning;
    return entry->Transform;
}

int ColourTransforms::ProfilesRead() const
{
    std::lock_guard lock(state_->Mutex);
    return state_->Read;
}

int64_t ColourBytes(const ColourProfile& profile)
{
    return profile.Bytes.empty() ? 0 : 3 * static_cast<int64_t>(profile.Bytes.size()) + TransformBytes;
}

} // namespace quorvane
