// The lookup tables of gray and matrix-shaper RGB profiles, made from the profile with lcms2 and checked
// against lcms2's transform.

#include "picture/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace quorvane {

using Tables = ColourTransform::Tables;

void Tables::Apply(const uint8_t* from, uint8_t* to, size_t count) const
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

namespace {

// The grid on which lookup tables are checked against lcms2 (52 levels a channel).
constexpr int CheckStep = 5;
// A matrix whose determinant is smaller than this counts as singular.
constexpr double SingularBelow = 0.0001;

// A 3x3 matrix, rows first.
using Matrix = std::array<std::array<double, 3>, 3>;

// The inverse of `a` by its cofactors over its determinant, into `inverse`; false when `a` is singular.
// These operations in this order are how lcms2 works out the matrix of its own transform, so the tables
// start from the same numbers as the transform they are checked against.
bool Invert(const Matrix& a, Matrix& inverse)
{
    const double c0 = a[1][1] * a[2][2] - a[1][2] * a[2][1];
    const double c1 = -a[1][0] * a[2][2] + a[1][2] * a[2][0];
    const double c2 = a[1][0] * a[2][1] - a[1][1] * a[2][0];
    const double det = a[0][0] * c0 + a[0][1] * c1 + a[0][2] * c2;
    if (std::fabs(det) < SingularBelow) {
        return false;
    }
    inverse[0][0] = c0 / det;
    inverse[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
    inverse[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
    inverse[1][0] = c1 / det;
    inverse[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
    inverse[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
    inverse[2][0] = c2 / det;
    inverse[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
    inverse[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
    return true;
}

// The product a b: each entry the sum of a row of `a` times a column of `b`, left to right (as lcms2 sums).
Matrix Multiply(const Matrix& a, const Matrix& b)
{
    Matrix product;
    for (size_t i = 0; i < 3; ++i) {
        for (size_t j = 0; j < 3; ++j) {
            product[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
        }
    }
    return product;
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
bool ReadMatrixShaper(cmsHPROFILE profile, Matrix& matrix, std::array<const cmsToneCurve*, 3>& curves)
{
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature trcs[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (size_t c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[c]));
        curves[c] = static_cast<const cmsToneCurve*>(cmsReadTag(profile, trcs[c]));
        if (xyz == nullptr || curves[c] == nullptr) {
            return false;
        }
        matrix[0][c] = xyz->X;
        matrix[1][c] = xyz->Y;
        matrix[2][c] = xyz->Z;
    }
    return true;
}

// An RGB matrix-shaper profile's tables (Display P3, Adobe RGB and most camera and phone profiles), or
// nullptr for a profile that converts through a table of its own.
std::unique_ptr<Tables> MatrixShaperTables(cmsHPROFILE source, cmsHPROFILE srgb, cmsUInt32Number intent)
{
    Matrix toPcs, srgbToPcs, fromPcs;
    std::array<const cmsToneCurve*, 3> in{}, out{};
    if (!cmsIsMatrixShaper(source) || cmsIsCLUT(source, intent, LCMS_USED_AS_INPUT) ||
        !ReadMatrixShaper(source, toPcs, in) || !ReadMatrixShaper(srgb, srgbToPcs, out) ||
        !Invert(srgbToPcs, fromPcs)) {
        return nullptr;
    }
    const Matrix toSrgb = Multiply(fromPcs, toPcs);
    for (const auto& row : toSrgb) {
        if (!std::all_of(row.begin(), row.end(), [](double m) { return std::abs(m) < 64; })) {
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
                part[o][c][v] = std::llround(toSrgb[o][c] * linear * 65536);
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

} // namespace

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

} // namespace quorvane
