#include "conversion/JpegEncode.h"
#include "picture/Exif.h"
#include "support/BadInputs.h"
#include "support/TestSupport.h"
#include "support/WholePicture.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <set>
// jpeglib.h expects FILE and size_t to be declared before it.
#include <jpeglib.h>

using namespace quorvane;

namespace {

using Bytes = std::vector<uint8_t>;
using Rgb = std::array<int, 3>;

struct Segment {
    uint8_t Marker;
    Bytes Payload; // without the length field; for SOS only the header
};

// Splits a JPEG stream into its marker segments, skipping entropy-coded data.
std::vector<Segment> Segments(const Bytes& jpeg)
{
    std::vector<Segment> result;
    size_t at = 0;
    while (at + 1 < jpeg.size()) {
        EXPECT_EQ(jpeg[at], 0xFF) << "at " << at;
        const uint8_t marker = jpeg[at + 1];
        at += 2;
        if (marker == 0xD8 || marker == 0xD9) {
            result.push_back({marker, {}});
            continue;
        }
        const size_t length = (size_t{jpeg[at]} << 8) | jpeg[at + 1];
        result.push_back({marker, Bytes(jpeg.begin() + at + 2, jpeg.begin() + at + length)});
        at += length;
        if (marker == 0xDA) {
            while (at + 1 < jpeg.size() &&
                   (jpeg[at] != 0xFF || jpeg[at + 1] == 0 || (jpeg[at + 1] >= 0xD0 && jpeg[at + 1] <= 0xD7))) {
                ++at;
            }
        }
    }
    return result;
}

// Offset of the first header segment with the marker (walking segments from SOI).
size_t SegmentAt(const Bytes& jpeg, uint8_t marker)
{
    size_t at = 2;
    while (jpeg[at + 1] != marker) {
        at += 2 + ((size_t{jpeg[at + 2]} << 8) | jpeg[at + 3]);
    }
    return at;
}

// Offset just past the header of the first scan, where the image data starts.
size_t FirstScanStart(const Bytes& jpeg)
{
    const size_t sos = SegmentAt(jpeg, 0xDA);
    return sos + 2 + ((size_t{jpeg[sos + 2]} << 8) | jpeg[sos + 3]);
}

using TestFiles::ExifPayload;

// Inserts an APP1 segment after the JFIF segment.
Bytes WithApp1(const Bytes& jpeg, const Bytes& payload)
{
    return TestFiles::WithApp1(jpeg, payload, 4 + ((size_t{jpeg[4]} << 8) | jpeg[5]));
}

// Compresses raw samples at quality 100; `configure` runs after the defaults.
Bytes Compress(const Bytes& samples, int width, int height, int components, J_COLOR_SPACE space,
               const std::function<void(jpeg_compress_struct&)>& configure = {})
{
    return CompressJpeg(samples, width, height, components, space, 100, configure);
}

Rgb At(const Raster& r, int32_t x, int32_t y)
{
    const uint8_t* p = r.Row(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

void ExpectNear(const Rgb& actual, const Rgb& expected, int tolerance, const std::string& where)
{
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(actual[c], expected[c], tolerance) << where << " channel " << c;
    }
}

double MeanDifference(const Raster& a, const Raster& b, int32_t rows)
{
    double sum = 0;
    const size_t n = a.Stride() * static_cast<size_t>(rows);
    for (size_t i = 0; i < n; ++i) {
        sum += std::abs(int{a.Pixels[i]} - int{b.Pixels[i]});
    }
    return sum / static_cast<double>(n);
}

// Gradients in every channel: nothing that chroma subsampling or quantisation loses much of.
Raster SmoothRaster(int32_t width, int32_t height)
{
    Raster r(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = r.Row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 255 / width);
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = static_cast<uint8_t>((x + y) * 255 / (width + height));
        }
    }
    return r;
}

bool Decode(const Bytes& jpeg, Raster& out, JpegHeaderInfo& info)
{
    return DecodeJpeg(jpeg.data(), jpeg.size(), out, info);
}

const Rgb Red{255, 0, 0}, Green{0, 255, 0}, Blue{0, 0, 255}, White{255, 255, 255};

} // namespace

