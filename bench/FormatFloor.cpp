// The decoding floor of the formats beyond JPEG and BMP: decodes every file at full size with its own
// library (libheif for HEIC and AVIF, libwebp, libpng) to 8-bit interleaved RGB, or RGBA where the file has
// alpha, one file after another on this thread. Each file is read into memory whole, decoded and freed.
// Prints only a checksum of all decoded pixels, so no decode can be left out.
// Usage: quorvane-format-floor FILE...

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <libheif/heif.h>
#include <memory>
#include <png.h>
#include <sched.h>
#include <stdexcept>
#include <vector>
#include <webp/decode.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadWhole(const char* path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    Bytes bytes(size > 0 ? static_cast<std::size_t>(size) : 0);
    if (size <= 0 || !in.seekg(0) || !in.read(reinterpret_cast<char*>(bytes.data()), size))
        throw std::runtime_error("cannot read the file");
    return bytes;
}

// Sum of every byte of each row, folded in row by row.
std::uint64_t Checksum(const std::uint8_t* pixels, std::size_t stride, std::size_t rowBytes, int height)
{
    std::uint64_t sum = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels + stride * static_cast<std::size_t>(y);
        std::uint64_t rowSum = 0;
        for (std::size_t x = 0; x < rowBytes; ++x)
            rowSum += row[x];
        sum = sum * 31 + rowSum;
    }
    return sum;
}

void Check(heif_error error)
{
    if (error.code != heif_error_Ok)
        throw std::runtime_error(error.message);
}

// Holds this thread, and the threads it starts, to the CPU it is on: the AV1 decoder (dav1d) starts one
// thread per CPU the thread may use, and libheif 1.15 has no setting for that.
class OneCpu {
  public:
    OneCpu()
    {
        const int cpu = sched_getcpu();
        held_ = cpu >= 0 && sched_getaffinity(0, sizeof allowed_, &allowed_) == 0;
        if (held_) {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu, &one);
            held_ = sched_setaffinity(0, sizeof one, &one) == 0;
        }
    }
    ~OneCpu()
    {
        if (held_)
            sched_setaffinity(0, sizeof allowed_, &allowed_);
    }
    OneCpu(const OneCpu&) = delete;
    OneCpu& operator=(const OneCpu&) = delete;

  private:
    cpu_set_t allowed_;
    bool held_;
};

template <typename T, void (*Free)(T*)> struct Freer {
    void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)> using Owned = std::unique_ptr<T, Freer<T, Free>>;

std::uint64_t DecodeHeif(const Bytes& file)
{
    const OneCpu oneCpu;
    const Owned<heif_context, heif_context_free> context(heif_context_alloc());
    // 0: the tiles of a grid are decoded on this thread rather than on helper threads.
    heif_context_set_max_decoding_threads(context.get(), 0);
    Check(heif_context_read_from_memory_without_copy(context.get(), file.data(), file.size(), nullptr));
    heif_image_handle* handleOut = nullptr;
    Check(heif_context_get_primary_image_handle(context.get(), &handleOut));
    const Owned<const heif_image_handle, heif_image_handle_release> handle(handleOut);
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const Owned<heif_decoding_options, heif_decoding_options_free> options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image* imageOut = nullptr;
    Check(heif_decode_image(handle.get(), &imageOut, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get()));
    const Owned<const heif_image, heif_image_release> image(imageOut);
    int stride = 0;
    const std::uint8_t* pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!pixels || heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8)
        throw std::runtime_error("no 8-bit interleaved plane");
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    return Checksum(pixels, static_cast<std::size_t>(stride), static_cast<std::size_t>(width) * (alpha ? 4 : 3),
                    heif_image_get_height(image.get(), heif_channel_interleaved));
}

std::uint64_t DecodeWebp(const Bytes& file)
{
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK)
        throw std::runtime_error("not a WebP file");
    int width = 0;
    int height = 0;
    std::uint8_t* pixels = features.has_alpha ? WebPDecodeRGBA(file.data(), file.size(), &width, &height)
                                              : WebPDecodeRGB(file.data(), file.size(), &width, &height);
    if (!pixels)
        throw std::runtime_error("WebP decoding failed");
    const std::size_t rowBytes = static_cast<std::size_t>(width) * (features.has_alpha ? 4 : 3);
    const std::uint64_t sum = Checksum(pixels, rowBytes, rowBytes, height);
    WebPFree(pixels);
    return sum;
}

// What libpng's read callback and error handler reach; it lives outside the frame that calls setjmp.
struct PngRun {
    const Bytes* file = nullptr;
    std::size_t at = 0;
    Bytes pixels;
    std::vector<png_bytep> rows;
    char message[200] = {};
};

void PngRead(png_structp png, png_bytep out, png_size_t count)
{
    auto* run = static_cast<PngRun*>(png_get_io_ptr(png));
    if (count > run->file->size() - run->at)
        png_error(png, "file ends early");
    std::memcpy(out, run->file->data() + run->at, count);
    run->at += count;
}

void PngFail(png_structp png, png_const_charp message)
{
    auto* run = static_cast<PngRun*>(png_get_error_ptr(png));
    std::snprintf(run->message, sizeof run->message, "%s", message);
    png_longjmp(png, 1);
}

void PngWarn(png_structp, png_const_charp) {}

// Palette and low-depth grey expanded, 16 bits rounded to 8, grey made RGB, a tRNS chunk made alpha.
bool DecodePngInto(PngRun& run, png_structp png, png_infop info)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, &run, PngRead);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    run.pixels.resize(rowBytes * height);
    run.rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        run.rows[y] = run.pixels.data() + rowBytes * y;
    png_read_image(png, run.rows.data());
    png_read_end(png, nullptr);
    return true;
}

std::uint64_t DecodePng(const Bytes& file)
{
    PngRun run;
    run.file = &file;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &run, PngFail, PngWarn);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw std::runtime_error("out of memory");
    }
    const bool done = DecodePngInto(run, png, info);
    const int channels = done ? png_get_channels(png, info) : 0;
    png_destroy_read_struct(&png, &info, nullptr);
    if (!done)
        throw std::runtime_error(run.message);
    if (channels != 3 && channels != 4)
        throw std::runtime_error("not RGB or RGBA after expansion");
    return Checksum(run.pixels.data(), run.pixels.size() / run.rows.size(), run.pixels.size() / run.rows.size(),
                    static_cast<int>(run.rows.size()));
}

std::uint64_t Decode(const Bytes& file)
{
    static const std::uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (file.size() >= 8 && std::memcmp(file.data(), pngSignature, 8) == 0)
        return DecodePng(file);
    if (file.size() >= 12 && std::memcmp(file.data(), "RIFF", 4) == 0 && std::memcmp(file.data() + 8, "WEBP", 4) == 0)
        return DecodeWebp(file);
    if (file.size() >= 12 && std::memcmp(file.data() + 4, "ftyp", 4) == 0)
        return DecodeHeif(file);
    throw std::runtime_error("neither HEIF, AVIF, WebP nor PNG");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: quorvane-format-floor FILE...\n", stderr);
        return 64;
    }
    heif_init(nullptr);
    std::uint64_t sum = 0;
    for (int i = 1; i < argc; ++i) {
        try {
            sum = sum * 1000003 + Decode(ReadWhole(argv[i]));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "quorvane-format-floor: %s: %s\n", argv[i], e.what());
            return 1;
        }
    }
    heif_deinit();
    std::printf("checksum %016llx\n", static_cast<unsigned long long>(sum));
    return 0;
}
