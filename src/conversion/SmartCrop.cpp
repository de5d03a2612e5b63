#include "conversion/SmartCrop.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <vector>

namespace quorvane {

namespace {

constexpr int64_t MaxWorkingLong = 4096;      // the long side's limit, for very long panoramas
constexpr int64_t MaxSize = int64_t{1} << 24; // full and target sides beyond this are not looked at
constexpr int64_t ProfileLimit = int64_t{1} << 24;

// Skin tones: the centre of their region in Cb and Cr and its half-widths, in levels.
constexpr int64_t SkinCb = 108 - 128;
constexpr int64_t SkinCr = 155 - 128;
constexpr int64_t SkinCbHalf = 22;
constexpr int64_t SkinCrHalf = 15;
constexpr int64_t SkinRadius = SkinCbHalf * SkinCrHalf * 256;

constexpr int ChromaBins = 16;

int64_t Clamp(int64_t value, int64_t low, int64_t high)
{
    return std::min(std::max(value, low), high);
}

// The sides the picture is looked at with: the short side brought down to the working side, the long
// side to its limit, neither ever enlarged.
void WorkingSize(int64_t width, int64_t height, int64_t& w, int64_t& h)
{
    const int64_t shortSide = std::min(width, height);
    const int64_t longSide = std::max(width, height);
    int64_t newShort = shortSide;
    int64_t newLong = longSide;
    if (longSide * SmartCropWorkingSide <= shortSide * MaxWorkingLong) {
        if (shortSide > SmartCropWorkingSide) {
            newShort = SmartCropWorkingSide;
            newLong = (2 * longSide * SmartCropWorkingSide + shortSide) / (2 * shortSide);
        }
    } else if (longSide > MaxWorkingLong) {
        newLong = MaxWorkingLong;
        newShort = std::max<int64_t>(1, (2 * shortSide * MaxWorkingLong + longSide) / (2 * longSide));
    }
    w = width <= height ? newShort : newLong;
    h = width <= height ? newLong : newShort;
}

// How much a pixel looks like skin, 0 to 255: full over the core of the skin region in Cb and Cr, falling
// smoothly to nothing at its rim, and faded out towards black. cb and cr are 256 times Cb - 128 and Cr - 128.
int64_t SkinScore(int64_t luma, int64_t cb, int64_t cr)
{
    const int64_t u = (cb - SkinCb * 256) * SkinCrHalf;
    const int64_t v = (cr - SkinCr * 256) * SkinCbHalf;
    const int64_t rim = SkinRadius * SkinRadius;
    if (u * u + v * v >= rim) {
        return 0;
    }
    const int64_t chroma = std::min<int64_t>(2 * 255 * (rim - u * u - v * v) / rim, 255);
    return chroma * Clamp((luma - 24) * 255 / 48, 0, 255) / 255;
}

// 256 times Cb - 128 and Cr - 128 of an RGB pixel.
int64_t Cb(const uint8_t* p)
{
    return -43 * p[0] - 85 * p[1] + 128 * p[2];
}

int64_t Cr(const uint8_t* p)
{
    return 128 * p[0] - 107 * p[1] - 21 * p[2];
}

int ChromaBin(int64_t cb, int64_t cr)
{
    return static_cast<int>(((cb + 32768) >> 12) * ChromaBins + ((cr + 32768) >> 12));
}

// The picture's attention summed over each line across the cropped axis: columns when `alongWidth`,
// rows otherwise.
std::vector<int64_t> AttentionProfile(const Raster& picture, bool alongWidth, const SmartCropWeights& weights)
{
    const int32_t w = picture.Width;
    const int32_t h = picture.Height;
    // The luminance, and how often each chroma occurs: a histogram of 16 x 16 bins over Cb and Cr, each
    // bin then counting its neighbours too, so a colour's share does not hang on where the bins split.
    std::vector<uint8_t> luma(static_cast<size_t>(w) * static_cast<size_t>(h));
    int64_t bins[ChromaBins * ChromaBins] = {};
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* p = picture.Row(y);
        uint8_t* l = luma.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int32_t x = 0; x < w; ++x, p += 3) {
            l[x] = static_cast<uint8_t>((77 * p[0] + 150 * p[1] + 29 * p[2] + 128) >> 8);
            ++bins[ChromaBin(Cb(p), Cr(p))];
        }
    }
    int64_t shares[ChromaBins * ChromaBins] = {};
    for (int i = 0; i < ChromaBins; ++i) {
        for (int j = 0; j < ChromaBins; ++j) {
            for (int k = std::max(i - 1, 0); k <= std::min(i + 1, ChromaBins - 1); ++k) {
                for (int n = std::max(j - 1, 0); n <= std::min(j + 1, ChromaBins - 1); ++n) {
                    shares[i * ChromaBins + j] += bins[k * ChromaBins + n];
                }
            }
        }
    }
    const int64_t count = int64_t{w} * h;
    const int64_t rare = Clamp(weights.RareColour, 1, 1000);
    int64_t rarity[ChromaBins * ChromaBins] = {};
    for (int i = 0; i < ChromaBins * ChromaBins; ++i) {
        rarity[i] = 255 * std::max<int64_t>(0, count - rare * shares[i]) / count;
    }
    const int64_t edges = Clamp(weights.Edges, 0, 1000);
    const int64_t colour = Clamp(weights.Colour, 0, 1000);
    const int64_t skin = Clamp(weights.Skin, 0, 1000);
    const int64_t edgeFloor = Clamp(weights.EdgeFloor, 0, 2040);