TEST(JpegDecode, RoundTripsThroughTheEncoder)
{
    const Raster source = SmoothRaster(61, 37);
    for (const bool progressive : {false, true}) {
        Bytes jpeg;
        ASSERT_TRUE(EncodeJpeg(source, 95, progressive, jpeg));
        Raster decoded;
        JpegHeaderInfo info;
        ASSERT_TRUE(Decode(jpeg, decoded, info));
        EXPECT_EQ(info.MultiScan, progressive);
        EXPECT_EQ(info.Orientation, 1);
        ASSERT_EQ(decoded.Width, 61);
        ASSERT_EQ(decoded.Height, 37);
        EXPECT_EQ(info.Width, 61);
        EXPECT_EQ(info.Height, 37);
        EXPECT_LT(MeanDifference(decoded, source, 37), 4.0) << progressive;
    }
    Raster decoded;
    JpegHeaderInfo info;
    ASSERT_TRUE(Decode(MakeJpeg(source, 80, true), decoded, info));
    EXPECT_TRUE(info.MultiScan);
}

TEST(JpegDecode, GrayscaleComesThroughTheQuantiserAsGrayRgb)
{
    Raster source(300, 24);
    for (int32_t y = 0; y < source.Height; ++y) {
        for (int32_t x = 0; x < source.Width; ++x) {
            std::fill_n(source.Row(y) + 3 * x, 3, static_cast<uint8_t>(x * 255 / 299));
        }
    }
    Raster decoded;
    JpegHeaderInfo info;
    ASSERT_TRUE(Decode(MakeJpeg(source, 95, false, true), decoded, info));
    std::set<uint8_t> levels;
    for (int32_t y = 0; y < decoded.Height; ++y) {
        for (int32_t x = 0; x < decoded.Width; ++x) {
            const Rgb p = At(decoded, x, y);
            ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << x << "," << y;
            levels.insert(static_cast<uint8_t>(p[0]));
        }
    }
    EXPECT_LE(levels.size(), 236u);
    EXPECT_GT(levels.size(), 150u);
    EXPECT_LT(MeanDifference(decoded, source, decoded.Height), 3.0);
}

TEST(JpegDecode, FourComponentFilesAreConvertedToRgb)
{
    // Four 16x16 blocks, given as ink amounts: red, blue, half black, paper white.
    const std::array<std::array<uint8_t, 4>, 4> inks = {{{0, 255, 255, 0}, {255, 255, 0, 0}, {0, 0, 0, 128}, {}}};
    const std::array<Rgb, 4> expected = {Red, Blue, Rgb{127, 127, 127}, White};
    struct Variant {
        J_COLOR_SPACE stored;
        bool adobe; // Adobe writers store the inks inverted
    };
    for (const Variant v : {Variant{JCS_CMYK, false}, Variant{JCS_CMYK, true}, Variant{JCS_YCCK, true}}) {
        Bytes samples;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 64; ++x) {
                for (const uint8_t ink : inks[x / 16]) {
                    samples.push_back(static_cast<uint8_t>(v.adobe ? 255 - ink : ink));
                }
            }
        }
        const Bytes jpeg = Compress(samples, 64, 16, 4, JCS_CMYK, [&](jpeg_compress_struct& c) {
            jpeg_set_colorspace(&c, v.stored);
            c.write_Adobe_marker = v.adobe;
        });
        Raster decoded;
        JpegHeaderInfo info;
        ASSERT_TRUE(Decode(jpeg, decoded, info)) << v.stored << v.adobe;
        ASSERT_EQ(decoded.Width, 64);
        for (int block = 0; block < 4; ++block) {
            ExpectNear(At(decoded, block * 16 + 8, 8), expected[block], 6,
                       "block " + std::to_string(block) + " of " + std::to_string(v.stored) + std::to_string(v.adobe));
        }
    }
}

