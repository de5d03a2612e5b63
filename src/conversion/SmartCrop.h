#pragma once

#include "conversion/Crop.h"
#include "platform/Raster.h"

#include <cstdint>

namespace quorvane {

// The short side the chooser looks at a picture with; a larger picture is first reduced to it.
inline constexpr int32_t SmartCropWorkingSide = 256;

// Weights of the attention terms and of the preference for the centre; the defaults were chosen on one half
// of the labelled photographs of bench/smart-crop (tune.py) and are reported on the other.
// Each term gives 0 to 255 per pixel and is multiplied by its weight (0 to 1000).
struct SmartCropWeights {
    int Edges = 8;        // luminance edge strength
    int Colour = 9;       // how rare a pixel's chroma is in the picture
    int RareColour = 12;  // a chroma shared (with its neighbours) by 1 / RareColour of the picture is not rare
    int Skin = 12;        // closeness to skin tones
    int EdgeFloor = 24;   // edge strength (Sobel |gx|+|gy| of 0..255 luminance) taken as noise and ignored
    int Taper = 15;       // per cent of the kept window, at each end, over which attention counts less
    int CentrePull = 60;  // per cent of a line's mean attention a position loses per line it lies off centre
    int CentreMargin = 8; // per cent the best position must gain over the centre to be taken

    bool operator==(const SmartCropWeights&) const = default;
};

// Where the kept window should fall for a picture whose whole upright content, reduced to any size, is
// `reduced`, when a picture of fullWidth x fullHeight fills a target of targetWidth x targetHeight: the
// width is cropped when targetWidth * fullHeight < targetHeight * fullWidth, the height when the opposite
// holds. The window goes where the picture draws the eye most (edges, distinct colour, skin), and stays
// exactly at the centre unless some other place is clearly better, when there is no crop, and when the
// sizes are unusable. Integer arithmetic only: every system gives the same answer, and the mirrored
// picture the mirrored position.
CropPosition ChooseSmartCrop(const Raster& reduced, int64_t fullWidth, int64_t fullHeight, int64_t targetWidth,
                             int64_t targetHeight, const SmartCropWeights& weights = {});

} // namespace quorvane
