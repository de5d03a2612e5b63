// Micro-benchmarks of the per-picture hot paths. Rates are in source megapixels per second on one core.
#include "conversion/JpegEncode.h"
#include "platform/Raster.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <benchmark/benchmark.h>

using namespace quorvane;

namespace {

const Raster& Photo()
{
    static const Raster photo = MakeTestRaster(4000, 3000, 11);
    return photo;
}

// The resample of a 12 MP landscape photo as a fit computes it: scaled to the target height, with only
// the kept columns made.
void Resample(benchmark::State& state)
{
    const int64_t tw = state.range(0);
    const int64_t th = state.range(1);
    const Raster& source = Photo();
    const int64_t W = int64_t{source.Width} * th / source.Height;
    const int64_t left = (W - tw) / 2;
    Raster window;
    for (auto _ : state) {
        RasterRowSource rows(source);
        ResampleAreaWindow(rows, W, th, left, 0, W - left, th, window);
        benchmark::DoNotOptimize(window.Pixels.data());
    }
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(source.Width) * source.Height / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(Resample)->Args({176, 220})->Args({1080, 2400})->Args({900, 750})->Unit(benchmark::kMillisecond);

void BmpDecode(benchmark::State& state)
{
    const std::vector<uint8_t> file = MakeBmp24(Photo());
    Raster out;
    for (auto _ : state) {
        DecodeBmp(file.data(), file.size(), out);
        benchmark::DoNotOptimize(out.Pixels.data());
    }
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(Photo().Width) * Photo().Height / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BmpDecode)->Unit(benchmark::kMillisecond);

void JpegEncode(benchmark::State& state)
{
    const Raster target = MakeTestRaster(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)), 3);
    std::vector<uint8_t> out;
    for (auto _ : state) {
        EncodeJpeg(target, 60, state.range(2) != 0, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(target.Width) * target.Height / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(JpegEncode)->Args({1080, 2400, 0})->Args({1080, 2400, 1})->Args({176, 220, 0})->Unit(benchmark::kMillisecond);

} // namespace