TEST(JpegDecode, ExifOrientationTurnsThePictureUpright)
{
    // Stored 96x64 with quadrants red | green over blue | white; taller than one band of decoded rows.
    Raster stored(96, 64);
    for (int32_t y = 0; y < 64; ++y) {
        for (int32_t x = 0; x < 96; ++x) {
            const Rgb& c = y < 32 ? (x < 48 ? Red : Green) : (x < 48 ? Blue : White);
            std::copy(c.begin(), c.end(), stored.Row(y) + 3 * x);
        }
    }
    const Bytes plain = MakeJpeg(stored, 100);
    // Upright corner colours (top left, top right, bottom left, bottom right) for orientations 1..8.
    const std::array<std::array<Rgb, 4>, 8> corners = {{
        {Red, Green, Blue, White},
        {Green, Red, White, Blue},
        {White, Blue, Green, Red},
        {Blue, White, Red, Green},
        {Red, Blue, Green, White},
        {Blue, Red, White, Green},
        {White, Green, Blue, Red},
        {Green, White, Red, Blue},
    }};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        for (const bool bigEndian : {false, true}) {
            const std::string what = std::to_string(orientation) + (bigEndian ? " MM" : " II");
            Raster decoded;
            JpegHeaderInfo info;
            ASSERT_TRUE(
                Decode(WithApp1(plain, ExifPayload(bigEndian, static_cast<uint16_t>(orientation))), decoded, info))
                << what;
            EXPECT_EQ(info.Orientation, orientation) << what;
            const bool turned = orientation >= 5;
            ASSERT_EQ(decoded.Width, turned ? 64 : 96) << what;
            ASSERT_EQ(decoded.Height, turned ? 96 : 64) << what;
            EXPECT_EQ(info.Width, decoded.Width);
            EXPECT_EQ(info.Height, decoded.Height);
            const int32_t w = decoded.Width, h = decoded.Height;
            const auto& expect = corners[orientation - 1];
            ExpectNear(At(decoded, w / 4, h / 4), expect[0], 8, what + " top left");
            ExpectNear(At(decoded, 3 * w / 4, h / 4), expect[1], 8, what + " top right");
            ExpectNear(At(decoded, w / 4, 3 * h / 4), expect[2], 8, what + " bottom left");
            ExpectNear(At(decoded, 3 * w / 4, 3 * h / 4), expect[3], 8, what + " bottom right");
        }
    }
    // The orientation is taken from the Exif segment, not from another APP1 (XMP) before it.
    const Bytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0};
    Raster decoded;
    JpegHeaderInfo info;
    ASSERT_TRUE(Decode(WithApp1(WithApp1(plain, ExifPayload(false, 6)), xmp), decoded, info));
    EXPECT_EQ(info.Orientation, 6);
}

TEST(Exif, MalformedOrientationCountsAsUpright)
{
    auto orientation = [](const Bytes& b) { return ExifOrientation(b.data(), b.size()); };
    EXPECT_EQ(orientation(ExifPayload(false, 6)), 6);
    EXPECT_EQ(orientation(ExifPayload(true, 8)), 8);
    EXPECT_EQ(orientation(ExifPayload(false, 0)), 1);
    EXPECT_EQ(orientation(ExifPayload(false, 9)), 1);
    EXPECT_EQ(orientation(ExifPayload(false, 6, 4)), 1); // LONG instead of SHORT
    EXPECT_EQ(orientation(ExifPayload(false, 6, 3, 2)), 1);
    auto patched = [&](size_t at, uint8_t value) {
        Bytes b = ExifPayload(false, 6);
        b[at] = value;
        return orientation(b);
    };
    EXPECT_EQ(patched(5, 'x'), 1);  // signature
    EXPECT_EQ(patched(7, 'M'), 1);  // byte order "IM"
    EXPECT_EQ(patched(8, 43), 1);   // TIFF magic
    EXPECT_EQ(patched(10, 4), 1);   // IFD0 inside the TIFF header
    EXPECT_EQ(patched(10, 200), 1); // IFD0 past the end
    EXPECT_EQ(patched(11, 0xFF), 1);
    EXPECT_EQ(patched(13, 0xFF), 1); // huge IFD0 offset
    EXPECT_EQ(patched(15, 0xFF), 1); // 65282 entries, the table runs past the end
    const Bytes whole = ExifPayload(true, 3);
    for (size_t size = 0; size < whole.size() - 4; ++size) { // every cut before the end of the table
        EXPECT_EQ(ExifOrientation(whole.data(), size), 1) << size;
    }
    EXPECT_EQ(ExifOrientation(nullptr, 0), 1);

    // A JPEG with a broken Exif segment decodes as if it had none.
    const Raster source = MakeTestRaster(40, 20);
    const Bytes plain = MakeJpeg(source, 90);
    Bytes broken = ExifPayload(false, 6);
    broken.resize(26);
    Raster expected, decoded;
    JpegHeaderInfo info;
    ASSERT_TRUE(Decode(plain, expected, info));
    ASSERT_TRUE(Decode(WithApp1(plain, broken), decoded, info));
    EXPECT_EQ(info.Orientation, 1);
    EXPECT_EQ(decoded.Pixels, expected.Pixels);
}

TEST(JpegDecode, FileCutInTheScanDecodesButCutInTheHeaderFails)
{
    const Raster source = SmoothRaster(64, 64);
    for (const bool progressive : {false, true}) {
        const Bytes whole = MakeJpeg(source, 90, progressive);
        const size_t scan = FirstScanStart(whole);
        size_t scanEnd = scan;
        while (whole[scanEnd] != 0xFF || whole[scanEnd + 1] == 0) {
            ++scanEnd;
        }
        // Cut in the middle of the first scan's data (a cut inside a later scan's header is a libjpeg error).
        const Bytes cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>((scan + scanEnd) / 2));
        Raster decoded;
        JpegHeaderInfo info;
        ASSERT_TRUE(Decode(cut, decoded, info)) << progressive;
        ASSERT_EQ(decoded.Width, 64);
        ASSERT_EQ(decoded.Height, 64);
        if (!progressive) {
            EXPECT_LT(MeanDifference(decoded, source, 8), 4.0); // the rows before the cut are intact
        }
        for (size_t size = 1; size <= scan; ++size) {
            ASSERT_FALSE(DecodeJpeg(whole.data(), size, decoded, info)) << "cut at " << size;
        }
    }
}

