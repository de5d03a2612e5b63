// Micro-benchmarks of the per-picture hot paths. Rates are in source megapixels per second on one core.
#include "conversion/JpegEncode.h"
#include "picture/Colour.h"
#include "platform/Raster.h"
#include "support/ColourProfiles.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <benchmark/benchmark.h>
#include <lcms2.h>
#include <string>

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

// A 1440 x 3200 Display P3 target converted to sRGB in place: through the tool's transform (0) and
// through lcms2's own, as made without the lookup tables (1).
void ColourConvert(benchmark::State& state)
{
    Raster target = MakeTestRaster(1440, 3200, 7);
    const TestFiles::Bytes p3 = TestFiles::MakeRgbProfile(TestFiles::RgbSpace::DisplayP3);
    ColourTransforms transforms;
    Message warning;
    const auto ours = transforms.For({p3, ColourModel::Rgb, false}, warning);
    cmsHPROFILE source = cmsOpenProfileFromMem(p3.data(), static_cast<cmsUInt32Number>(p3.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM lcms = cmsCreateTransform(source, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL,
                                            cmsFLAGS_NOCACHE | cmsFLAGS_BLACKPOINTCOMPENSATION);
    for (auto _ : state) {
        if (state.range(0) == 0) {
            ours->Apply(target);
        } else {
            for (int32_t y = 0; y < target.Height; ++y) {
                cmsDoTransform(lcms, target.Row(y), target.Row(y), static_cast<cmsUInt32Number>(target.Width));
            }
        }
        benchmark::DoNotOptimize(target.Pixels.data());
    }
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(target.Width) * target.Height / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
    cmsDeleteTransform(lcms);
    cmsCloseProfile(srgb);
    cmsCloseProfile(source);
}
BENCHMARK(ColourConvert)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
