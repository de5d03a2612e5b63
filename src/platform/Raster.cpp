#include "platform/Raster.h"

#include "platform/ResamplePaths.h"

#include <algorithm>

#if defined(__x86_64__)
#include <immintrin.h>
#define QUORVANE_X86 1
#else
#define QUORVANE_X86 0
#endif

namespace quorvane {

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
    return map;
}

// How a source row is reduced to the window's columns, reading only the columns its footprints cover,
// from the first footprint's first pixel to End. Footprints of at most four source pixels (enlarging, or
// shrinking by a factor up to three) are all padded to the longest one, K pixels, with zero weights, so
// the loop has no branch per pixel; a padded footprint that would run past End starts earlier instead. Longer
// footprints all cover at least four pixels, and every pixel inside one has the full weight m: those are summed plainly
// and weighted once.
struct ColumnPlan {
    AxisMap Map;
    int32_t End = 0;
    int32_t K = 0;                // 1 to 4 when padded, else 0
    std::vector<int32_t> Starts;  // padded: the first source pixel of each footprint
    std::vector<uint32_t> Padded; // padded: K weights per footprint
    uint32_t InnerWeight = 0;     // m, for the long footprints
    // Chunked (the AVX2 path): the first Paired footprints, an even number, are taken two at a time, each
    // as Chunks runs of four pixels from its first one, with four 16-bit weights per run written twice
    // (8 words); run j of footprint x is at ((x / 2 * Chunks + j) * 2 + x % 2) * 8.
    size_t Paired = 0;
    int32_t Chunks = 0;
    std::vector<int16_t> ChunkWeights;
};

void PadFootprints(ColumnPlan& plan, int32_t longest)
{
    plan.K = longest;
    plan.Padded.assign(plan.Map.Taps.size() * static_cast<size_t>(longest), 0);
    for (size_t x = 0; x < plan.Map.Taps.size(); ++x) {
        const AxisTap& tap = plan.Map.Taps[x];
        const int32_t start = std::min(tap.First, plan.End - longest); // the longest footprint fits before End
        plan.Starts.push_back(start);
        for (int32_t k = 0; k < tap.Count; ++k) {
            plan.Padded[x * static_cast<size_t>(longest) + static_cast<size_t>(tap.First - start + k)] =
                plan.Map.Weights[tap.Offset + static_cast<size_t>(k)];
        }
    }
}

// A run loads 16 bytes from its first pixel, so a footprint is chunked only when its last run's load ends
// by End; footprints are ordered, so those form a prefix. The last footprint never qualifies (its runs
// would need 4 * Chunks + 2 pixels), so ReduceAvx2's spare store stays inside the reduced row. The
// weights must fit 16 bits.
void ChunkFootprints(ColumnPlan& plan, int32_t longest)
{
    const bool narrow =
        std::all_of(plan.Map.Weights.begin(), plan.Map.Weights.end(), [](uint32_t weight) { return weight <= 32767; });
    plan.Chunks = (longest + 3) / 4;
    const int64_t lastRun = 4 * int64_t{plan.Chunks - 1};
    while (narrow && plan.Paired < plan.Map.Taps.size() &&
           3 * (plan.Map.Taps[plan.Paired].First + lastRun) + 16 <= 3 * int64_t{plan.End}) {
        ++plan.Paired;
    }
    plan.Paired &= ~size_t{1};
    plan.ChunkWeights.assign(plan.Paired * static_cast<size_t>(plan.Chunks) * 8, 0);
    for (size_t x = 0; x < plan.Paired; ++x) {
        const AxisTap& tap = plan.Map.Taps[x];
        for (int32_t k = 0; k < tap.Count; ++k) {
            const size_t run = (x / 2 * static_cast<size_t>(plan.Chunks) + static_cast<size_t>(k / 4)) * 2 + x % 2;
            const auto weight = static_cast<int16_t>(plan.Map.Weights[tap.Offset + static_cast<size_t>(k)]);
            plan.ChunkWeights[run * 8 + static_cast<size_t>(k % 4)] = weight;
            plan.ChunkWeights[run * 8 + static_cast<size_t>(k % 4) + 4] = weight;
        }
    }
}