TEST(JpegDecode, RefusesWhatIsNotAJpegPicture)
{
    const Raster source = MakeTestRaster(16, 16);
    const Bytes jpeg = MakeJpeg(source);
    Bytes tablesOnly(jpeg.begin(), jpeg.begin() + static_cast<ptrdiff_t>(SegmentAt(jpeg, 0xC0)));
    tablesOnly.insert(tablesOnly.end(), {0xFF, 0xD9});
    Bytes garbage(500);
    for (size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    const Bytes bmp = MakeBmp24(source);
    Bytes badMarker = jpeg;
    badMarker[3] = 0x02; // APP0 becomes a reserved marker
    for (const Bytes* bytes : std::initializer_list<const Bytes*>{&tablesOnly, &garbage, &bmp, &badMarker}) {
        Raster out(2, 2, 7);
        JpegHeaderInfo info;
        EXPECT_FALSE(Decode(*bytes, out, info)) << bytes->size();
        EXPECT_EQ(out.Width, 2); // left as it was
        EXPECT_EQ(out.Pixels[0], 7);
    }
    Raster out;
    JpegHeaderInfo info;
    EXPECT_FALSE(DecodeJpeg(jpeg.data(), 0, out, info));
    EXPECT_FALSE(DecodeJpeg(nullptr, 0, out, info));
}

TEST(JpegDecode, RefusesHeadersOverTheSizeLimits)
{
    const Bytes small = MakeJpeg(MakeTestRaster(8, 8));
    auto claiming = [&](uint16_t width, uint16_t height) {
        Bytes b = small;
        const size_t at = SegmentAt(b, 0xC0);
        b[at + 5] = static_cast<uint8_t>(height >> 8), b[at + 6] = static_cast<uint8_t>(height);
        b[at + 7] = static_cast<uint8_t>(width >> 8), b[at + 8] = static_cast<uint8_t>(width);
        return b;
    };
    Raster out;
    JpegHeaderInfo info;
    EXPECT_FALSE(Decode(claiming(65500, 65500), out, info));
    EXPECT_FALSE(Decode(claiming(16384, 16385), out, info)); // one row over the pixel limit
    EXPECT_TRUE(Decode(claiming(64, 32), out, info));        // the patching itself keeps a valid file
    EXPECT_EQ(out.Width, 64);
}

TEST(JpegDecode, RefusesFilesWithTooManyScans)
{
    // Spectral selection in single-coefficient or banded scans gives any scan count: one DC scan, 63 Y
    // scans, then the Cb and Cr bands.
    auto withScans = [](int cbBands, int crBands) {
        std::vector<jpeg_scan_info> scans;
        scans.push_back({3, {0, 1, 2, 0}, 0, 0, 0, 0});
        for (int k = 1; k < 64; ++k) {
            scans.push_back({1, {0, 0, 0, 0}, k, k, 0, 0});
        }
        for (int component = 1; component <= 2; ++component) {
            const int bands = component == 1 ? cbBands : crBands;
            for (int i = 0; i < bands; ++i) {
                scans.push_back({1, {component, 0, 0, 0}, 1 + i * 63 / bands, (i + 1) * 63 / bands, 0, 0});
            }
        }
        const Raster source = MakeTestRaster(16, 16);
        return Compress(Bytes(source.Pixels.begin(), source.Pixels.end()), 16, 16, 3, JCS_RGB,
                        [&](jpeg_compress_struct& c) {
                            c.scan_info = scans.data();
                            c.num_scans = static_cast<int>(scans.size());
                        });
    };
    Raster out;
    JpegHeaderInfo info;
    EXPECT_TRUE(Decode(withScans(18, 18), out, info)); // 100 scans
    EXPECT_TRUE(info.MultiScan);
    EXPECT_FALSE(Decode(withScans(18, 19), out, info));
}

namespace {

// ISO/IEC 10918-1 Annex K.1 and K.2 in natural order, and the zig-zag order of DQT entries.
constexpr std::array<int, 64> LuminanceBase = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                               14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                               18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                               49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::array<int, 64> ChrominanceBase = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                                 24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                                 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                                 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
constexpr std::array<int, 64> ZigZag = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                        12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                        35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                        58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

Bytes ExpectedDqt(int table, int quality)
{
    const int q = std::clamp(quality, 1, 100);
    const int scale = q < 50 ? 5000 / q : 200 - 2 * q;
    Bytes payload = {static_cast<uint8_t>(table)};
    for (const int natural : ZigZag) {
        const int base = (table == 0 ? LuminanceBase : ChrominanceBase)[natural];
        payload.push_back(static_cast<uint8_t>(std::clamp((base * scale + 50) / 100, 1, 255)));
    }
    return payload;
}

Bytes Markers(const std::vector<Segment>& segments)
{
    Bytes markers;
    for (const Segment& s : segments) {
        markers.push_back(s.Marker);
    }
    return markers;
}

} // namespace

TEST(JpegEncode, WritesJfifWithStandardTablesOrProgression)
{
    const Raster source = MakeTestRaster(37, 23);
    const Bytes sof = {8, 0, 23, 0, 37, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1};
    const Bytes jfif = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};

    Bytes jpeg;
    ASSERT_TRUE(EncodeJpeg(source, 75, false, jpeg));
    std::vector<Segment> s = Segments(jpeg);
    ASSERT_EQ(Markers(s), (Bytes{0xD8, 0xE0, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA, 0xD9}));
    EXPECT_EQ(s[1].Payload, jfif);
    EXPECT_EQ(s[4].Payload, sof);
    // The standard tables: DC tables hold 12 symbols, AC tables all 162; optimised ones only the symbols used.
    const std::array<std::pair<uint8_t, int>, 4> dht = {{{0x00, 12}, {0x10, 162}, {0x01, 12}, {0x11, 162}}};
    for (size_t i = 0; i < 4; ++i) {
        const Bytes& p = s[5 + i].Payload;
        EXPECT_EQ(p[0], dht[i].first);
        EXPECT_EQ(static_cast<int>(p.size()) - 17, dht[i].second) << i;
    }
    EXPECT_EQ(s[9].Payload[0], 3); // one interleaved scan

    ASSERT_TRUE(EncodeJpeg(source, 75, true, jpeg));
    s = Segments(jpeg);
    const Bytes markers = Markers(s);
    ASSERT_GE(markers.size(), 6u);
    EXPECT_EQ(Bytes(markers.begin(), markers.begin() + 5), (Bytes{0xD8, 0xE0, 0xDB, 0xDB, 0xC2}));
    EXPECT_EQ(s[4].Payload, sof);
    EXPECT_EQ(markers.back(), 0xD9);
    EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xDA), 10);
    EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xC4) + 10 + 6, static_cast<long>(markers.size()));
}

