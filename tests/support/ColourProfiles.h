#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvane::TestFiles {

using Bytes = std::vector<uint8_t>;

// ICC profiles made with lcms2's constructors, so no profile file is kept in the repository.
enum class RgbSpace { Srgb, DisplayP3, AdobeRgb };
// A matrix-shaper profile with the space's published primaries, D65 white and transfer curve.
Bytes MakeRgbProfile(RgbSpace space);
// A gray profile whose samples are linear in light (gamma 1).
Bytes MakeLinearGrayProfile();
// A CMYK profile (0 = no ink) whose inks take away the wrong primary: cyan takes away blue, magenta red
// and yellow green; so pure cyan ink shows yellow, where the plain conversion shows cyan.
Bytes MakeTwistedCmykProfile();

// The JPEG with the profile in APP2 "ICC_PROFILE" segments of at most `chunkBytes` profile bytes each,
// inserted after SOI in sequence order.
Bytes WithIccProfile(Bytes jpeg, const Bytes& profile, size_t chunkBytes = 65519);
// The V5 BMP with the profile appended to the file and named embedded in its header.
Bytes WithBmpProfile(Bytes bmp, const Bytes& profile);

} // namespace quorvane::TestFiles