ColumnPlan PlanColumns(int64_t n, int64_t m, int64_t from, int64_t to, bool chunked)
{
    ColumnPlan plan;
    plan.Map = MapAxis(n, m, from, to);
    plan.End = plan.Map.Taps.back().First + plan.Map.Taps.back().Count;
    int32_t longest = 0;
    for (const AxisTap& tap : plan.Map.Taps) {
        longest = std::max(longest, tap.Count);
    }
    if (longest <= 4) {
        PadFootprints(plan, longest);
    } else {
        plan.InnerWeight = static_cast<uint32_t>(m);
    }
    if (chunked) {
        ChunkFootprints(plan, longest);
    }
    return plan;
}

// One source row reduced horizontally from footprint `begin` on: per window column and channel, the
// weighted sum (at most 255 * source width, so it fits 32 bits).
template <int K> void ReducePadded(const uint8_t* row, const ColumnPlan& plan, size_t begin, uint32_t* out)
{
    const uint32_t* w = plan.Padded.data() + begin * K;
    for (size_t x = begin; x < plan.Starts.size(); ++x, w += K, out += 3) {
        const uint8_t* p = row + static_cast<size_t>(plan.Starts[x]) * 3;
        uint32_t r = 0;
        uint32_t g = 0;
        uint32_t b = 0;
        for (int k = 0; k < K; ++k) {
            r += w[k] * p[3 * k];
            g += w[k] * p[3 * k + 1];
            b += w[k] * p[3 * k + 2];
        }
        out[0] = r;
        out[1] = g;
        out[2] = b;
    }
}

void ReduceLong(const uint8_t* row, const ColumnPlan& plan, size_t begin, uint32_t* out)
{
    const uint32_t m = plan.InnerWeight;
    for (size_t x = begin; x < plan.Map.Taps.size(); ++x, out += 3) {
        const AxisTap& tap = plan.Map.Taps[x];
        const uint8_t* p = row + static_cast<size_t>(tap.First) * 3;
        const uint8_t* tail = p + static_cast<size_t>(tap.Count - 1) * 3;
        const uint32_t wHead = plan.Map.Weights[tap.Offset];
        const uint32_t wTail = plan.Map.Weights[tap.Offset + static_cast<size_t>(tap.Count) - 1];
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
    }
}

void ReduceFrom(const uint8_t* row, const ColumnPlan& plan, size_t begin, uint32_t* out)
{
    switch (plan.K) {
    case 1:
        return ReducePadded<1>(row, plan, begin, out);
    case 2:
        return ReducePadded<2>(row, plan, begin, out);
    case 3:
        return ReducePadded<3>(row, plan, begin, out);
    case 4:
        return ReducePadded<4>(row, plan, begin, out);
    default:
        return ReduceLong(row, plan, begin, out);
    }
}

void ReduceScalar(const uint8_t* row, const ColumnPlan& plan, uint32_t* out)
{
    ReduceFrom(row, plan, 0, out);
}

#if QUORVANE_X86