TEST(JpegEncode, QuantisationTablesFollowTheQuality)
{
    const Raster source = MakeTestRaster(16, 16);
    std::array<Bytes, 256> encoded;
    for (const int quality : {0, 1, 44, 50, 100, 255}) {
        ASSERT_TRUE(EncodeJpeg(source, static_cast<uint8_t>(quality), false, encoded[quality]));
        const std::vector<Segment> s = Segments(encoded[quality]);
        ASSERT_EQ(s[2].Marker, 0xDB);
        ASSERT_EQ(s[3].Marker, 0xDB);
        EXPECT_EQ(s[2].Payload, ExpectedDqt(0, quality)) << quality;
        EXPECT_EQ(s[3].Payload, ExpectedDqt(1, quality)) << quality;
    }
    EXPECT_EQ(encoded[0], encoded[1]);
    EXPECT_EQ(encoded[255], encoded[100]);
    Bytes ones(65, 1);
    ones[0] = 0;
    EXPECT_EQ(Segments(encoded[100])[2].Payload, ones);
}

TEST(JpegEncode, RefusesRastersItCannotEncode)
{
    Raster wide(65500, 1, 128);
    Bytes out = {1, 2, 3};
    ASSERT_TRUE(EncodeJpeg(wide, 90, false, out));
    EXPECT_EQ(Segments(out)[4].Payload[4], 0xDC); // 65500 = 0xFFDC
    Raster shortPixels(4, 4);
    shortPixels.Pixels.resize(10);
    for (const Raster& bad : {Raster(), Raster(0, 5), Raster(5, 0), Raster(65501, 1), Raster(1, 65501), shortPixels}) {
        out = {1, 2, 3};
        EXPECT_FALSE(EncodeJpeg(bad, 90, false, out)) << bad.Width << "x" << bad.Height;
        EXPECT_EQ(out, (Bytes{1, 2, 3}));
    }
}
