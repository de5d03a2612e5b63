// Colour conversion with Little CMS 2: the profiles, lcms2's transform and the transforms of a run. Every
// lcms2 call of the tool lives in the picture/Colour*.cpp files; the lookup tables are in ColourTables.cpp.

#include "picture/Colour.h"

#include "picture/ColourTables.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <lcms2.h>
#include <lcms2_plugin.h> // cmsMD5*: the plugin interface, a public part of lcms2
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace quorvane {

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

using Digest = std::array<uint8_t, 16>;

// The MD5 of the profile's bytes, which tells profiles apart (lcms2's own, from its plugin interface).
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

Message Refused(Message why)
{
    return {MessageId::ColourProfileRefused, std::vector<Message>{std::move(why)}};
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
        Message Warning;
        uint64_t LastUse = 0;
    };

    std::mutex Mutex;
    std::shared_ptr<void> Context;
    cmsHPROFILE Srgb = nullptr;
    std::vector<Entry> Entries;
    uint64_t Uses = 0;
    int Read = 0;
    // Why the latest profile was refused: our own words, else lcms2's message; written while Mutex is held.
    Message Refusal;
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
        Refusal = {};
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
            Refusal = MessageId::ColourNotForPictures;
        } else if (cmsGetColorSpace(source.get()) != SpaceOf(profile.Model)) {
            Refusal = MessageId::ColourOtherSpace;
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
            entry.Warning = Refused(!Refusal.Empty()       ? Refusal
                                    : LastError[0] != '\0' ? Message::Plain(LastError)
                                                           : Message(MessageId::ColourUnreadable));
            return;
        }
        if (ChangesNothing(transform.get(), profile.Model)) {
            return;
        }
        std::unique_ptr<const Tables> tables = TablesFor(source.get(), Srgb, transform.get(), profile.Model, intent);
        // Allocated before the handle changes hands and held alone until shared, so that lcms2's transform
        // is deleted once, also when memory runs out.
        std::unique_ptr<const ColourTransform> made(
            new ColourTransform(transform.release(), profile.Model, Context, std::move(tables)));
        entry.Transform = std::move(made);
    }
};

ColourTransforms::ColourTransforms() : state_(std::make_unique<State>()) {}

ColourTransforms::~ColourTransforms() = default;

std::shared_ptr<const ColourTransform> ColourTransforms::For(const ColourProfile& profile, Message& warning)
{
    if (profile.Malformed) {
        warning = MessageId::ColourProfileDamaged;
        return nullptr;
    }
    if (profile.Bytes.empty()) {
        return nullptr;
    }
    std::lock_guard lock(state_->Mutex);
    if (!state_->Start()) {
        warning = Refused(MessageId::LoadOutOfMemory);
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