// Two footprints at a time, one per 128-bit half: each run's 16 bytes (four RGB pixels and a spare) are
// shuffled into 16-bit R0..R3 G0..G3 and B0..B3, multiplied by the run's weights and added in pairs;
// the last horizontal add leaves R, G, B and a zero per footprint. Each footprint's four sums are stored
// at its three places, the zero landing where the next footprint's first sum is then written.
__attribute__((target("avx2"))) void ReduceAvx2(const uint8_t* row, const ColumnPlan& plan, uint32_t* out)
{
    const __m256i toRG = _mm256_setr_epi8(0, -1, 3, -1, 6, -1, 9, -1, 1, -1, 4, -1, 7, -1, 10, -1, 0, -1, 3, -1, 6, -1,
                                          9, -1, 1, -1, 4, -1, 7, -1, 10, -1);
    const __m256i toB = _mm256_setr_epi8(2, -1, 5, -1, 8, -1, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, -1, 5, -1, 8,
                                         -1, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const int16_t* w = plan.ChunkWeights.data();
    for (size_t x = 0; x < plan.Paired; x += 2) {
        const uint8_t* p0 = row + static_cast<size_t>(plan.Map.Taps[x].First) * 3;
        const uint8_t* p1 = row + static_cast<size_t>(plan.Map.Taps[x + 1].First) * 3;
        __m256i rg = _mm256_setzero_si256();
        __m256i b = _mm256_setzero_si256();
        for (int32_t j = 0; j < plan.Chunks; ++j, p0 += 12, p1 += 12, w += 16) {
            const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p0));
            const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p1));
            const __m256i bytes = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
            const __m256i weights = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w));
            rg = _mm256_add_epi32(rg, _mm256_madd_epi16(_mm256_shuffle_epi8(bytes, toRG), weights));
            b = _mm256_add_epi32(b, _mm256_madd_epi16(_mm256_shuffle_epi8(bytes, toB), weights));
        }
        const __m256i sums = _mm256_hadd_epi32(rg, b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm256_castsi256_si128(sums));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x + 3), _mm256_extracti128_si256(sums, 1));
    }
    ReduceFrom(row, plan, plan.Paired, out + 3 * plan.Paired);
}

#endif

// The window value from an exact weighted sum n and the divisor d = sw * sh, rounded half up:
// floor((n + floor(d/2)) / d). With sides of at most 65535, d < 2^32 and n <= 255 * d < 2^40. It is
// computed in doubles as trunc(x * fl(1/d)) with x = n + floor(d/2) + 1/2, which is exact: x is
// representable and x/d <= 256, so the two roundings (relative error at most 2^-52 + 2^-106) move the
// product by less than 2^-43, while x/d, an odd multiple of 1/(2d), lies at least 1/(2d) > 2^-33 from every integer.
// Truncation thus gives floor(x/d), which is floor((x - 1/2)/d) as no multiple of d lies in (x - 1/2, x].
struct Rounding {
    explicit Rounding(uint64_t d) : Bias(static_cast<double>(d / 2) + 0.5), Reciprocal(1.0 / static_cast<double>(d)) {}
    double Bias;
    double Reciprocal;
};

// The passes of one instruction set. Reduce is the horizontal pass; the vertical pass works over the
// count values of a reduced row: Accumulate adds weight * reduced to the sums (starting them when
// `first`); Finish does the same for the last source row of a destination row and writes the rounded
// means straight into the window. Every term and sum is an integer below 2^40, so the
// doubles hold them exactly, and a reduced value is below 255 * 65535 < 2^31, so it converts as signed.
struct Kernels {
    void (*Reduce)(const uint8_t* row, const ColumnPlan& plan, uint32_t* out);
    void (*Accumulate)(double* sums, const uint32_t* reduced, double weight, size_t count, bool first);
    void (*Finish)(uint8_t* out, const double* sums, const uint32_t* reduced, double weight, size_t count, bool first,
                   const Rounding& rounding);
};

void AccumulateScalar(double* sums, const uint32_t* reduced, double weight, size_t count, bool first)
{
    for (size_t i = 0; i < count; ++i) {
        sums[i] = (first ? 0.0 : sums[i]) + weight * reduced[i];
    }
}

void FinishScalar(uint8_t* out, const double* sums, const uint32_t* reduced, double weight, size_t count, bool first,
                  const Rounding& rounding)
{
    for (size_t i = 0; i < count; ++i) {
        const double sum = (first ? 0.0 : sums[i]) + weight * reduced[i];
        out[i] = static_cast<uint8_t>(static_cast<int32_t>((sum + rounding.Bias) * rounding.Reciprocal));
    }
}

#if QUORVANE_X86

