#include "platform/Raster.h"

#include <algorithm>

namespace {

// The source pixels under one destination pixel of an axis and their integer coverage weights. With the
// source axis of n pixels mapped onto m destination pixels, measured in units of 1/m source pixel,
// source pixel i covers [i*m, (i+1)*m) and destination pixel d covers [d*n, (d+1)*n): the weights are the
// overlaps, integers that sum to n for every destination pixel.
struct AxisTap {
    int32_t First = 0; // first source index
    int32_t Count = 0; // number of source pixels
    size_t Offset = 0; // into the weight table
};

struct AxisMap {
    std::vector<AxisTap> Taps;
    std::vector<uint32_t> Weights;
    // Set when every footprint covers at least three source pixels: the weight of the ones inside.
    uint32_t InnerWeight = 0;
};

AxisMap MapAxis(int64_t n, int64_t m, int64_t from, int64_t to)
{
    AxisMap map;
    map.Taps.reserve(static_cast<size_t>(to - from));
    for (int64_t d = from; d < to; ++d) {
        const int64_t lo = d * n;
        const int64_t hi = lo + n;
        const int64_t first = lo / m;
        const int64_t last = (hi - 1) / m;
        AxisTap tap{static_cast<int32_t>(first), static_cast<int32_t>(last - first + 1), map.Weights.size()};
        for (int64_t i = first; i <= last; ++i) {
            const int64_t weight = std::min(hi, (i + 1) * m) - std::max(lo, i * m);
            map.Weights.push_back(static_cast<uint32_t>(weight));
        }
        map.Taps.push_back(tap);
    }
    const bool wide = !map.Taps.empty() &&
                      std::all_of(map.Taps.begin(), map.Taps.end(), [](const AxisTap& tap) { return tap.Count >= 3; });
    map.InnerWeight = wide ? static_cast<uint32_t>(m) : 0;
    return map;
}

// One source row reduced horizontally: per window column and channel, the weighted sum (at most
// 255 * source width, so it fits 32 bits).
void ReduceRow(const uint8_t* row, const AxisMap& columns, std::vector<uint32_t>& sums)
{
    uint32_t* out = sums.data();
    // Shrinking by a large factor, every source pixel inside a footprint has the same full weight (the
    // destination count m): those are summed plainly and weighted once.
    if (columns.InnerWeight != 0) {
        const uint32_t m = columns.InnerWeight;
        for (const AxisTap& tap : columns.Taps) {
            const uint8_t* p = row + static_cast<size_t>(tap.First) * 3;
            const uint8_t* tail = p + static_cast<size_t>(tap.Count - 1) * 3;
            const uint32_t wHead = columns.Weights[tap.Offset];
            const uint32_t wTail = columns.Weights[tap.Offset + static_cast<size_t>(tap.Count) - 1];
            uint32_t r = 0;
            uint32_t g = 0;
            uint32_t b = 0;
            for (const uint8_t* q = p + 3; q < tail; q += 3) {
                r += q[0];
                g += q[1];
                b += q[2];
            }
            out[0] = wHead * p[0] + wTail * tail[0] + m * r;
            out[1] = wHead * p[1] + wTail * tail[1] + m * g;
            out[2] = wHead * p[2] + wTail * tail[2] + m * b;
            out += 3;
        }
        return;
    }
    for (const AxisTap& tap : columns.Taps) {
        const uint8_t* p = row + static_cast<size_t>(tap.First) * 3;
        const uint32_t* w = columns.Weights.data() + tap.Offset;
        uint32_t r = 0;
        uint32_t g = 0;
        uint32_t b = 0;
        for (int32_t k = 0; k < tap.Count; ++k, p += 3) {
            r += w[k] * p[0];
            g += w[k] * p[1];
            b += w[k] * p[2];
        }
        out[0] = r;
        out[1] = g;
        out[2] = b;
        out += 3;
    }
}

// Division by a fixed divisor through one wide multiplication, exact for every numerator below 2^42 (a
// weighted sum is at most 255 * sw * sh < 2^40): m = ceil(2^(42+l) / d) with 2^l >= d makes
// floor(n * m / 2^(42+l)) equal floor(n / d).
class ExactDivider {
  public:
    explicit ExactDivider(uint64_t divisor) : half_(divisor / 2)
    {
        int l = 0;
        while ((uint64_t{1} << l) < divisor) {
            ++l;
        }
        shift_ = 42 + l;
        const unsigned __int128 power = static_cast<unsigned __int128>(1) << shift_;
        multiplier_ = static_cast<uint64_t>((power + divisor - 1) / divisor); // below 2^43
    }

    // n / d rounded to nearest, halves up.
    uint64_t Rounded(uint64_t n) const
    {
        return static_cast<uint64_t>((static_cast<unsigned __int128>(n + half_) * multiplier_) >> shift_);
    }