    std::vector<int64_t> profile(static_cast<size_t>(alongWidth ? w : h), 0);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* above = luma.data() + static_cast<size_t>(std::max(y - 1, 0)) * static_cast<size_t>(w);
        const uint8_t* here = luma.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        const uint8_t* below = luma.data() + static_cast<size_t>(std::min(y + 1, h - 1)) * static_cast<size_t>(w);
        const uint8_t* p = picture.Row(y);
        int64_t rowSum = 0;
        for (int32_t x = 0; x < w; ++x, p += 3) {
            // Sobel over the luminance, the border repeated.
            const int32_t l = std::max(x - 1, 0);
            const int32_t r = std::min(x + 1, w - 1);
            const int64_t gx = (above[r] + 2 * here[r] + below[r]) - (above[l] + 2 * here[l] + below[l]);
            const int64_t gy = (below[l] + 2 * below[x] + below[r]) - (above[l] + 2 * above[x] + above[r]);
            const int64_t edge =
                std::min<int64_t>(std::max<int64_t>(std::abs(gx) + std::abs(gy) - edgeFloor, 0) >> 2, 255);
            const int64_t cb = Cb(p);
            const int64_t cr = Cr(p);
            const int64_t attention =
                edges * edge + colour * rarity[ChromaBin(cb, cr)] + skin * SkinScore(here[x], cb, cr);
            if (alongWidth) {
                profile[static_cast<size_t>(x)] += attention;
            } else {
                rowSum += attention;
            }
        }
        if (!alongWidth) {
            profile[static_cast<size_t>(y)] = rowSum;
        }
    }
    return profile;
}

