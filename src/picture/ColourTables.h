#pragma once

// The lookup tables of a colour transform, compiled from its profile. Included only by the
// picture/Colour*.cpp files, the ones that call lcms2.

#include "picture/Colour.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <lcms2.h>
#include <memory>
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

    // `count` RGB triples (gray: the first sample of each) at `from` to sRGB triples at `to`; `from` may
    // be `to`.
    void Apply(const uint8_t* from, uint8_t* to, size_t count) const;
};

// RGB triples on a grid over the RGB cube with the given step (every gray level for gray), where a
// transform is compared with the identity or with the lookup tables.
std::vector<uint8_t> Samples(ColourModel model, int step);

// The tables for the profile when they give every sample of a fine grid over the RGB cube within one
// level of lcms2's transform from it to sRGB; nullptr leaves the pixels to lcms2.
std::unique_ptr<const ColourTransform::Tables> TablesFor(cmsHPROFILE source, cmsHPROFILE srgb, cmsHTRANSFORM transform,
                                                         ColourModel model, cmsUInt32Number intent);

} // namespace quorvane