void AccumulateSse2(double* sums, const uint32_t* reduced, double weight, size_t count, bool first)
{
    const __m128d w = _mm_set1_pd(weight);
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(reduced + i));
        __m128d lo = _mm_mul_pd(_mm_cvtepi32_pd(v), w);
        __m128d hi = _mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(v, v)), w);
        if (!first) {
            lo = _mm_add_pd(lo, _mm_loadu_pd(sums + i));
            hi = _mm_add_pd(hi, _mm_loadu_pd(sums + i + 2));
        }
        _mm_storeu_pd(sums + i, lo);
        _mm_storeu_pd(sums + i + 2, hi);
    }
    AccumulateScalar(sums + i, reduced + i, weight, count - i, first);
}

// Four finished values as 32-bit integers.
inline __m128i FinishFourSse2(const double* sums, const uint32_t* reduced, __m128d w, bool first, __m128d bias,
                              __m128d reciprocal)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(reduced));
    __m128d lo = _mm_mul_pd(_mm_cvtepi32_pd(v), w);
    __m128d hi = _mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(v, v)), w);
    if (!first) {
        lo = _mm_add_pd(lo, _mm_loadu_pd(sums));
        hi = _mm_add_pd(hi, _mm_loadu_pd(sums + 2));
    }
    lo = _mm_mul_pd(_mm_add_pd(lo, bias), reciprocal);
    hi = _mm_mul_pd(_mm_add_pd(hi, bias), reciprocal);
    return _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
}

void FinishSse2(uint8_t* out, const double* sums, const uint32_t* reduced, double weight, size_t count, bool first,
                const Rounding& rounding)
{
    const __m128d w = _mm_set1_pd(weight);
    const __m128d bias = _mm_set1_pd(rounding.Bias);
    const __m128d reciprocal = _mm_set1_pd(rounding.Reciprocal);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i a = FinishFourSse2(sums + i, reduced + i, w, first, bias, reciprocal);
        const __m128i b = FinishFourSse2(sums + i + 4, reduced + i + 4, w, first, bias, reciprocal);
        const __m128i words = _mm_packs_epi32(a, b);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(words, words));
    }
    FinishScalar(out + i, sums + i, reduced + i, weight, count - i, first, rounding);
}

__attribute__((target("avx2"))) void AccumulateAvx2(double* sums, const uint32_t* reduced, double weight, size_t count,
                                                    bool first)
{
    const __m256d w = _mm256_set1_pd(weight);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256d lo =
            _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(reduced + i))), w);
        __m256d hi =
            _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(reduced + i + 4))), w);
        if (!first) {
            lo = _mm256_add_pd(lo, _mm256_loadu_pd(sums + i));
            hi = _mm256_add_pd(hi, _mm256_loadu_pd(sums + i + 4));
        }
        _mm256_storeu_pd(sums + i, lo);
        _mm256_storeu_pd(sums + i + 4, hi);
    }
    AccumulateScalar(sums + i, reduced + i, weight, count - i, first);
}

__attribute__((target("avx2"))) inline __m128i FinishFourAvx2(const double* sums, const uint32_t* reduced, __m256d w,
                                                              bool first, __m256d bias, __m256d reciprocal)
{
    __m256d sum = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(reduced))), w);
    if (!first) {
        sum = _mm256_add_pd(sum, _mm256_loadu_pd(sums));
    }
    return _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_add_pd(sum, bias), reciprocal));
}

__attribute__((target("avx2"))) void FinishAvx2(uint8_t* out, const double* sums, const uint32_t* reduced,
                                                double weight, size_t count, bool first, const Rounding& rounding)
{
    const __m256d w = _mm256_set1_pd(weight);
    const __m256d bias = _mm256_set1_pd(rounding.Bias);
    const __m256d reciprocal = _mm256_set1_pd(rounding.Reciprocal);
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i a = FinishFourAvx2(sums + i, reduced + i, w, first, bias, reciprocal);
        const __m128i b = FinishFourAvx2(sums + i + 4, reduced + i + 4, w, first, bias, reciprocal);
        const __m128i c = FinishFourAvx2(sums + i + 8, reduced + i + 8, w, first, bias, reciprocal);
        const __m128i d = FinishFourAvx2(sums + i + 12, reduced + i + 12, w, first, bias, reciprocal);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
    }
    FinishScalar(out + i, sums + i, reduced + i, weight, count - i, first, rounding);
}