// The start, 0 to E = profile size - L, of the window of L lines the profile puts the most attention in,
// or -1 for the centre. A window's score weights its lines by a trapezoid (a box of L - m lines swept over
// m + 1 starts), so attention near its ends counts less and a subject is not left on the border; each line
// off centre costs a share of a mean line's attention, and a start that does not beat the centre by the
// margin, or ties with its mirror image, gives the centre.
int64_t BestStart(std::vector<int64_t>& profile, int64_t L, const SmartCropWeights& weights)
{
    const auto N = static_cast<int64_t>(profile.size());
    const int64_t E = N - L;
    int64_t total = std::accumulate(profile.begin(), profile.end(), int64_t{0});
    int shift = 0;
    while ((total >> shift) >= ProfileLimit) {
        ++shift;
    }
    for (int64_t& line : profile) {
        line >>= shift;
    }
    total = std::accumulate(profile.begin(), profile.end(), int64_t{0});
    if (total == 0) {
        return -1;
    }
    const int64_t m = std::min(L * Clamp(weights.Taper, 0, 50) / 100, L - 1);
    const int64_t box = L - m;
    std::vector<int64_t> sums(static_cast<size_t>(N) + 1, 0);
    std::partial_sum(profile.begin(), profile.end(), sums.begin() + 1);
    std::vector<int64_t> boxes(static_cast<size_t>(N - box) + 2, 0);
    for (int64_t i = 0; i <= N - box; ++i) {
        boxes[static_cast<size_t>(i) + 1] =
            boxes[static_cast<size_t>(i)] + sums[static_cast<size_t>(i + box)] - sums[static_cast<size_t>(i)];
    }
    const auto score = [&](int64_t s) { return boxes[static_cast<size_t>(s + m + 1)] - boxes[static_cast<size_t>(s)]; };
    // Scores and costs both times 200 N, to stay whole numbers.
    const int64_t pull = Clamp(weights.CentrePull, 0, 1000) * (m + 1) * total;
    const auto value = [&](int64_t s) { return 200 * N * score(s) - pull * std::abs(2 * s - E); };
    int64_t best = 0;
    for (int64_t s = 1; s <= E; ++s) {
        const int64_t difference = value(s) - value(best);
        if (difference > 0 || (difference == 0 && std::abs(2 * s - E) < std::abs(2 * best - E))) {
            best = s;
        }
    }
    const int64_t centre = score(E / 2) + score((E + 1) / 2);
    if (2 * best == E || value(E - best) == value(best) ||
        200 * score(best) <= centre * (100 + Clamp(weights.CentreMargin, 0, 1000))) {
        return -1;
    }
    return best;
}

} // namespace

CropPosition ChooseSmartCrop(const Raster& reduced, int64_t fullWidth, int64_t fullHeight, int64_t targetWidth,
                             int64_t targetHeight, const SmartCropWeights& weights)
{
    const auto usable = [](int64_t side) { return side > 0 && side <= MaxSize; };
    if (reduced.Empty() || int64_t{reduced.Width} * reduced.Height < 2 || !usable(fullWidth) || !usable(fullHeight) ||
        !usable(targetWidth) || !usable(targetHeight)) {
        return {};
    }
    const int64_t wide = targetWidth * fullHeight;
    const int64_t tall = targetHeight * fullWidth;
    if (wide == tall) {
        return {};
    }
    const bool alongWidth = wide < tall;

    int64_t w = 0;
    int64_t h = 0;
    WorkingSize(reduced.Width, reduced.Height, w, h);
    Raster resampled;
    const Raster* picture = &reduced;
    if (w != reduced.Width || h != reduced.Height) {
        if (reduced.Width > 65535 || reduced.Height > 65535) {
            return {};
        }
        RasterRowSource rows(reduced);
        if (!ResampleAreaWindow(rows, w, h, 0, 0, w, h, resampled)) {
            return {};
        }
        picture = &resampled;
    }

    // The kept length, rounded from the exact kept fraction, so targets of one shape keep the same lines.
    const int64_t N = alongWidth ? w : h;
    const int64_t kept = alongWidth ? wide : tall;
    const int64_t whole = alongWidth ? tall : wide;
    const int64_t L = Clamp((2 * N * kept + whole) / (2 * whole), 1, N);
    const int64_t E = N - L;
    if (E == 0) {
        return {};
    }
    std::vector<int64_t> profile = AttentionProfile(*picture, alongWidth, weights);
    const int64_t start = BestStart(profile, L, weights);
    if (start < 0) {
        return {};
    }
    // start / E in millionths, halves to even, so the mirrored start gives exactly Whole minus this.
    int64_t millionths = start * CropPosition::Whole / E;
    const int64_t rest = start * CropPosition::Whole % E;
    if (2 * rest > E || (2 * rest == E && millionths % 2 == 1)) {
        ++millionths;
    }
    return CropPosition{millionths};
}

} // namespace quorvane