  private:
    uint64_t half_;
    int shift_ = 0;
    uint64_t multiplier_ = 0;
};

} // namespace

bool ResampleAreaWindow(RowSource& source, int64_t W, int64_t H, int64_t left, int64_t top, int64_t right,
                        int64_t bottom, Raster& window)
{
    const int64_t sw = source.Width();
    const int64_t sh = source.Height();
    if (right <= left || bottom <= top) {
        window = Raster();
        return true;
    }
    const AxisMap columns = MapAxis(sw, W, left, right);
    const AxisMap rows = MapAxis(sh, H, top, bottom);
    const size_t width = static_cast<size_t>(right - left);
    source.LimitColumns(columns.Taps.front().First, columns.Taps.back().First + columns.Taps.back().Count);

    window = Raster(static_cast<int32_t>(right - left), static_cast<int32_t>(bottom - top));
    // Consecutive destination rows share at most their boundary source row, so the last reduced row is
    // kept for the next one.
    std::vector<uint32_t> reduced(width * 3);
    int32_t reducedRow = -1;
    std::vector<uint64_t> accumulator(width * 3);
    const ExactDivider divide(static_cast<uint64_t>(sw) * static_cast<uint64_t>(sh));

    const size_t count = accumulator.size();
    for (size_t y = 0; y < rows.Taps.size(); ++y) {
        const AxisTap& tap = rows.Taps[y];
        uint8_t* out = window.Row(static_cast<int32_t>(y));
        for (int32_t k = 0; k < tap.Count; ++k) {
            const int32_t sy = tap.First + k;
            if (sy != reducedRow) {
                const uint8_t* row = source.Row(sy);
                if (!row) {
                    return false;
                }
                ReduceRow(row, columns, reduced);
                reducedRow = sy;
            }
            // The first source row starts the sums and the last one finishes them straight into the
            // window, so a destination row costs one pass per source row and nothing more.
            const uint64_t weight = rows.Weights[tap.Offset + static_cast<size_t>(k)];
            const bool first = k == 0;
            const bool last = k + 1 == tap.Count;
            if (first && last) {
                for (size_t i = 0; i < count; ++i) {
                    out[i] = static_cast<uint8_t>(divide.Rounded(weight * reduced[i]));
                }
            } else if (first) {
                for (size_t i = 0; i < count; ++i) {
                    accumulator[i] = weight * reduced[i];
                }
            } else if (last) {
                for (size_t i = 0; i < count; ++i) {
                    out[i] = static_cast<uint8_t>(divide.Rounded(accumulator[i] + weight * reduced[i]));
                }
            } else {
                for (size_t i = 0; i < count; ++i) {
                    accumulator[i] += weight * reduced[i];
                }
            }
        }
    }
    return true;
}

namespace {

// For each destination index, the range [first, first + count) of source indices it takes: one source
// pixel repeated when enlarging, every source pixel that falls on it when shrinking.
std::vector<std::pair<int32_t, int32_t>> CopyAxis(int32_t from, int32_t to)
{
    std::vector<std::pair<int32_t, int32_t>> map(static_cast<size_t>(to));
    if (from <= to) {
        for (int32_t d = 0; d < to; ++d) {
            map[d] = {static_cast<int32_t>(int64_t{d} * from / to), 1};
        }
        return map;
    }
    // Source s lands on the last destination pixel its span reaches, so an extra pixel at the end is
    // merged into the one before it (the crop leaves its odd extra column or row on that side).
    for (auto& range : map) {
        range = {0, 0};
    }
    for (int32_t s = 0; s < from; ++s) {
        const auto d = static_cast<size_t>((int64_t{s + 1} * to - 1) / from);
        if (map[d].second == 0) {
            map[d].first = s;
        }
        ++map[d].second;
    }
    return map;
}

} // namespace

Raster StretchCopy(const Raster& from, int32_t width, int32_t height)
{
    if (from.Width == width && from.Height == height) {
        return from;
    }
    const auto columns = CopyAxis(from.Width, width);
    const auto rows = CopyAxis(from.Height, height);
    Raster to(width, height);
    std::vector<uint8_t> line(static_cast<size_t>(width) * 3);
    for (int32_t y = 0; y < height; ++y) {
        std::fill(line.begin(), line.end(), 0xff);
        for (int32_t k = 0; k < rows[y].second; ++k) {
            const uint8_t* src = from.Row(rows[y].first + k);
            for (int32_t x = 0; x < width; ++x) {
                for (int32_t j = 0; j < columns[x].second; ++j) {
                    const uint8_t* p = src + static_cast<size_t>(columns[x].first + j) * 3;
                    line[3 * x] &= p[0];
                    line[3 * x + 1] &= p[1];
                    line[3 * x + 2] &= p[2];
                }
            }
        }
        std::copy(line.begin(), line.end(), to.Row(y));
    }
    return to;
}