#endif

Kernels KernelsFor(ResamplePath path)
{
#if QUORVANE_X86
    if (path == ResamplePath::Avx2) {
        return {ReduceAvx2, AccumulateAvx2, FinishAvx2};
    }
    if (path == ResamplePath::Sse2) {
        return {ReduceScalar, AccumulateSse2, FinishSse2};
    }
#endif
    (void)path;
    return {ReduceScalar, AccumulateScalar, FinishScalar};
}

// Every destination row of the window: the source rows under it reduced horizontally, then weighted into
// the sums. Consecutive destination rows share at most their boundary source row, so the last reduced
// row is kept for the next one.
bool ResampleRows(RowSource& source, const ColumnPlan& columns, const AxisMap& rows, const Kernels& kernels,
                  Raster& window)
{
    const size_t count = window.Stride();
    std::vector<uint32_t> reduced(count);
    std::vector<double> sums(count);
    int32_t reducedRow = -1;
    const Rounding rounding(static_cast<uint64_t>(source.Width()) * static_cast<uint64_t>(source.Height()));
    for (size_t y = 0; y < rows.Taps.size(); ++y) {
        const AxisTap& tap = rows.Taps[y];
        for (int32_t k = 0; k < tap.Count; ++k) {
            const int32_t sy = tap.First + k;
            if (sy != reducedRow) {
                const uint8_t* row = source.Row(sy);
                if (!row) {
                    return false;
                }
                kernels.Reduce(row, columns, reduced.data());
                reducedRow = sy;
            }
            // The first source row starts the sums and the last one finishes them straight into the
            // window, so a destination row costs one pass per source row and nothing more.
            const auto weight = static_cast<double>(rows.Weights[tap.Offset + static_cast<size_t>(k)]);
            if (k + 1 == tap.Count) {
                kernels.Finish(window.Row(static_cast<int32_t>(y)), sums.data(), reduced.data(), weight, count, k == 0,
                               rounding);
            } else {
                kernels.Accumulate(sums.data(), reduced.data(), weight, count, k == 0);
            }
        }
    }
    return true;
}

} // namespace

bool ResamplePathAvailable(ResamplePath path)
{
#if QUORVANE_X86
    if (path == ResamplePath::Avx2) {
        return __builtin_cpu_supports("avx2");
    }
    return true;
#else
    return path == ResamplePath::Scalar;
#endif
}

bool ResampleAreaWindowWith(ResamplePath path, RowSource& source, int64_t W, int64_t H, int64_t left, int64_t top,
                            int64_t right, int64_t bottom, Raster& window)
{
    if (right <= left || bottom <= top) {
        window = Raster();
        return true;
    }
    const ColumnPlan columns = PlanColumns(source.Width(), W, left, right, path == ResamplePath::Avx2);
    const AxisMap rows = MapAxis(source.Height(), H, top, bottom);
    source.LimitColumns(columns.Map.Taps.front().First, columns.End);
    window = Raster(static_cast<int32_t>(right - left), static_cast<int32_t>(bottom - top));
    return ResampleRows(source, columns, rows, KernelsFor(path), window);
}

bool ResampleAreaWindow(RowSource& source, int64_t W, int64_t H, int64_t left, int64_t top, int64_t right,
                        int64_t bottom, Raster& window)
{
    static const ResamplePath best = ResamplePathAvailable(ResamplePath::Avx2)   ? ResamplePath::Avx2
                                     : ResamplePathAvailable(ResamplePath::Sse2) ? ResamplePath::Sse2
                                                                                 : ResamplePath::Scalar;
    return ResampleAreaWindowWith(best, source, W, H, left, top, right, bottom, window);
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

} // namespace quorvane
