// Every libheif call of the tool lives here. libheif reads the file through a reader over the ByteReader,
// so nothing is copied whole, and decodes in the calling thread (the run already uses every core). A turned
// picture comes out of libheif as planar RGB; an upright one keeps the YCbCr planes its decoders made and
// is converted here a row at a time. Either is rounded to 8 bits and laid over white here. The reader's
// callbacks allocate nothing and throw nothing, so no exception crosses libheif's frames.
//
// Before libheif decodes anything, the file's own boxes are read here as well: the top-level boxes tell a
// file cut short from a damaged one, and the meta box gives what libheif 1.15 does not check before it
// allocates: the canvas of a grid or overlay, its tiles' number, size and placement, and the codec and
// chroma of the coded pictures, from which the memory of the decoding is reckoned.

#include "picture/Heif.h"

#include "picture/Exif.h"
#include "picture/WholeSource.h"
#include "platform/Limits.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dav1d/dav1d.h>
#include <libde265/de265.h>
#include <libheif/heif.h>
#include <libheif/heif_plugin.h>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorvane {

namespace {

constexpr uint32_t FourCc(const char (&text)[5])
{
    return uint32_t{static_cast<uint8_t>(text[0])} << 24 | uint32_t{static_cast<uint8_t>(text[1])} << 16 |
           uint32_t{static_cast<uint8_t>(text[2])} << 8 | uint32_t{static_cast<uint8_t>(text[3])};
}

// libheif reads boxes a few bytes at a time; the reader keeps this much of the file around the last read.
constexpr size_t ReadWindowBytes = 64 * 1024;
// Top-level boxes looked at for one that runs past the end of the file.
constexpr int MaxTopLevelBoxes = 1024;
// The largest meta box read (one of 20000 grid tiles takes about 1 MiB).
constexpr uint64_t MaxMetaBytes = uint64_t{16} << 20;
// The most pixels the tiles of a grid or the inputs of an overlay may hold together: a grid's tiles may
// overhang its canvas by less than a tile.
constexpr int64_t MaxDerivedPixels = 2 * MaxPicturePixels;
// Memory libde265 and dav1d keep per pixel beside the picture (block modes, motion, filter state), and
// their fixed part, with margin.
constexpr int64_t DecoderBytesPerPixel = 2;
constexpr int64_t DecoderBytes = 4 << 20;
// libheif's own boxes and images besides the planes, with margin.
constexpr int64_t LibheifBytes = 1 << 20;

// --- Reading the file for libheif

struct FileAccess {
    ByteReader* File = nullptr;
    uint64_t Size = 0;
    uint64_t Position = 0;
    const std::atomic<bool>* Stop = nullptr;
    bool ReadFailed = false;
    bool Stopped = false;
    std::vector<uint8_t> Window;
    uint64_t WindowStart = 0;
    size_t WindowBytes = 0;

    bool Stopping()
    {
        Stopped = Stopped || (Stop != nullptr && Stop->load(std::memory_order_relaxed));
        return Stopped;
    }

    // `count` bytes at Position, through the window; false past the end or at a read error.
    bool Read(uint8_t* to, size_t count)
    {
        if (count > Size || Position > Size - count) {
            return false;
        }
        if (count == 0) {
            // libheif reads nothing into an empty buffer at times.
            return true;
        }
        if (Position >= WindowStart && Position - WindowStart <= WindowBytes &&
            count <= WindowBytes - (Position - WindowStart)) {
            std::memcpy(to, Window.data() + (Position - WindowStart), count);
        } else if (count >= Window.size()) {
            if (File->ReadAt(Position, to, count) != static_cast<int64_t>(count)) {
                ReadFailed = true;
                return false;
            }
        } else {
            const auto want = static_cast<size_t>(std::min<uint64_t>(Window.size(), Size - Position));
            const int64_t got = File->ReadAt(Position, Window.data(), want);
            WindowStart = Position;
            WindowBytes = got > 0 ? static_cast<size_t>(got) : 0;
            if (got < static_cast<int64_t>(count)) {
                ReadFailed = true;
                return false;
            }
            std::memcpy(to, Window.data(), count);
        }
        Position += count;
        return true;
    }
};

int64_t GetPosition(void* user)
{
    return static_cast<int64_t>(static_cast<FileAccess*>(user)->Position);
}

int ReadBytes(void* data, size_t size, void* user)
{
    auto* access = static_cast<FileAccess*>(user);
    try {
        return !access->Stopping() && access->Read(static_cast<uint8_t*>(data), size) ? 0 : 1;
    } catch (...) {
        access->ReadFailed = true;
        return 1;
    }
}

int Seek(int64_t position, void* user)
{
    auto* access = static_cast<FileAccess*>(user);
    if (position < 0 || static_cast<uint64_t>(position) > access->Size) {
        return 1;
    }
    access->Position = static_cast<uint64_t>(position);
    return 0;
}

// libheif asks before it reads an item's data, so this is where a stop ends the decoding between tiles:
// "not yet there" makes it give up with an error.
heif_reader_grow_status WaitForSize(int64_t target, void* user)
{
    auto* access = static_cast<FileAccess*>(user);
    if (access->Stopping()) {
        return heif_reader_grow_status_timeout;
    }
    return target >= 0 && static_cast<uint64_t>(target) <= access->Size ? heif_reader_grow_status_size_reached
                                                                        : heif_reader_grow_status_size_beyond_eof;
}

constexpr heif_reader Reader = {1, GetPosition, ReadBytes, Seek, WaitForSize};

// --- libheif's objects, each freed by its owner

struct FreeContext {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct ReleaseHandle {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ReleaseImage {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct FreeOptions {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
struct FreeNclx {
    void operator()(heif_color_profile_nclx* nclx) const { heif_nclx_color_profile_free(nclx); }
};
using Context = std::unique_ptr<heif_context, FreeContext>;
using Handle = std::unique_ptr<heif_image_handle, ReleaseHandle>;
using Image = std::unique_ptr<heif_image, ReleaseImage>;
using Options = std::unique_ptr<heif_decoding_options, FreeOptions>;
using Nclx = std::unique_ptr<heif_color_profile_nclx, FreeNclx>;

// --- AV1 through dav1d, as this program wants it
//
// libheif 1.15's own dav1d decoder starts a thread per core and lets dav1d print its complaints about
// damaged data on the console. This one, registered ahead of it, decodes in the calling thread and
// silently, and refuses a frame larger than the largest coded picture the file announced (libheif tells
// its decoders nothing of the file, so the thread that decodes hands the size over). It fills libheif's
// image as libheif's own does, colour information included, so the pixels are the same.

// The most pixels a frame decoded by this thread may have; 0 outside a decoding.
thread_local int64_t FramePixels = 0;

class FrameLimit {
  public:
    explicit FrameLimit(int64_t pixels) { FramePixels = pixels; }
    ~FrameLimit() { FramePixels = 0; }
    FrameLimit(const FrameLimit&) = delete;
    FrameLimit& operator=(const FrameLimit&) = delete;
};

struct Av1Decoder {
    Dav1dContext* Context = nullptr;
    Dav1dData Data = {};
};

constexpr heif_error Ok = {heif_error_Ok, heif_suberror_Unspecified, "Success"};

// --- The decoded pictures of an upright picture, kept as their decoder made them
//
// libheif 1.15 turns every colour picture it decodes into RGB planes, and a grid into an RGB canvas, 3 bytes a
// pixel or 6 beside the 1.5 of 4:2:0. For an upright picture the decoders below keep the YCbCr pictures of
// the primary instead, in the order libheif asks for them, and give libheif a 2x2 stand-in of the same
// kind; the rows are then converted here, only the columns looked at, with libheif's own arithmetic.

struct Capture {
    size_t Wanted = 0;       // pictures of the primary still to come: its tiles, or itself
    std::vector<Image> Kept; // reserved beforehand, so keeping one allocates nothing
    bool Unlike = false;     // one of them was not YCbCr
};

// The capture of the picture this thread decodes; none outside such a decoding.
thread_local Capture* Capturing = nullptr;

class Captured {
  public:
    explicit Captured(Capture& capture) { Capturing = &capture; }
    ~Captured() { Capturing = nullptr; }
    Captured(const Captured&) = delete;
    Captured& operator=(const Captured&) = delete;
};

// Called by the decoders with each picture made: one the capture wants is kept, and `image` becomes its
// stand-in.
heif_error KeepDecoded(heif_image*& image)
{
    Capture* capture = Capturing;
    if (capture == nullptr || capture->Wanted == 0) {
        return Ok;
    }
    --capture->Wanted;
    if (heif_image_get_colorspace(image) != heif_colorspace_YCbCr || capture->Kept.size() == capture->Kept.capacity()) {
        capture->Unlike = true;
        return Ok;
    }
    const heif_chroma chroma = heif_image_get_chroma_format(image);
    heif_image* standIn = nullptr;
    heif_error error = heif_image_create(2, 2, heif_colorspace_YCbCr, chroma, &standIn);
    const bool full = chroma == heif_chroma_444;
    const int sides[2][2] = {{2, 2}, {full ? 2 : 1, chroma == heif_chroma_420 ? 1 : 2}};
    for (const heif_channel channel : {heif_channel_Y, heif_channel_Cb, heif_channel_Cr}) {
        const int* side = sides[channel == heif_channel_Y ? 0 : 1];
        if (error.code == heif_error_Ok) {
            error = heif_image_add_plane(standIn, channel, side[0], side[1],
                                         heif_image_get_bits_per_pixel_range(image, channel));
        }
        int stride = 0;
        uint8_t* plane = error.code == heif_error_Ok ? heif_image_get_plane(standIn, channel, &stride) : nullptr;
        if (plane != nullptr) {
            std::memset(plane, 0, static_cast<size_t>(stride) * static_cast<size_t>(side[1]));
        }
    }
    if (error.code != heif_error_Ok) {
        heif_image_release(standIn);
        return error;
    }
    capture->Kept.emplace_back(image);
    image = standIn;
    return error;
}

heif_error Av1Failed(const char* message)
{
    return {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, message};
}

const char* Av1Name()
{
    return "dav1d, one thread";
}

int Av1Priority(heif_compression_format format)
{
    // Above libheif's own dav1d decoder (150).
    return format == heif_compression_AV1 ? 200 : 0;
}

heif_error Av1New(void** decoder)
{
    auto* d = new (std::nothrow) Av1Decoder;
    if (d == nullptr) {
        return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "out of memory"};
    }
    Dav1dSettings settings;
    dav1d_default_settings(&settings);
    settings.n_threads = 1;
    settings.max_frame_delay = 1;
    settings.all_layers = 0;
    settings.frame_size_limit = static_cast<unsigned>(
        std::clamp<int64_t>(FramePixels > 0 ? FramePixels : MaxPicturePixels, 1, MaxPicturePixels));
    settings.logger.callback = nullptr;
    if (dav1d_open(&d->Context, &settings) != 0) {
        delete d;
        return Av1Failed("dav1d cannot start");
    }
    *decoder = d;
    return Ok;
}

void Av1Free(void* decoder)
{
    auto* d = static_cast<Av1Decoder*>(decoder);
    if (d == nullptr) {
        return;
    }
    if (d->Data.sz > 0) {
        dav1d_data_unref(&d->Data);
    }
    dav1d_close(&d->Context);
    delete d;
}

void IgnoreStrict(void*, int) {}

heif_error Av1Push(void* decoder, const void* data, size_t size)
{
    auto* d = static_cast<Av1Decoder*>(decoder);
    if (d->Data.sz > 0 || size == 0) {
        return Av1Failed(size == 0 ? "no AV1 data" : "AV1 data pushed twice");
    }
    uint8_t* to = dav1d_data_create(&d->Data, size);
    if (to == nullptr) {
        return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "out of memory"};
    }
    std::memcpy(to, data, size);
    return Ok;
}

// The dav1d picture as libheif's image: its planes copied, its colour information attached.
heif_error Av1Image(const Dav1dPicture& frame, heif_image** out)
{
    heif_colorspace colorspace = heif_colorspace_YCbCr;
    heif_chroma chroma = heif_chroma_420;
    switch (frame.p.layout) {
    case DAV1D_PIXEL_LAYOUT_I400:
        colorspace = heif_colorspace_monochrome;
        chroma = heif_chroma_monochrome;
        break;
    case DAV1D_PIXEL_LAYOUT_I420:
        break;
    case DAV1D_PIXEL_LAYOUT_I422:
        chroma = heif_chroma_422;
        break;
    case DAV1D_PIXEL_LAYOUT_I444:
        chroma = heif_chroma_444;
        break;
    default:
        return Av1Failed("unknown AV1 pixel layout");
    }
    heif_image* image = nullptr;
    heif_error error = heif_image_create(frame.p.w, frame.p.h, colorspace, chroma, &image);
    if (error.code != heif_error_Ok) {
        return error;
    }
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    if (nclx != nullptr) {
        // An unknown code point is set as unspecified.
        heif_nclx_color_profile_set_color_primaries(nclx, static_cast<uint16_t>(frame.seq_hdr->pri));
        heif_nclx_color_profile_set_transfer_characteristics(nclx, static_cast<uint16_t>(frame.seq_hdr->trc));
        heif_nclx_color_profile_set_matrix_coefficients(nclx, static_cast<uint16_t>(frame.seq_hdr->mtrx));
        nclx->full_range_flag = frame.seq_hdr->color_range != 0 ? 1 : 0;
        heif_image_set_nclx_color_profile(image, nclx);
        heif_nclx_color_profile_free(nclx);
    }
    const heif_channel channels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    const int planes = chroma == heif_chroma_monochrome ? 1 : 3;
    const int shiftX = chroma == heif_chroma_420 || chroma == heif_chroma_422 ? 1 : 0;
    const int shiftY = chroma == heif_chroma_420 ? 1 : 0;
    const auto bytes = static_cast<size_t>((frame.p.bpc + 7) / 8);
    for (int c = 0; c < planes; ++c) {
        const int width = c == 0 ? frame.p.w : (frame.p.w + shiftX) >> shiftX;
        const int height = c == 0 ? frame.p.h : (frame.p.h + shiftY) >> shiftY;
        error = heif_image_add_plane(image, channels[c], width, height, frame.p.bpc);
        int stride = 0;
        uint8_t* to = error.code == heif_error_Ok ? heif_image_get_plane(image, channels[c], &stride) : nullptr;
        if (to == nullptr) {
            heif_image_release(image);
            return error.code != heif_error_Ok ? error : Av1Failed("no plane");
        }
        const auto* from = static_cast<const uint8_t*>(frame.data[c]);
        const ptrdiff_t fromStride = frame.stride[c > 0 ? 1 : 0];
        for (int y = 0; y < height; ++y) {
            std::memcpy(to + static_cast<ptrdiff_t>(y) * stride, from + static_cast<ptrdiff_t>(y) * fromStride,
                        static_cast<size_t>(width) * bytes);
        }
    }
    *out = image;
    return Ok;
}

heif_error Av1Decode(void* decoder, heif_image** out)
{
    auto* d = static_cast<Av1Decoder*>(decoder);
    Dav1dPicture frame = {};
    // All the data is sent, and the one picture taken as soon as dav1d has it.
    int got = DAV1D_ERR(EAGAIN);
    for (int round = 0; round < 1000 && got == DAV1D_ERR(EAGAIN); ++round) {
        const bool sending = d->Data.sz > 0;
        if (sending) {
            const int sent = dav1d_send_data(d->Context, &d->Data);
            if (sent < 0 && sent != DAV1D_ERR(EAGAIN)) {
                return Av1Failed("damaged AV1 data");
            }
        }
        got = dav1d_get_picture(d->Context, &frame);
        if (got == DAV1D_ERR(EAGAIN) && !sending) {
            break;
        }
    }
    if (got < 0) {
        return Av1Failed(got == DAV1D_ERR(EAGAIN) ? "no AV1 picture" : "damaged AV1 data");
    }
    heif_error error = Av1Image(frame, out);
    dav1d_picture_unref(&frame);
    if (error.code == heif_error_Ok) {
        error = KeepDecoded(*out);
        if (error.code != heif_error_Ok) {
            heif_image_release(*out);
            *out = nullptr;
        }
    }
    return error;
}

constexpr heif_decoder_plugin Av1Plugin = {
    3, Av1Name, nullptr, nullptr, Av1Priority, Av1New, Av1Free, Av1Push, Av1Decode, IgnoreStrict, "dav1d-one-thread",
};

// --- HEVC through libde265, as this program wants it
//
// libheif 1.15's own libde265 decoder hands on whatever libde265 made of a damaged stream, parts never
// decoded included, which hold whatever the heap held. This one, registered ahead of it, decodes in the
// calling thread, refuses a picture libde265 found faults in (its warnings, or a picture it marks faulty),
// and gives libde265 zero-filled planes, so that what a damaged stream leaves undecoded is never old heap
// memory. Its
// image is filled as libheif's own fills it, so the pixels are the same.

struct HevcDecoder {
    de265_decoder_context* Context = nullptr;
};

heif_error HevcFailed(const char* message)
{
    return {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, message};
}

const char* HevcName()
{
    return "libde265, one thread, faults refused";
}

int HevcPriority(heif_compression_format format)
{
    // Above libheif's own libde265 decoder (100).
    return format == heif_compression_HEVC ? 200 : 0;
}

// The planes libde265 decodes into, each zero-filled, 16-byte aligned with 16 bytes to spare as libde265
// wants; the allocation itself is the plane's user data.
int HevcGetBuffer(de265_decoder_context*, de265_image_spec* spec, de265_image* image, void*)
{
    const bool mono = spec->format == de265_image_format_mono8;
    const int shiftX = spec->format == de265_image_format_YUV420P8 || spec->format == de265_image_format_YUV422P8;
    const int shiftY = spec->format == de265_image_format_YUV420P8;
    const int64_t align = std::max(spec->alignment, 1);
    void* blocks[3] = {};
    for (int c = 0; c < (mono ? 1 : 3); ++c) {
        const int64_t width = c == 0 ? spec->width : spec->width >> shiftX;
        const int64_t height = c == 0 ? spec->height : spec->height >> shiftY;
        const int64_t stride = (width + align - 1) / align * align * ((de265_get_bits_per_pixel(image, c) + 7) / 8);
        blocks[c] = std::calloc(1, static_cast<size_t>(stride * height + 16 + 15));
        if (blocks[c] == nullptr) {
            for (void* block : blocks) {
                std::free(block);
            }
            return 0;
        }
        const auto address = (reinterpret_cast<uintptr_t>(blocks[c]) + 15) & ~uintptr_t{15};
        de265_set_image_plane(image, c, reinterpret_cast<void*>(address), static_cast<int>(stride), blocks[c]);
    }
    return 1;
}

void HevcReleaseBuffer(de265_decoder_context*, de265_image* image, void*)
{
    for (int c = 0; c < 3; ++c) {
        std::free(de265_get_image_plane_user_data(image, c));
    }
}

de265_image_allocation HevcAllocation = {HevcGetBuffer, HevcReleaseBuffer};

heif_error HevcNew(void** decoder)
{
    auto* d = new (std::nothrow) HevcDecoder;
    if (d == nullptr) {
        return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "out of memory"};
    }
    d->Context = de265_new_decoder();
    if (d->Context == nullptr) {
        delete d;
        return HevcFailed("libde265 cannot start");
    }
    de265_set_image_allocation_functions(d->Context, &HevcAllocation, nullptr);
    de265_set_parameter_bool(d->Context, DE265_DECODER_PARAM_SUPPRESS_FAULTY_PICTURES, 1);
    *decoder = d;
    return Ok;
}

void HevcFree(void* decoder)
{
    auto* d = static_cast<HevcDecoder*>(decoder);
    if (d == nullptr) {
        return;
    }
    de265_free_decoder(d->Context);
    delete d;
}

// The NAL units, each after its 4-byte length as libheif hands them over.
heif_error HevcPush(void* decoder, const void* data, size_t size)
{
    auto* d = static_cast<HevcDecoder*>(decoder);
    const auto* from = static_cast<const uint8_t*>(data);
    size_t at = 0;
    while (at < size) {
        if (size - at < 4) {
            return {heif_error_Decoder_plugin_error, heif_suberror_End_of_data, "NAL length cut short"};
        }
        const size_t length =
            size_t{from[at]} << 24 | size_t{from[at + 1]} << 16 | size_t{from[at + 2]} << 8 | from[at + 3];
        at += 4;
        if (length > size - at) {
            return {heif_error_Decoder_plugin_error, heif_suberror_End_of_data, "NAL unit cut short"};
        }
        if (!de265_isOK(de265_push_NAL(d->Context, from + at, static_cast<int>(length), 0, nullptr))) {
            return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "out of memory"};
        }
        at += length;
    }
    return Ok;
}

// Every warning of libde265 but those of its worker threads, which are not used, is a fault of the stream.
bool HevcFault(de265_error warning)
{
    return warning != DE265_OK && warning != DE265_WARNING_NO_WPP_CANNOT_USE_MULTITHREADING &&
           warning != DE265_WARNING_NUMBER_OF_THREADS_LIMITED_TO_MAXIMUM;
}

// libde265's picture as libheif's image: its planes copied, its colour information attached.
heif_error HevcImage(const de265_image* frame, heif_image** out)
{
    const de265_chroma format = de265_get_chroma_format(frame);
    const bool mono = format == de265_chroma_mono;
    heif_chroma chroma = heif_chroma_monochrome;
    switch (format) {
    case de265_chroma_mono:
        break;
    case de265_chroma_420:
        chroma = heif_chroma_420;
        break;
    case de265_chroma_422:
        chroma = heif_chroma_422;
        break;
    case de265_chroma_444:
        chroma = heif_chroma_444;
        break;
    default:
        return HevcFailed("unknown HEVC chroma format");
    }
    heif_image* image = nullptr;
    heif_error error = heif_image_create(de265_get_image_width(frame, 0), de265_get_image_height(frame, 0),
                                         mono ? heif_colorspace_monochrome : heif_colorspace_YCbCr, chroma, &image);
    if (error.code != heif_error_Ok) {
        return error;
    }
    const heif_channel channels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    const int depth = de265_get_bits_per_pixel(frame, 0);
    for (int c = 0; c < (mono ? 1 : 3); ++c) {
        const int width = de265_get_image_width(frame, c);
        const int height = de265_get_image_height(frame, c);
        int fromStride = 0;
        const uint8_t* from = de265_get_image_plane(frame, c, &fromStride);
        if (de265_get_bits_per_pixel(frame, c) != depth || width <= 0 || height <= 0 || from == nullptr) {
            heif_image_release(image);
            return HevcFailed("HEVC planes of different depths or none");
        }
        error = heif_image_add_plane(image, channels[c], width, height, depth);
        int stride = 0;
        uint8_t* to = error.code == heif_error_Ok ? heif_image_get_plane(image, channels[c], &stride) : nullptr;
        if (to == nullptr) {
            heif_image_release(image);
            return error.code != heif_error_Ok ? error : HevcFailed("no plane");
        }
        for (int y = 0; y < height; ++y) {
            std::memcpy(to + static_cast<ptrdiff_t>(y) * stride, from + static_cast<ptrdiff_t>(y) * fromStride,
                        static_cast<size_t>(width) * static_cast<size_t>((depth + 7) / 8));
        }
    }
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    if (nclx != nullptr) {
        // An unknown code point is set as unspecified.
        heif_nclx_color_profile_set_color_primaries(nclx,
                                                    static_cast<uint16_t>(de265_get_image_colour_primaries(frame)));
        heif_nclx_color_profile_set_transfer_characteristics(
            nclx, static_cast<uint16_t>(de265_get_image_transfer_characteristics(frame)));
        heif_nclx_color_profile_set_matrix_coefficients(
            nclx, static_cast<uint16_t>(de265_get_image_matrix_coefficients(frame)));
        nclx->full_range_flag = de265_get_image_full_range_flag(frame) != 0 ? 1 : 0;
        heif_image_set_nclx_color_profile(image, nclx);
        heif_nclx_color_profile_free(nclx);
    }
    *out = image;
    return Ok;
}

heif_error HevcDecode(void* decoder, heif_image** out)
{
    auto* d = static_cast<HevcDecoder*>(decoder);
    de265_flush_data(d->Context);
    // Decoded to the end; the item's picture is the first.
    heif_image* image = nullptr;
    heif_error error = Ok;
    for (int more = 1; more != 0 && error.code == heif_error_Ok;) {
        more = 0;
        bool fault = !de265_isOK(de265_decode(d->Context, &more));
        for (de265_error warning = de265_get_warning(d->Context); warning != DE265_OK;
             warning = de265_get_warning(d->Context)) {
            fault = fault || HevcFault(warning);
        }
        const de265_image* frame = de265_get_next_picture(d->Context);
        if (fault) {
            error = HevcFailed("damaged HEVC data");
        } else if (frame != nullptr && image == nullptr) {
            error = HevcImage(frame, &image);
        }
        if (frame != nullptr) {
            de265_release_next_picture(d->Context);
        }
    }
    if (error.code == heif_error_Ok && image == nullptr) {
        error = HevcFailed("no HEVC picture");
    }
    if (error.code == heif_error_Ok) {
        error = KeepDecoded(image);
    }
    if (error.code != heif_error_Ok && image != nullptr) {
        heif_image_release(image);
        image = nullptr;
    }
    *out = image;
    return error;
}

constexpr heif_decoder_plugin HevcPlugin = {
    3,
    HevcName,
    nullptr,
    nullptr,
    HevcPriority,
    HevcNew,
    HevcFree,
    HevcPush,
    HevcDecode,
    IgnoreStrict,
    "libde265-faults-refused",
};

// --- The file's boxes, as far as the checks before decoding need them

uint64_t BigEndian(const uint8_t* p, int bytes)
{
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = value << 8 | p[i];
    }
    return value;
}

// Big-endian fields of a box's payload, read in order; any field past the end reads as 0 and marks the
// cursor failed.
class Cursor {
  public:
    Cursor(const std::vector<uint8_t>& bytes, uint64_t begin, uint64_t end)
        : bytes_(bytes), at_(begin), end_(std::min<uint64_t>(end, bytes.size()))
    {
    }

    uint64_t Take(uint64_t bytes)
    {
        if (bytes > 8 || at_ > end_ || bytes > end_ - at_) {
            ok_ = false;
            at_ = end_;
            return 0;
        }
        const uint64_t value = BigEndian(bytes_.data() + at_, static_cast<int>(bytes));
        at_ += bytes;
        return value;
    }
    void Skip(uint64_t bytes)
    {
        if (at_ > end_ || bytes > end_ - at_) {
            ok_ = false;
            at_ = end_;
            return;
        }
        at_ += bytes;
    }
    uint64_t At() const { return at_; }
    uint64_t End() const { return end_; }
    bool Ok() const { return ok_; }

  private:
    const std::vector<uint8_t>& bytes_;
    uint64_t at_;
    uint64_t end_;
    bool ok_ = true;
};

struct Box {
    uint32_t Type = 0;
    uint64_t Begin = 0; // the payload
    uint64_t End = 0;
};

// The boxes in [begin, end) of `bytes`; false when one is malformed or runs past the end.
bool Children(const std::vector<uint8_t>& bytes, uint64_t begin, uint64_t end, std::vector<Box>& boxes)
{
    Cursor cursor(bytes, begin, end);
    while (cursor.At() < cursor.End()) {
        const uint64_t start = cursor.At();
        uint64_t size = cursor.Take(4);
        const auto type = static_cast<uint32_t>(cursor.Take(4));
        if (size == 1) {
            size = cursor.Take(8);
        } else if (size == 0) {
            size = cursor.End() - start;
        }
        const uint64_t header = cursor.At() - start;
        if (!cursor.Ok() || size < header || size > cursor.End() - start) {
            return false;
        }
        boxes.push_back({type, cursor.At(), start + size});
        cursor.Skip(size - header);
    }
    return true;
}

struct TopLevel {
    bool CutShort = false; // a box runs past the end of the file
    bool HasMeta = false;
    uint64_t MetaBegin = 0; // the payload, as far as the file holds it
    uint64_t MetaEnd = 0;
};

// Walks the top-level boxes; false at a read error.
bool ScanTopLevel(ByteReader& file, uint64_t size, TopLevel& top)
{
    uint64_t at = 0;
    for (int n = 0; n < MaxTopLevelBoxes && at < size; ++n) {
        uint8_t header[16] = {};
        const int64_t got = file.ReadAt(at, header, sizeof header);
        if (got < 0) {
            return false;
        }
        uint64_t boxSize = BigEndian(header, 4);
        uint64_t headerSize = 8;
        if (boxSize == 1) {
            boxSize = BigEndian(header + 8, 8);
            headerSize = 16;
        } else if (boxSize == 0) {
            boxSize = size - at;
        }
        if (static_cast<uint64_t>(got) < headerSize || boxSize > size - at) {
            top.CutShort = true;
        }
        if (top.CutShort || boxSize < headerSize) {
            // Damaged past this point (libheif says how), or ends here; a meta box cut short is still read
            // as far as it goes.
            if (top.CutShort && !top.HasMeta && static_cast<uint64_t>(got) >= headerSize &&
                BigEndian(header + 4, 4) == FourCc("meta")) {
                top.HasMeta = true;
                top.MetaBegin = at + headerSize;
                top.MetaEnd = size;
            }
            return true;
        }
        if (!top.HasMeta && BigEndian(header + 4, 4) == FourCc("meta")) {
            top.HasMeta = true;
            top.MetaBegin = at + headerSize;
            top.MetaEnd = at + boxSize;
        }
        at += boxSize;
    }
    return true;
}

struct Extent {
    uint64_t Offset = 0;
    uint64_t Length = 0;
};

struct Location {
    uint64_t Method = 0; // 0 the file, 1 idat
    uint64_t Base = 0;
    std::vector<Extent> Extents;
};

struct Size2 {
    int64_t Width = 0;
    int64_t Height = 0;
};

// An nclx box's code points (ITU-T H.273).
struct CodePoints {
    int Primaries = 2;
    int Matrix = 2;
    bool FullRange = true;
};

// The items, properties and references of the meta box that the checks look at.
class Meta {
  public:
    // Reads the meta box's payload; false with `problem` set when it is malformed.
    bool Parse(std::vector<uint8_t> bytes, std::string& problem);

    bool HasPrimary() const { return hasPrimary_; }
    uint32_t Primary() const { return primary_; }
    // 0 for an item that is not there.
    uint32_t TypeOf(uint32_t item) const
    {
        const auto found = types_.find(item);
        return found == types_.end() ? 0 : found->second;
    }
    const std::vector<uint32_t>& Inputs(uint32_t item) const
    {
        static const std::vector<uint32_t> None;
        const auto found = inputs_.find(item);
        return found == inputs_.end() ? None : found->second;
    }
    const std::vector<uint32_t>& Auxiliaries() const { return auxiliaries_; }
    // The payload of the item's first property of the type, if it has one.
    std::optional<Box> Property(uint32_t item, uint32_t type) const;
    // Whether the item is turned, mirrored or cropped.
    bool Transformed(uint32_t item) const;
    // The transformations of the item in their order.
    std::vector<Box> Transformations(uint32_t item) const;
    std::optional<Size2> Ispe(uint32_t item) const;
    // The code points of the item's last nclx colour box, the one libheif converts its colours by.
    std::optional<CodePoints> Nclx(uint32_t item) const;
    // The auxC type of an auxiliary picture ("urn:mpeg:hevc:2015:auxid:1" for alpha), empty when none.
    std::string AuxiliaryType(uint32_t item) const;
    // The first `count` bytes of an item's data (a grid or overlay descriptor).
    bool ItemData(ByteReader& file, uint32_t item, size_t count, std::vector<uint8_t>& data) const;
    // The bytes of an item's data, as its extents add up.
    int64_t DataBytes(uint32_t item) const
    {
        const auto found = lengths_.find(item);
        return found == lengths_.end() ? 0 : found->second;
    }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

  private:
    bool ParseItems(const Box& iinf);
    bool ParseLocations(const Box& iloc);
    bool ParseReferences(const Box& iref);
    bool ParseProperties(const Box& iprp);
    bool Wanted(uint32_t item) const { return wanted_.find(item) != wanted_.end(); }

    std::vector<uint8_t> bytes_;
    bool hasPrimary_ = false;
    uint32_t primary_ = 0;
    std::unordered_map<uint32_t, uint32_t> types_;
    std::unordered_map<uint32_t, std::vector<uint32_t>> inputs_; // dimg references of derived items
    std::vector<uint32_t> auxiliaries_;                          // items with an auxl reference to the primary
    std::unordered_map<uint32_t, bool> wanted_;                  // the items the checks look at
    std::unordered_map<uint32_t, Location> locations_;
    std::unordered_map<uint32_t, int64_t> lengths_;
    std::vector<Box> properties_;
    std::unordered_map<uint32_t, std::vector<uint32_t>> associations_;
    Box idat_;
    bool hasIdat_ = false;
};

bool IsDerived(uint32_t type)
{
    return type == FourCc("grid") || type == FourCc("iovl") || type == FourCc("iden");
}

bool Meta::Parse(std::vector<uint8_t> bytes, std::string& problem)
{
    bytes_ = std::move(bytes);
    std::vector<Box> boxes;
    // The meta box is a full box: version and flags come first.
    if (bytes_.size() < 4 || !Children(bytes_, 4, bytes_.size(), boxes)) {
        problem = "malformed meta box";
        return false;
    }
    const Box* iinf = nullptr;
    const Box* iloc = nullptr;
    const Box* iref = nullptr;
    const Box* iprp = nullptr;
    for (const Box& box : boxes) {
        if (box.Type == FourCc("pitm") && !hasPrimary_) {
            Cursor cursor(bytes_, box.Begin, box.End);
            const uint64_t version = cursor.Take(1);
            cursor.Skip(3);
            primary_ = static_cast<uint32_t>(cursor.Take(version == 0 ? 2 : 4));
            hasPrimary_ = cursor.Ok();
        } else if (box.Type == FourCc("iinf") && iinf == nullptr) {
            iinf = &box;
        } else if (box.Type == FourCc("iloc") && iloc == nullptr) {
            iloc = &box;
        } else if (box.Type == FourCc("iref") && iref == nullptr) {
            iref = &box;
        } else if (box.Type == FourCc("iprp") && iprp == nullptr) {
            iprp = &box;
        } else if (box.Type == FourCc("idat") && !hasIdat_) {
            idat_ = box;
            hasIdat_ = true;
        }
    }
    if (iinf != nullptr && !ParseItems(*iinf)) {
        problem = "malformed iinf box";
        return false;
    }
    if (iref != nullptr && !ParseReferences(*iref)) {
        problem = "malformed iref box";
        return false;
    }
    // The items looked at: the primary, its alpha and depth pictures, and the inputs of derived items among
    // them, two levels down.
    wanted_[primary_] = true;
    for (uint32_t item : auxiliaries_) {
        wanted_[item] = true;
    }
    for (int level = 0; level < 2; ++level) {
        std::vector<uint32_t> more;
        for (const auto& [item, _] : wanted_) {
            for (uint32_t input : Inputs(item)) {
                more.push_back(input);
            }
        }
        for (uint32_t item : more) {
            wanted_[item] = true;
        }
    }
    if (iloc != nullptr && !ParseLocations(*iloc)) {
        problem = "malformed iloc box";
        return false;
    }
    if (iprp != nullptr && !ParseProperties(*iprp)) {
        problem = "malformed iprp box";
        return false;
    }
    return true;
}

bool Meta::ParseItems(const Box& iinf)
{
    Cursor cursor(bytes_, iinf.Begin, iinf.End);
    const uint64_t version = cursor.Take(1);
    cursor.Skip(3);
    cursor.Take(version == 0 ? 2 : 4);
    std::vector<Box> entries;
    if (!cursor.Ok() || !Children(bytes_, cursor.At(), iinf.End, entries)) {
        return false;
    }
    for (const Box& entry : entries) {
        if (entry.Type != FourCc("infe")) {
            continue;
        }
        Cursor infe(bytes_, entry.Begin, entry.End);
        const uint64_t infeVersion = infe.Take(1);
        infe.Skip(3);
        if (infeVersion < 2) {
            // No item type: a version 0 or 1 entry names no picture.
            continue;
        }
        const auto item = static_cast<uint32_t>(infe.Take(infeVersion == 2 ? 2 : 4));
        infe.Skip(2);
        const auto type = static_cast<uint32_t>(infe.Take(4));
        if (!infe.Ok()) {
            return false;
        }
        types_.emplace(item, type);
    }
    return true;
}

bool Meta::ParseReferences(const Box& iref)
{
    Cursor cursor(bytes_, iref.Begin, iref.End);
    const uint64_t version = cursor.Take(1);
    cursor.Skip(3);
    const uint64_t idBytes = version == 0 ? 2 : 4;
    std::vector<Box> references;
    if (!cursor.Ok() || !Children(bytes_, cursor.At(), iref.End, references)) {
        return false;
    }
    for (const Box& reference : references) {
        const bool inputs = reference.Type == FourCc("dimg");
        const bool auxiliary = reference.Type == FourCc("auxl");
        if (!inputs && !auxiliary) {
            continue;
        }
        Cursor entry(bytes_, reference.Begin, reference.End);
        const auto from = static_cast<uint32_t>(entry.Take(idBytes));
        const uint64_t count = entry.Take(2);
        if (!entry.Ok() || count * idBytes > entry.End() - entry.At()) {
            return false;
        }
        if (inputs && IsDerived(TypeOf(from)) && inputs_.find(from) == inputs_.end()) {
            std::vector<uint32_t>& to = inputs_[from];
            to.reserve(count);
            for (uint64_t i = 0; i < count; ++i) {
                to.push_back(static_cast<uint32_t>(entry.Take(idBytes)));
            }
        }
        if (auxiliary) {
            for (uint64_t i = 0; i < count; ++i) {
                if (entry.Take(idBytes) == primary_ && hasPrimary_) {
                    auxiliaries_.push_back(from);
                    break;
                }
            }
        }
    }
    return true;
}

bool Meta::ParseLocations(const Box& iloc)
{
    Cursor cursor(bytes_, iloc.Begin, iloc.End);
    const uint64_t version = cursor.Take(1);
    cursor.Skip(3);
    const uint64_t sizes = cursor.Take(2);
    const uint64_t offsetBytes = sizes >> 12 & 15;
    const uint64_t lengthBytes = sizes >> 8 & 15;
    const uint64_t baseBytes = sizes >> 4 & 15;
    const uint64_t indexBytes = version == 1 || version == 2 ? sizes & 15 : 0;
    const uint64_t count = cursor.Take(version < 2 ? 2 : 4);
    for (uint64_t n = 0; n < count && cursor.Ok(); ++n) {
        const auto item = static_cast<uint32_t>(cursor.Take(version < 2 ? 2 : 4));
        Location location;
        if (version == 1 || version == 2) {
            location.Method = cursor.Take(2) & 15;
        }
        cursor.Skip(2);
        location.Base = cursor.Take(baseBytes);
        const uint64_t extents = cursor.Take(2);
        const bool wanted = Wanted(item) && IsDerived(TypeOf(item));
        uint64_t total = 0;
        for (uint64_t e = 0; e < extents && cursor.Ok(); ++e) {
            cursor.Skip(indexBytes);
            const uint64_t offset = cursor.Take(offsetBytes);
            const uint64_t length = cursor.Take(lengthBytes);
            total += std::min<uint64_t>(length, uint64_t{1} << 40);
            if (wanted) {
                location.Extents.push_back({offset, length});
            }
        }
        if (Wanted(item)) {
            lengths_.emplace(item, static_cast<int64_t>(std::min<uint64_t>(total, uint64_t{1} << 50)));
        }
        if (wanted) {
            locations_.emplace(item, std::move(location));
        }
    }
    return cursor.Ok();
}

bool Meta::ParseProperties(const Box& iprp)
{
    std::vector<Box> boxes;
    if (!Children(bytes_, iprp.Begin, iprp.End, boxes)) {
        return false;
    }
    for (const Box& box : boxes) {
        if (box.Type == FourCc("ipco") && properties_.empty()) {
            if (!Children(bytes_, box.Begin, box.End, properties_)) {
                return false;
            }
        } else if (box.Type == FourCc("ipma")) {
            Cursor cursor(bytes_, box.Begin, box.End);
            const uint64_t version = cursor.Take(1);
            const uint64_t flags = cursor.Take(3);
            const uint64_t count = cursor.Take(4);
            for (uint64_t n = 0; n < count && cursor.Ok(); ++n) {
                const auto item = static_cast<uint32_t>(cursor.Take(version == 0 ? 2 : 4));
                const uint64_t links = cursor.Take(1);
                const bool wanted = Wanted(item) && associations_.find(item) == associations_.end();
                std::vector<uint32_t> indices;
                for (uint64_t l = 0; l < links; ++l) {
                    const uint64_t value = (flags & 1) != 0 ? cursor.Take(2) & 0x7FFF : cursor.Take(1) & 0x7F;
                    if (wanted) {
                        indices.push_back(static_cast<uint32_t>(value));
                    }
                }
                if (wanted) {
                    associations_.emplace(item, std::move(indices));
                }
            }
            if (!cursor.Ok()) {
                return false;
            }
        }
    }
    return true;
}

std::optional<Box> Meta::Property(uint32_t item, uint32_t type) const
{
    const auto found = associations_.find(item);
    if (found != associations_.end()) {
        for (uint32_t index : found->second) {
            if (index >= 1 && index <= properties_.size() && properties_[index - 1].Type == type) {
                return properties_[index - 1];
            }
        }
    }
    return std::nullopt;
}

std::optional<CodePoints> Meta::Nclx(uint32_t item) const
{
    std::optional<CodePoints> last;
    const auto links = associations_.find(item);
    if (links == associations_.end()) {
        return last;
    }
    for (uint32_t index : links->second) {
        if (index >= 1 && index <= properties_.size() && properties_[index - 1].Type == FourCc("colr")) {
            Cursor cursor(bytes_, properties_[index - 1].Begin, properties_[index - 1].End);
            const bool nclx = cursor.Take(4) == FourCc("nclx");
            CodePoints points;
            points.Primaries = static_cast<int>(cursor.Take(2));
            cursor.Skip(2);
            points.Matrix = static_cast<int>(cursor.Take(2));
            points.FullRange = (cursor.Take(1) & 0x80) != 0;
            if (nclx && cursor.Ok()) {
                last = points;
            }
        }
    }
    return last;
}

std::vector<Box> Meta::Transformations(uint32_t item) const
{
    std::vector<Box> found;
    const auto links = associations_.find(item);
    if (links != associations_.end()) {
        for (uint32_t index : links->second) {
            if (index >= 1 && index <= properties_.size()) {
                const Box& property = properties_[index - 1];
                if (property.Type == FourCc("irot") || property.Type == FourCc("imir") ||
                    property.Type == FourCc("clap")) {
                    found.push_back(property);
                }
            }
        }
    }
    return found;
}

bool Meta::Transformed(uint32_t item) const
{
    return !Transformations(item).empty();
}

std::optional<Size2> Meta::Ispe(uint32_t item) const
{
    const std::optional<Box> ispe = Property(item, FourCc("ispe"));
    if (!ispe) {
        return std::nullopt;
    }
    Cursor cursor(bytes_, ispe->Begin, ispe->End);
    cursor.Skip(4);
    Size2 size;
    size.Width = static_cast<int64_t>(cursor.Take(4));
    size.Height = static_cast<int64_t>(cursor.Take(4));
    return cursor.Ok() ? std::optional(size) : std::nullopt;
}

std::string Meta::AuxiliaryType(uint32_t item) const
{
    const std::optional<Box> auxC = Property(item, FourCc("auxC"));
    if (!auxC || auxC->End - auxC->Begin < 4) {
        return {};
    }
    const auto* text = reinterpret_cast<const char*>(bytes_.data() + auxC->Begin + 4);
    const auto size = static_cast<size_t>(auxC->End - auxC->Begin - 4);
    return std::string(text, strnlen(text, size));
}

bool IsAlpha(const std::string& type)
{
    return type == "urn:mpeg:avc:2015:auxid:1" || type == "urn:mpeg:hevc:2015:auxid:1" ||
           type == "urn:mpeg:mpegB:cicp:systems:auxiliary:alpha";
}

bool Meta::ItemData(ByteReader& file, uint32_t item, size_t count, std::vector<uint8_t>& data) const
{
    const auto found = locations_.find(item);
    if (found == locations_.end()) {
        return false;
    }
    const Location& location = found->second;
    for (const Extent& extent : location.Extents) {
        if (data.size() >= count) {
            break;
        }
        const auto take = static_cast<size_t>(std::min<uint64_t>(extent.Length, count - data.size()));
        const uint64_t start = location.Base + extent.Offset;
        if (start < location.Base) {
            return false;
        }
        const size_t had = data.size();
        data.resize(had + take);
        if (location.Method == 0) {
            if (file.ReadAt(start, data.data() + had, take) != static_cast<int64_t>(take)) {
                return false;
            }
        } else if (location.Method == 1 && hasIdat_ && start <= idat_.End - idat_.Begin &&
                   take <= idat_.End - idat_.Begin - start) {
            std::memcpy(data.data() + had, bytes_.data() + idat_.Begin + start, take);
        } else {
            return false;
        }
    }
    return true;
}

// --- HEVC parameter sets
//
// libde265 prints its complaints about a few values of a sequence parameter set on the console, and
// allocates for the size the set gives whatever the file announced. The sets in a picture's hvcC box are
// read here up to those values, so such a picture is refused before libde265 sees it.

// Bits of a NAL unit's payload with its emulation prevention bytes taken out.
class BitReader {
  public:
    BitReader(const uint8_t* nal, size_t size)
    {
        // The two bytes of the NAL unit header first; only the start of a set is ever read.
        size = std::min<size_t>(size, 1024);
        for (size_t i = 2, zeros = 0; i < size; ++i) {
            if (zeros >= 2 && nal[i] == 3) {
                zeros = 0;
                continue;
            }
            zeros = nal[i] == 0 ? zeros + 1 : 0;
            bytes_.push_back(nal[i]);
        }
    }
    uint32_t Bits(int count)
    {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (bit_ >= bytes_.size() * 8) {
                ok_ = false;
                return 0;
            }
            value = value << 1 | ((bytes_[bit_ / 8] >> (7 - bit_ % 8)) & 1u);
            ++bit_;
        }
        return value;
    }
    // An Exp-Golomb number; as libde265, more than 20 leading zeros are an error.
    uint32_t Ue()
    {
        int zeros = 0;
        while (ok_ && Bits(1) == 0) {
            if (++zeros > 20) {
                ok_ = false;
            }
        }
        return ok_ ? (1u << zeros) - 1 + Bits(zeros) : 0;
    }
    bool Ok() const { return ok_; }

  private:
    std::vector<uint8_t> bytes_;
    size_t bit_ = 0;
    bool ok_ = true;
};

// Reads a sequence parameter set as far as libde265's own checks of it; the problem, or empty.
std::string CheckSps(const uint8_t* nal, size_t size, Size2 announced)
{
    BitReader bits(nal, size);
    bits.Bits(4);
    const uint32_t subLayers = bits.Bits(3);
    bits.Bits(1);
    // profile_tier_level: the general profile and level, then what each sub-layer has.
    bits.Bits(32);
    bits.Bits(32);
    bits.Bits(32);
    bool profile[8] = {};
    bool level[8] = {};
    for (uint32_t i = 0; i < subLayers; ++i) {
        profile[i] = bits.Bits(1) != 0;
        level[i] = bits.Bits(1) != 0;
    }
    for (uint32_t i = subLayers; subLayers > 0 && i < 8; ++i) {
        bits.Bits(2);
    }
    for (uint32_t i = 0; i < subLayers; ++i) {
        for (int b = 0; profile[i] && b < 88; b += 8) {
            bits.Bits(8);
        }
        bits.Bits(level[i] ? 8 : 0);
    }
    bits.Ue(); // sps_seq_parameter_set_id
    const uint32_t chroma = bits.Ue();
    if (chroma == 3) {
        bits.Bits(1);
    }
    const int64_t width = bits.Ue();
    const int64_t height = bits.Ue();
    if (bits.Bits(1) != 0) {
        for (int i = 0; i < 4; ++i) {
            bits.Ue();
        }
    }
    bits.Ue(); // bit depths, checked by libde265 without a word
    bits.Ue();
    bits.Ue(); // log2_max_pic_order_cnt_lsb_minus4
    const uint32_t first = bits.Bits(1) != 0 ? 0 : subLayers;
    for (uint32_t i = first; i <= subLayers && bits.Ok(); ++i) {
        bits.Ue();
        bits.Ue();
        bits.Ue();
    }
    const int64_t minCb = int64_t{bits.Ue()} + 3;
    const int64_t ctb = minCb + bits.Ue();
    const int64_t minTb = int64_t{bits.Ue()} + 2;
    const int64_t maxTb = minTb + bits.Ue();
    const int64_t depthInter = bits.Ue();
    const int64_t depthIntra = bits.Ue();
    if (!bits.Ok() || subLayers > 6) {
        return "malformed sequence parameter set";
    }
    if (minCb > 6 || ctb > 6 || minTb > 5 || maxTb > 5) {
        return {}; // refused by libde265 without a word
    }
    if (depthInter > ctb - minTb || depthIntra > ctb - minTb || width % (int64_t{1} << minCb) != 0 ||
        height % (int64_t{1} << minCb) != 0 || minTb > minCb || maxTb > std::min<int64_t>(ctb, 5)) {
        return "invalid sequence parameter set";
    }
    // The coded size may pass the announced one by the coding's alignment; a picture coded far larger
    // than the file says is a trap for the memory.
    const int64_t allowed = 4 * std::max<int64_t>(announced.Width * announced.Height, 64 * 64);
    if (width * height > allowed) {
        return "coded size " + std::to_string(width) + "x" + std::to_string(height) + " for a picture of " +
               std::to_string(announced.Width) + "x" + std::to_string(announced.Height);
    }
    return {};
}

// The parameter sets of an hvcC box: every sequence parameter set read; the problem, or empty.
std::string CheckHevcConfig(const Meta& meta, const Box& hvcC, Size2 announced)
{
    const std::vector<uint8_t>& bytes = meta.Bytes();
    Cursor cursor(bytes, hvcC.Begin, hvcC.End);
    cursor.Skip(22);
    const uint64_t arrays = cursor.Take(1);
    for (uint64_t a = 0; a < arrays && cursor.Ok(); ++a) {
        const uint64_t type = cursor.Take(1) & 0x3F;
        const uint64_t count = cursor.Take(2);
        for (uint64_t n = 0; n < count && cursor.Ok(); ++n) {
            const uint64_t length = cursor.Take(2);
            const uint64_t at = cursor.At();
            cursor.Skip(length);
            if (type == 33 && cursor.Ok()) {
                std::string problem = CheckSps(bytes.data() + at, static_cast<size_t>(length), announced);
                if (!problem.empty()) {
                    return problem;
                }
            }
        }
    }
    return cursor.Ok() ? std::string() : "malformed hvcC box";
}

// --- What the checks find out about the primary picture

// The coding of a coded picture: its samples per pixel over the three planes (1 for monochrome, 1.5 for
// 4:2:0, 2 for 4:2:2, 3 for 4:4:4) in halves, and whether it is monochrome.
struct Coding {
    int HalfSamples = 6;
    bool Monochrome = false;
};

Coding CodingOf(const Meta& meta, uint32_t item)
{
    Coding coding;
    const uint32_t type = meta.TypeOf(item);
    int chroma = -1; // 0 monochrome, 1 4:2:0, 2 4:2:2, 3 4:4:4
    if (type == FourCc("hvc1")) {
        if (const auto hvcC = meta.Property(item, FourCc("hvcC"))) {
            Cursor cursor(meta.Bytes(), hvcC->Begin, hvcC->End);
            cursor.Skip(16);
            const uint64_t format = cursor.Take(1);
            chroma = cursor.Ok() ? static_cast<int>(format & 3) : -1;
        }
    } else if (type == FourCc("av01")) {
        if (const auto av1C = meta.Property(item, FourCc("av1C"))) {
            Cursor cursor(meta.Bytes(), av1C->Begin, av1C->End);
            cursor.Skip(2);
            const uint64_t flags = cursor.Take(1);
            if (cursor.Ok()) {
                const bool x = (flags & 0x08) != 0;
                const bool y = (flags & 0x04) != 0;
                chroma = (flags & 0x10) != 0 ? 0 : x && y ? 1 : x ? 2 : 3;
            }
        }
    }
    static constexpr int HalfSamples[] = {2, 3, 4, 6};
    if (chroma >= 0) {
        coding.HalfSamples = HalfSamples[chroma];
        coding.Monochrome = chroma == 0;
    }
    return coding;
}

// The makeup of the picture libheif will decode, found before it decodes anything.
struct Makeup {
    Coding Coded;             // of the primary, or of its first tile or input
    bool Composed = false;    // a grid or overlay, put together on a canvas
    int64_t CanvasPixels = 0; // the picture's, as coded or as composed
    int64_t LargestCoded = 0; // the pixels of the largest coded picture: the picture, a tile or an input
    int64_t LargestData = 0;  // the bytes of the largest coded picture's data
    int64_t AlphaPixels = 0;  // of the alpha picture, as coded or composed
    int64_t AlphaData = 0;
    bool AlphaComposed = false;
    // A coded picture or a grid: its coded pictures in order, row by row, and their size and columns.
    std::vector<uint32_t> Tiles;
    int64_t TileWidth = 0;
    int64_t TileHeight = 0;
    int64_t Columns = 1;
};

LoadError Damaged(std::string words)
{
    return {LoadReason::HeifDamaged, Message::Plain(std::move(words))};
}

std::string Dimensions(int64_t width, int64_t height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

uint32_t TypeText(uint32_t type, char (&text)[5])
{
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>(type >> (24 - 8 * i));
        text[i] = c >= 0x20 && c < 0x7F ? c : '?';
    }
    text[4] = 0;
    return type;
}

class Checker {
  public:
    Checker(const Meta& meta, ByteReader& file) : meta_(meta), file_(file) {}

    // The checks of the primary picture and of its alpha picture when libheif found one: codecs, derived
    // pictures and their inputs.
    LoadError Check(bool alpha, Makeup& makeup)
    {
        const uint32_t primary = meta_.Primary();
        if (!meta_.HasPrimary() || meta_.TypeOf(primary) == 0) {
            return {LoadReason::HeifNoImage, {}};
        }
        if (LoadError error = CheckItem(primary, 0, makeup)) {
            return error;
        }
        for (uint32_t auxiliary : meta_.Auxiliaries()) {
            if (!alpha || !IsAlpha(meta_.AuxiliaryType(auxiliary))) {
                continue;
            }
            Makeup shape;
            if (LoadError error = CheckItem(auxiliary, 0, shape)) {
                return error;
            }
            makeup.AlphaPixels = std::max(makeup.AlphaPixels, shape.CanvasPixels);
            makeup.AlphaComposed = makeup.AlphaComposed || shape.Composed;
            makeup.AlphaData = std::max(makeup.AlphaData, shape.LargestData);
            makeup.LargestCoded = std::max(makeup.LargestCoded, shape.LargestCoded);
        }
        return {};
    }

  private:
    LoadError CheckCoded(uint32_t item)
    {
        const uint32_t type = meta_.TypeOf(item);
        if (type == FourCc("hvc1") || type == FourCc("av01")) {
            const auto format = type == FourCc("hvc1") ? heif_compression_HEVC : heif_compression_AV1;
            if (heif_have_decoder_for_format(format) == 0) {
                char text[5];
                TypeText(type, text);
                return {LoadReason::HeifCodec, Message::Plain(std::string("no decoder for ") + text)};
            }
            const std::optional<Box> hvcC = meta_.Property(item, FourCc("hvcC"));
            if (type == FourCc("hvc1") && hvcC && checkedConfigs_.insert(hvcC->Begin).second) {
                const std::string problem = CheckHevcConfig(meta_, *hvcC, meta_.Ispe(item).value_or(Size2{}));
                if (!problem.empty()) {
                    return Damaged(problem);
                }
            }
            return {};
        }
        if (type == 0) {
            return Damaged("picture item " + std::to_string(item) + " is missing");
        }
        // Any other coding (VVC, AVC, JPEG, JPEG 2000, uncompressed) libheif 1.15 does not decode.
        char text[5];
        TypeText(type, text);
        return {LoadReason::HeifCodec, Message::Plain(std::string("no decoder for ") + text)};
    }

    LoadError CheckItem(uint32_t item, int level, Makeup& makeup)
    {
        const uint32_t type = meta_.TypeOf(item);
        if (!IsDerived(type)) {
            if (LoadError error = CheckCoded(item)) {
                return error;
            }
            makeup.Coded = CodingOf(meta_, item);
            const auto size = meta_.Ispe(item);
            makeup.CanvasPixels = size ? size->Width * size->Height : 0;
            makeup.LargestCoded = makeup.CanvasPixels;
            makeup.LargestData = meta_.DataBytes(item);
            if (size) {
                makeup.Tiles = {item};
                makeup.TileWidth = size->Width;
                makeup.TileHeight = size->Height;
            }
            return {};
        }
        const std::vector<uint32_t>& inputs = meta_.Inputs(item);
        if (inputs.empty()) {
            return Damaged("derived picture without inputs");
        }
        if (type == FourCc("iden")) {
            // An identity may show a grid or an overlay; nothing deeper.
            if (level > 0 || inputs.size() != 1) {
                return Damaged("malformed identity picture");
            }
            return CheckItem(inputs[0], level + 1, makeup);
        }
        if (level > 1) {
            return Damaged("derived pictures nested too deep");
        }
        // Grids and overlays are made of coded pictures that are neither turned nor cropped.
        for (uint32_t input : inputs) {
            if (IsDerived(meta_.TypeOf(input))) {
                return Damaged("derived picture made of derived pictures");
            }
            if (meta_.Transformed(input)) {
                return Damaged("tile turned, mirrored or cropped");
            }
        }
        if (LoadError error = CheckCoded(inputs[0])) {
            return error;
        }
        makeup.Coded = CodingOf(meta_, inputs[0]);
        makeup.Composed = true;
        return type == FourCc("grid") ? CheckGrid(item, inputs, makeup) : CheckOverlay(item, inputs, makeup);
    }

    // The canvas a descriptor gives, checked against the item's ispe and the limits.
    LoadError CheckCanvas(uint32_t item, int64_t width, int64_t height, Makeup& makeup)
    {
        const auto ispe = meta_.Ispe(item);
        if (ispe && (ispe->Width != width || ispe->Height != height)) {
            return Damaged("canvas of " + Dimensions(width, height) + " in a picture of " +
                           Dimensions(ispe->Width, ispe->Height));
        }
        if (width <= 0 || height <= 0 || width > MaxPictureSide || height > MaxPictureSide ||
            width * height > MaxPicturePixels) {
            return {LoadReason::PictureSize, SizeText(width, height)};
        }
        makeup.CanvasPixels = width * height;
        return {};
    }

    LoadError CheckGrid(uint32_t item, const std::vector<uint32_t>& tiles, Makeup& makeup)
    {
        std::vector<uint8_t> data;
        if (!meta_.ItemData(file_, item, 12, data) || data.size() < 8) {
            return Damaged("grid descriptor missing");
        }
        const bool large = (data[1] & 1) != 0;
        if (large && data.size() < 12) {
            return Damaged("grid descriptor cut short");
        }
        const int64_t rows = int64_t{data[2]} + 1;
        const int64_t columns = int64_t{data[3]} + 1;
        const auto width = static_cast<int64_t>(BigEndian(data.data() + 4, large ? 4 : 2));
        const auto height = static_cast<int64_t>(BigEndian(data.data() + (large ? 8 : 6), large ? 4 : 2));
        if (rows * columns != static_cast<int64_t>(tiles.size())) {
            return Damaged("grid of " + Dimensions(columns, rows) + " tiles with " + std::to_string(tiles.size()) +
                           " tile pictures");
        }
        if (LoadError error = CheckCanvas(item, width, height, makeup)) {
            return error;
        }
        // Every tile of one size; together they cover the canvas, none lies wholly outside it.
        const auto size = meta_.Ispe(tiles[0]);
        std::set<uint32_t> seen;
        for (uint32_t tile : tiles) {
            const auto other = meta_.Ispe(tile);
            if (!other || !size || other->Width != size->Width || other->Height != size->Height) {
                return Damaged("grid tiles of different sizes");
            }
            if (seen.insert(tile).second) {
                if (LoadError error = CheckCoded(tile)) {
                    return error;
                }
            }
        }
        const int64_t tileWidth = size->Width;
        const int64_t tileHeight = size->Height;
        if (tileWidth <= 0 || tileHeight <= 0 || columns * tileWidth < width || rows * tileHeight < height ||
            (columns - 1) * tileWidth >= width || (rows - 1) * tileHeight >= height) {
            return Damaged("grid of " + Dimensions(columns, rows) + " tiles of " + Dimensions(tileWidth, tileHeight) +
                           " on a canvas of " + Dimensions(width, height));
        }
        if (tileWidth > MaxPictureSide || tileHeight > MaxPictureSide ||
            columns * tileWidth * rows * tileHeight > MaxDerivedPixels) {
            return {LoadReason::PictureSize, SizeText(columns * tileWidth, rows * tileHeight)};
        }
        makeup.LargestCoded = tileWidth * tileHeight;
        makeup.Tiles = tiles;
        makeup.TileWidth = tileWidth;
        makeup.TileHeight = tileHeight;
        makeup.Columns = columns;
        for (uint32_t tile : tiles) {
            makeup.LargestData = std::max(makeup.LargestData, meta_.DataBytes(tile));
        }
        return {};
    }

    LoadError CheckOverlay(uint32_t item, const std::vector<uint32_t>& inputs, Makeup& makeup)
    {
        std::vector<uint8_t> data;
        if (!meta_.ItemData(file_, item, 20, data) || data.size() < 12) {
            return Damaged("overlay descriptor missing");
        }
        const bool large = (data[1] & 1) != 0;
        if (large && data.size() < 20) {
            return Damaged("overlay descriptor cut short");
        }
        // Version and flags, four 16-bit fill values, then the canvas.
        const auto width = static_cast<int64_t>(BigEndian(data.data() + 12, large ? 4 : 2));
        const auto height = static_cast<int64_t>(BigEndian(data.data() + (large ? 16 : 14), large ? 4 : 2));
        if (LoadError error = CheckCanvas(item, width, height, makeup)) {
            return error;
        }
        int64_t pixels = 0;
        std::set<uint32_t> seen;
        for (uint32_t input : inputs) {
            if (seen.insert(input).second) {
                if (LoadError error = CheckCoded(input)) {
                    return error;
                }
            }
            const auto size = meta_.Ispe(input);
            if (!size || size->Width > MaxPictureSide || size->Height > MaxPictureSide) {
                return Damaged("overlay input without a size");
            }
            makeup.LargestCoded = std::max(makeup.LargestCoded, size->Width * size->Height);
            makeup.LargestData = std::max(makeup.LargestData, meta_.DataBytes(input));
            pixels += size->Width * size->Height;
            if (pixels > MaxDerivedPixels) {
                return Damaged("overlay of " + std::to_string(inputs.size()) + " pictures");
            }
        }
        return {};
    }

    const Meta& meta_;
    ByteReader& file_;
    std::set<uint64_t> checkedConfigs_; // the hvcC boxes read, by their place
};

// libheif's error as the reason to show. A file with a box cut short counts as cut short whatever
// libheif stumbled on.
LoadError FromLibheif(const heif_error& error, bool cutShort)
{
    const Message words = Message::Plain(error.message != nullptr ? error.message : "");
    if (error.subcode == heif_suberror_Security_limit_exceeded) {
        // "Image size 100000x100000 exceeds the maximum image size 65535x65535"
        unsigned long width = 0;
        unsigned long height = 0;
        const char* size = error.message != nullptr ? std::strstr(error.message, "Image size ") : nullptr;
        if (size != nullptr && std::sscanf(size, "Image size %lux%lu", &width, &height) == 2) {
            return {LoadReason::PictureSize, SizeText(static_cast<int64_t>(width), static_cast<int64_t>(height))};
        }
        return {LoadReason::HeifDamaged, words};
    }
    if (error.code == heif_error_Memory_allocation_error) {
        return {LoadReason::OutOfMemory, {}};
    }
    if (error.code == heif_error_Unsupported_filetype || error.subcode == heif_suberror_No_ftyp_box) {
        return {cutShort ? LoadReason::HeifCutShort : LoadReason::HeifNotHeif, {}};
    }
    if (error.code == heif_error_Unsupported_feature || error.subcode == heif_suberror_Unsupported_codec) {
        return {LoadReason::HeifCodec, words};
    }
    if (cutShort || error.subcode == heif_suberror_End_of_data) {
        return {LoadReason::HeifCutShort, {}};
    }
    if (error.subcode == heif_suberror_No_pitm_box || error.subcode == heif_suberror_No_or_invalid_primary_item) {
        return {LoadReason::HeifNoImage, {}};
    }
    return {LoadReason::HeifDamaged, words};
}

// The EXIF orientation that irot and imir boxes, applied in their order, amount to; 0 when one of them
// is a crop. Each step is a signed permutation of the (x, y) axes, composed as 2x2 matrices.
int OrientationOf(const Meta& meta, const std::vector<Box>& steps)
{
    int m[2][2] = {{1, 0}, {0, 1}};
    for (const Box& step : steps) {
        Cursor cursor(meta.Bytes(), step.Begin, step.End);
        const uint64_t value = cursor.Take(1);
        int s[2][2] = {{1, 0}, {0, 1}};
        if (step.Type == FourCc("irot")) {
            for (uint64_t turns = value & 3; turns > 0; --turns) {
                // A quarter turn anticlockwise: (x, y) becomes (y, -x).
                const int t[2][2] = {{s[1][0], s[1][1]}, {-s[0][0], -s[0][1]}};
                std::memcpy(s, t, sizeof s);
            }
        } else if (step.Type == FourCc("imir")) {
            // 0 exchanges top and bottom, 1 left and right.
            s[(value & 1) != 0 ? 0 : 1][(value & 1) != 0 ? 0 : 1] = -1;
        } else {
            return 0;
        }
        const int t[2][2] = {{s[0][0] * m[0][0] + s[0][1] * m[1][0], s[0][0] * m[0][1] + s[0][1] * m[1][1]},
                             {s[1][0] * m[0][0] + s[1][1] * m[1][0], s[1][0] * m[0][1] + s[1][1] * m[1][1]}};
        std::memcpy(m, t, sizeof m);
    }
    if (m[0][1] == 0) {
        const bool reverseX = m[0][0] < 0;
        const bool reverseY = m[1][1] < 0;
        return reverseX ? (reverseY ? 3 : 2) : (reverseY ? 4 : 1);
    }
    // Upright x follows stored y, upright y stored x.
    const bool reverseY = m[0][1] < 0;
    const bool reverseX = m[1][0] < 0;
    return reverseX ? (reverseY ? 7 : 8) : (reverseY ? 6 : 5);
}

struct Opened {
    std::unique_ptr<FileAccess> Access;
    Context Ctx;
    Handle Primary;
    Makeup Shape;
    bool CutShort = false;
    int Bits = 8;
    int Orientation = 1;     // applied here rather than by libheif (see Open)
    bool TurnedCopy = false; // libheif turns or crops the picture into a copy of it
    int64_t MetaBytes = 0;
    // An upright coded picture or grid keeps its decoded pictures (see Capture), whose colours are
    // converted by their own nclx boxes where they have one.
    bool Keep = false;
    std::vector<std::optional<CodePoints>> TileNclx;
};

// --- YCbCr to RGB as libheif 1.15 converts it, in the same float arithmetic, so that the pixels are
// those of libheif's RGB planes

struct YcbcrRule {
    int Matrix = 2; // 0: the planes hold G, B and R; 8: YCgCo; any other: the coefficients below
    bool FullRange = true;
    float RCr = 1.402f;
    float GCb = -0.344136f;
    float GCr = -0.714136f;
    float BCb = 1.772f;
};

YcbcrRule RuleOf(const CodePoints& points)
{
    YcbcrRule rule;
    rule.Matrix = points.Matrix;
    rule.FullRange = points.FullRange;
    float kr = 0;
    float kb = 0;
    switch (points.Matrix) {
    case 1:
        kr = 0.2126f, kb = 0.0722f;
        break;
    case 4:
        kr = 0.30f, kb = 0.11f;
        break;
    case 5:
    case 6:
        kr = 0.299f, kb = 0.114f;
        break;
    case 7:
        kr = 0.212f, kb = 0.087f;
        break;
    case 9:
    case 10:
        kr = 0.2627f, kb = 0.0593f;
        break;
    case 12:
    case 13: {
        // Derived from the primaries (H.273, equations 39 and 40).
        const std::optional<ColourInfo> info =
            points.Primaries == 2 ? std::nullopt : CicpColourInfo(points.Primaries, 8);
        if (!info) {
            break;
        }
        const auto f = [](double v) { return static_cast<float>(v); };
        const float rx = f(info->Primaries.Red[0]), ry = f(info->Primaries.Red[1]);
        const float gx = f(info->Primaries.Green[0]), gy = f(info->Primaries.Green[1]);
        const float bx = f(info->Primaries.Blue[0]), by = f(info->Primaries.Blue[1]);
        const float wx = f(info->Primaries.White[0]), wy = f(info->Primaries.White[1]);
        const float zr = 1 - (rx + ry), zg = 1 - (gx + gy), zb = 1 - (bx + by), zw = 1 - (wx + wy);
        const float denom = wy * (rx * (gy * zb - by * zg) + gx * (by * zr - ry * zb) + bx * (ry * zg - gy * zr));
        if (denom != 0.0f) {
            kr = (ry * (wx * (gy * zb - by * zg) + wy * (bx * zg - gx * zb) + zw * (gx * by - bx * gy))) / denom;
            kb = (by * (wx * (ry * zg - gy * zr) + wy * (gx * zr - rx * zg) + zw * (rx * gy - gx * ry))) / denom;
        }
        break;
    }
    default:
        break;
    }
    if (kr != 0 || kb != 0) {
        rule.RCr = 2 * (-kr + 1);
        rule.GCb = 2 * kb * (-kb + 1) / (kb + kr - 1);
        rule.GCr = 2 * kr * (-kr + 1) / (kb + kr - 1);
        rule.BCb = 2 * (-kb + 1);
    }
    return rule;
}

// A converted sample rounded as libheif rounds it, within [0, max].
uint32_t Clip(float value, uint32_t max)
{
    const auto rounded = static_cast<int64_t>(value + 0.5f);
    return rounded < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(rounded, max));
}

// One decoded picture of the primary: the picture, or a tile of it.
struct KeptPicture {
    Image Picture;
    const uint8_t* Data[3] = {};
    int Stride[3] = {};
    int ShiftX = 0;
    int ShiftY = 0;
    YcbcrRule Rule;
};

// An upright picture hands out its rows straight from libheif's planes, converted one at a time; a
// picture turned here is made whole first.
class HeifSource final : public PictureSource {
  public:
    HeifSource(Opened opened, int32_t width, int32_t height, int32_t storedWidth, int32_t storedHeight,
               ColourProfile profile)
        : opened_(std::move(opened)), width_(width), height_(height), storedWidth_(storedWidth),
          storedHeight_(storedHeight), profile_(std::move(profile)), end_(storedWidth)
    {
    }

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    void LimitColumns(int32_t first, int32_t end) override;
    const uint8_t* Row(int32_t y) override;
    bool Finish() override;
    const LoadError& Error() const override { return error_; }
    int64_t WorkingBytes() const override;
    const ColourProfile& Profile() const override { return profile_; }

  private:
    // The planes libheif gave, checked.
    struct Planes {
        const uint8_t* Data[4] = {};
        int Stride[4] = {};
        int Bits = 8;
        int AlphaBits = 8;
        bool Alpha = false;
        bool Premultiplied = false;
    };
    bool Upright() const { return opened_.Orientation == 1; }
    bool Decoded();
    bool Decode();
    bool TakePlanes(heif_image* image, Planes& planes);
    bool TakeAlpha(heif_image* image, Planes& planes);
    bool TakeKept(Capture& capture);
    void ToRgb(int32_t y, int32_t first, int32_t end, uint8_t* to) const;
    void KeptToRgb(int32_t y, uint8_t* to) const;
    template <class Pixel>
    void TileToRgb(const KeptPicture& tile, int32_t y, int32_t first, int32_t end, const uint8_t* alpha, int32_t alphaX,
                   uint8_t* to) const;
    void Put(const uint32_t (&rgb)[3], uint32_t alpha, uint8_t* to) const;
    uint32_t AlphaAt(const uint8_t* row, int32_t x) const;

    Opened opened_;
    int32_t width_;
    int32_t height_;
    int32_t storedWidth_;
    int32_t storedHeight_;
    ColourProfile profile_;
    LoadError error_;
    bool tried_ = false;
    bool decoded_ = false;
    // Upright: libheif's image (or, kept, the decoded pictures and libheif's image for its alpha plane)
    // and the row made from it, of the columns [first_, end_) the caller looks at.
    Image image_;
    Planes planes_;
    std::vector<KeptPicture> kept_;
    std::vector<uint8_t> row_;
    int32_t first_ = 0;
    int32_t end_;
    // Turned: the whole upright picture.
    Raster picture_;
};

int64_t HeifSource::WorkingBytes() const
{
    const Makeup& shape = opened_.Shape;
    const int64_t sample = opened_.Bits > 8 ? 2 : 1;
    const int64_t pixels = std::max(shape.CanvasPixels, int64_t{storedWidth_} * storedHeight_);
    const auto file = static_cast<int64_t>(opened_.Access->Size);
    // A coded picture of `p` pixels, `h` half samples a pixel and `data` bytes: while it is decoded, its
    // data as read and the decoder's copy of it, the decoder's planes with its state and libheif's copy of
    // the planes; then the data and libheif's planes beside the RGB planes they become.
    const auto coded = [&](int64_t p, int64_t h, int64_t data) {
        data = std::min(data, file);
        const int64_t decoding = 2 * data + p * (sample * h + DecoderBytesPerPixel) + DecoderBytes;
        const int64_t converting = data + p * sample * (h + 6) / 2;
        return std::max(decoding, converting);
    };
    // A composed picture is an RGB canvas filled one tile or input at a time.
    const int64_t largest = coded(shape.LargestCoded, shape.Coded.HalfSamples, shape.LargestData);
    int64_t peak = shape.Composed ? 3 * pixels * sample + largest : largest;
    // Kept, the decoded pictures as coded instead, the last one beside its decoder; libheif's canvas for
    // a grid is allocated but, with stand-ins pasted into it, hardly touched.
    int64_t colours = 3 * pixels * sample;
    if (opened_.Keep) {
        const int64_t tile = shape.TileWidth * shape.TileHeight * sample * shape.Coded.HalfSamples / 2;
        colours = static_cast<int64_t>(shape.Tiles.size()) * tile;
        peak = colours - tile + 2 * std::min(shape.LargestData, file) +
               shape.LargestCoded * (sample * shape.Coded.HalfSamples + DecoderBytesPerPixel) + DecoderBytes;
    }
    // libheif turns or crops a picture into a copy, holding both until the copy is made.
    if (opened_.TurnedCopy) {
        peak = std::max(peak, 6 * pixels * sample);
    }
    // The alpha picture, monochrome, is decoded after the colours, beside them (a grid of it on an RGB
    // canvas), and kept as a fourth plane.
    if (shape.AlphaPixels > 0) {
        const int64_t canvas = opened_.Keep && shape.AlphaComposed ? 3 * shape.AlphaPixels * sample : 0;
        peak = std::max(peak, colours + canvas + coded(shape.AlphaPixels, 2, shape.AlphaData)) +
               shape.AlphaPixels * sample;
    }
    // With the allocator's slack; beside libheif: the upright picture of one turned here, the meta box
    // read here, the reader's window and a row.
    const int64_t turned = Upright() ? 0 : 3 * int64_t{width_} * height_;
    return peak + peak / 16 + LibheifBytes + turned + opened_.MetaBytes + static_cast<int64_t>(ReadWindowBytes) +
           3 * int64_t{storedWidth_};
}

bool HeifSource::TakePlanes(heif_image* image, Planes& planes)
{
    if (heif_image_get_colorspace(image) != heif_colorspace_RGB ||
        heif_image_get_chroma_format(image) != heif_chroma_444) {
        error_ = Damaged("decoded to an unexpected layout");
        return false;
    }
    const heif_channel channels[3] = {heif_channel_R, heif_channel_G, heif_channel_B};
    for (int c = 0; c < 3; ++c) {
        const int width = heif_image_get_width(image, channels[c]);
        const int height = heif_image_get_height(image, channels[c]);
        const int bits = heif_image_get_bits_per_pixel_range(image, channels[c]);
        const int storage = heif_image_get_bits_per_pixel(image, channels[c]);
        planes.Data[c] = heif_image_get_plane_readonly(image, channels[c], &planes.Stride[c]);
        if (width != storedWidth_ || height != storedHeight_) {
            error_ = Damaged("decoded picture of " + Dimensions(width, height) + " where its header says " +
                             Dimensions(storedWidth_, storedHeight_));
            return false;
        }
        if (planes.Data[c] == nullptr || bits < 8 || bits > 16 || storage != (bits > 8 ? 16 : 8) ||
            planes.Stride[c] < width * storage / 8) {
            error_ = Damaged("decoded planes of an unexpected depth");
            return false;
        }
        if (c > 0 && bits != planes.Bits) {
            error_ = Damaged("decoded planes of different depths");
            return false;
        }
        planes.Bits = bits;
    }
    return TakeAlpha(image, planes);
}

bool HeifSource::TakeAlpha(heif_image* image, Planes& planes)
{
    planes.Alpha = heif_image_has_channel(image, heif_channel_Alpha) != 0;
    if (!planes.Alpha) {
        return true;
    }
    const int width = heif_image_get_width(image, heif_channel_Alpha);
    const int height = heif_image_get_height(image, heif_channel_Alpha);
    const int bits = heif_image_get_bits_per_pixel_range(image, heif_channel_Alpha);
    const int storage = heif_image_get_bits_per_pixel(image, heif_channel_Alpha);
    planes.Data[3] = heif_image_get_plane_readonly(image, heif_channel_Alpha, &planes.Stride[3]);
    if (width != storedWidth_ || height != storedHeight_) {
        error_ = Damaged("decoded alpha of " + Dimensions(width, height) + " where its header says " +
                         Dimensions(storedWidth_, storedHeight_));
        return false;
    }
    if (planes.Data[3] == nullptr || bits < 1 || bits > 16 || storage != (bits > 8 ? 16 : 8) ||
        planes.Stride[3] < width * storage / 8) {
        error_ = Damaged("decoded planes of an unexpected depth");
        return false;
    }
    planes.AlphaBits = bits;
    planes.Premultiplied = heif_image_is_premultiplied_alpha(image) != 0;
    return true;
}

bool HeifSource::TakeKept(Capture& capture)
{
    const Makeup& shape = opened_.Shape;
    if (capture.Unlike || capture.Kept.size() != shape.Tiles.size()) {
        error_ = Damaged("decoded pictures unlike their headers");
        return false;
    }
    kept_.resize(capture.Kept.size());
    const heif_channel channels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    for (size_t i = 0; i < kept_.size(); ++i) {
        KeptPicture& tile = kept_[i];
        tile.Picture = std::move(capture.Kept[i]);
        heif_image* image = tile.Picture.get();
        const heif_chroma chroma = heif_image_get_chroma_format(image);
        if (chroma != heif_image_get_chroma_format(kept_[0].Picture.get()) ||
            (chroma != heif_chroma_420 && chroma != heif_chroma_422 && chroma != heif_chroma_444)) {
            error_ = Damaged("decoded pictures of different chroma");
            return false;
        }
        tile.ShiftX = chroma == heif_chroma_444 ? 0 : 1;
        tile.ShiftY = chroma == heif_chroma_420 ? 1 : 0;
        for (int c = 0; c < 3; ++c) {
            const int width = heif_image_get_width(image, channels[c]);
            const int height = heif_image_get_height(image, channels[c]);
            const int bits = heif_image_get_bits_per_pixel_range(image, channels[c]);
            const int storage = heif_image_get_bits_per_pixel(image, channels[c]);
            tile.Data[c] = heif_image_get_plane_readonly(image, channels[c], &tile.Stride[c]);
            const int64_t shiftX = c == 0 ? 0 : tile.ShiftX;
            const int64_t shiftY = c == 0 ? 0 : tile.ShiftY;
            if (width != (shape.TileWidth + shiftX) >> shiftX || height != (shape.TileHeight + shiftY) >> shiftY) {
                error_ = Damaged("decoded picture of " + Dimensions(width, height) + " where its header says " +
                                 Dimensions(shape.TileWidth, shape.TileHeight));
                return false;
            }
            if (tile.Data[c] == nullptr || bits < 8 || bits > 16 || storage != (bits > 8 ? 16 : 8) ||
                tile.Stride[c] < width * storage / 8) {
                error_ = Damaged("decoded planes of an unexpected depth");
                return false;
            }
            if ((c > 0 || i > 0) && bits != planes_.Bits) {
                error_ = Damaged("decoded planes of different depths");
                return false;
            }
            planes_.Bits = bits;
        }
        // libheif converts by the tile's own nclx box, or else by the decoder's colour information.
        CodePoints points;
        if (opened_.TileNclx[i]) {
            points = *opened_.TileNclx[i];
        } else {
            heif_color_profile_nclx* read = nullptr;
            const heif_error found = heif_image_get_nclx_color_profile(image, &read);
            const Nclx nclx(read);
            if (found.code == heif_error_Ok && nclx) {
                points = {static_cast<int>(nclx->color_primaries), static_cast<int>(nclx->matrix_coefficients),
                          nclx->full_range_flag != 0};
            }
        }
        tile.Rule = RuleOf(points);
    }
    return true;
}

uint32_t SampleAt(const uint8_t* row, int32_t x, int bits)
{
    if (bits <= 8) {
        return row[x];
    }
    uint16_t value = 0;
    std::memcpy(&value, row + 2 * static_cast<size_t>(x), sizeof value);
    return value;
}

uint32_t HeifSource::AlphaAt(const uint8_t* row, int32_t x) const
{
    const uint32_t max = (1u << planes_.Bits) - 1;
    const uint32_t alphaMax = (1u << planes_.AlphaBits) - 1;
    const uint32_t a = std::min(SampleAt(row, x, planes_.AlphaBits), alphaMax);
    return planes_.AlphaBits == planes_.Bits ? a : (a * max + alphaMax / 2) / alphaMax;
}

// Samples of the planes' depth, at most its largest value, to 8 bits over white.
void HeifSource::Put(const uint32_t (&rgb)[3], uint32_t alpha, uint8_t* to) const
{
    const int bits = planes_.Bits;
    const uint32_t max = (1u << bits) - 1;
    for (int c = 0; c < 3; ++c) {
        if (!planes_.Alpha) {
            to[c] = bits == 8 ? static_cast<uint8_t>(rgb[c]) : ToEightBits(rgb[c], bits);
        } else if (planes_.Premultiplied) {
            to[c] = ToEightBits(std::min(rgb[c] + (max - alpha), max), bits);
        } else {
            to[c] = OverWhite(rgb[c], alpha, bits);
        }
    }
}

void HeifSource::ToRgb(int32_t y, int32_t first, int32_t end, uint8_t* to) const
{
    const Planes& planes = planes_;
    const uint32_t max = (1u << planes.Bits) - 1;
    const uint8_t* rows[4] = {};
    for (int c = 0; c < (planes.Alpha ? 4 : 3); ++c) {
        rows[c] = planes.Data[c] + static_cast<size_t>(y) * static_cast<size_t>(planes.Stride[c]);
    }
    for (int32_t x = first; x < end; ++x, to += 3) {
        uint32_t rgb[3];
        for (int c = 0; c < 3; ++c) {
            rgb[c] = std::min(SampleAt(rows[c], x, planes.Bits), max);
        }
        Put(rgb, planes.Alpha ? AlphaAt(rows[3], x) : max, to);
    }
}

template <class Pixel>
void HeifSource::TileToRgb(const KeptPicture& tile, int32_t y, int32_t first, int32_t end, const uint8_t* alpha,
                           int32_t alphaX, uint8_t* to) const
{
    const auto at = [](const uint8_t* row, int32_t x) {
        Pixel value;
        std::memcpy(&value, row + sizeof(Pixel) * static_cast<size_t>(x), sizeof value);
        return static_cast<int>(value);
    };
    const uint8_t* luma = tile.Data[0] + static_cast<size_t>(y) * static_cast<size_t>(tile.Stride[0]);
    const size_t cy = static_cast<size_t>(y >> tile.ShiftY);
    const uint8_t* blue = tile.Data[1] + cy * static_cast<size_t>(tile.Stride[1]);
    const uint8_t* red = tile.Data[2] + cy * static_cast<size_t>(tile.Stride[2]);
    const int bits = planes_.Bits;
    const uint32_t max = (1u << bits) - 1;
    const int half = 1 << (bits - 1);
    const int offset = 16 << (bits - 8);
    const auto offsetF = static_cast<float>(offset);
    const YcbcrRule& rule = tile.Rule;
    for (int32_t x = first; x < end; ++x, ++alphaX, to += 3) {
        const int yv = at(luma, x);
        const int cb = at(blue, x >> tile.ShiftX);
        const int cr = at(red, x >> tile.ShiftX);
        uint32_t rgb[3];
        if (rule.Matrix == 0) {
            const int gbr[3] = {cr, yv, cb};
            for (int c = 0; c < 3; ++c) {
                const int v = rule.FullRange ? gbr[c] : ((gbr[c] * 219 + 128) >> 8) + offset;
                rgb[c] = std::min(static_cast<uint32_t>(v), max);
            }
        } else if (rule.Matrix == 8) {
            // libheif clips YCgCo to 8 bits at every depth.
            const int g = cb - half;
            const int o = cr - half;
            const int mixed[3] = {yv - g + o, yv + g, yv - g - o};
            for (int c = 0; c < 3; ++c) {
                rgb[c] = std::min(static_cast<uint32_t>(std::clamp(mixed[c], 0, 255)), max);
            }
        } else {
            auto l = static_cast<float>(yv);
            auto b = static_cast<float>(cb - half);
            auto r = static_cast<float>(cr - half);
            if (!rule.FullRange) {
                l = (l - offsetF) * 1.1689f;
                b = b * 1.1429f;
                r = r * 1.1429f;
            }
            rgb[0] = Clip(l + rule.RCr * r, max);
            rgb[1] = Clip(l + rule.GCb * b + rule.GCr * r, max);
            rgb[2] = Clip(l + rule.BCb * b, max);
        }
        Put(rgb, alpha != nullptr ? AlphaAt(alpha, alphaX) : max, to);
    }
}

void HeifSource::KeptToRgb(int32_t y, uint8_t* to) const
{
    const Makeup& shape = opened_.Shape;
    const auto tileWidth = static_cast<int32_t>(shape.TileWidth);
    const auto tileHeight = static_cast<int32_t>(shape.TileHeight);
    const int32_t row = y / tileHeight;
    const uint8_t* alpha =
        planes_.Alpha ? planes_.Data[3] + static_cast<size_t>(y) * static_cast<size_t>(planes_.Stride[3]) : nullptr;
    for (int32_t x = first_; x < end_;) {
        const int32_t column = x / tileWidth;
        const int32_t left = column * tileWidth;
        const int32_t stop = std::min(end_, left + tileWidth);
        const KeptPicture& tile =
            kept_[static_cast<size_t>(row) * static_cast<size_t>(shape.Columns) + static_cast<size_t>(column)];
        if (planes_.Bits > 8) {
            TileToRgb<uint16_t>(tile, y - row * tileHeight, x - left, stop - left, alpha, x, to + 3 * x);
        } else {
            TileToRgb<uint8_t>(tile, y - row * tileHeight, x - left, stop - left, alpha, x, to + 3 * x);
        }
        x = stop;
    }
}

bool HeifSource::Decode()
{
    FileAccess& access = *opened_.Access;
    if (access.Stopping()) {
        error_ = {LoadReason::Cancelled, {}};
        return false;
    }
    const Options options(heif_decoding_options_alloc());
    if (!options) {
        error_ = {LoadReason::OutOfMemory, {}};
        return false;
    }
    // A picture turned here is decoded as stored.
    options->ignore_transformations = opened_.Orientation != 1 ? 1 : 0;
    heif_image* decoded = nullptr;
    Capture capture;
    if (opened_.Keep) {
        capture.Wanted = opened_.Shape.Tiles.size();
        capture.Kept.reserve(capture.Wanted);
    }
    heif_error result{};
    {
        const FrameLimit limit(std::max(opened_.Shape.LargestCoded, opened_.Shape.AlphaPixels));
        const Captured capturing(capture);
        result =
            heif_decode_image(opened_.Primary.get(), &decoded, heif_colorspace_RGB, heif_chroma_444, options.get());
    }
    Image image(decoded);
    if (access.ReadFailed) {
        error_ = {LoadReason::ReadFailed, {}};
        return false;
    }
    if (access.Stopped) {
        error_ = {LoadReason::Cancelled, {}};
        return false;
    }
    if (result.code != heif_error_Ok || !image) {
        error_ = result.code != heif_error_Ok ? FromLibheif(result, opened_.CutShort) : Damaged("no picture decoded");
        return false;
    }
    if (opened_.Keep ? !TakeKept(capture) || !TakeAlpha(image.get(), planes_) : !TakePlanes(image.get(), planes_)) {
        return false;
    }
    row_.resize(3 * static_cast<size_t>(storedWidth_));
    if (Upright()) {
        image_ = std::move(image);
        return true;
    }
    picture_ = Raster(width_, height_);
    for (int32_t y = 0; y < storedHeight_; ++y) {
        ToRgb(y, 0, storedWidth_, row_.data());
        const uint8_t* rows[1] = {row_.data()};
        PlaceStoredRows(picture_, opened_.Orientation, storedWidth_, storedHeight_, y, rows, 1);
    }
    return true;
}

bool HeifSource::Decoded()
{
    if (!tried_) {
        tried_ = true;
        decoded_ = CatchOutOfMemory(error_, [this] { return Decode(); });
        if (!decoded_) {
            image_.reset();
            kept_.clear();
            picture_ = Raster();
        }
    }
    return decoded_;
}

void HeifSource::LimitColumns(int32_t first, int32_t end)
{
    if (Upright() && first >= 0 && first < end && end <= storedWidth_) {
        first_ = first;
        end_ = end;
    }
}

const uint8_t* HeifSource::Row(int32_t y)
{
    if (!Decoded() || y < 0 || y >= height_) {
        return nullptr;
    }
    if (!Upright()) {
        return picture_.Row(y);
    }
    if (opened_.Keep) {
        KeptToRgb(y, row_.data());
    } else {
        ToRgb(y, first_, end_, row_.data() + 3 * static_cast<size_t>(first_));
    }
    return row_.data();
}

bool HeifSource::Finish()
{
    const bool decoded = Decoded();
    image_.reset();
    kept_.clear();
    picture_ = Raster();
    return decoded;
}

ColourProfile ProfileOf(const heif_image_handle* handle, bool gray)
{
    ColourProfile profile;
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
        const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
        if (size == 0 || size > static_cast<uint64_t>(MaxProfileBytes)) {
            profile.Malformed = true;
            return profile;
        }
        profile.Bytes.resize(size);
        if (heif_image_handle_get_raw_color_profile(handle, profile.Bytes.data()).code != heif_error_Ok) {
            profile = ColourProfile();
            profile.Malformed = true;
            return profile;
        }
        profile.Model = gray ? ColourModel::Gray : ColourModel::Rgb;
    } else if (type == heif_color_profile_type_nclx) {
        heif_color_profile_nclx* read = nullptr;
        const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &read);
        const Nclx nclx(read);
        if (error.code == heif_error_Ok && nclx) {
            if (const auto info = CicpColourInfo(nclx->color_primaries, nclx->transfer_characteristics)) {
                profile = ProfileFromInfo(*info, gray);
            }
        }
    }
    return profile;
}

std::unique_ptr<PictureSource> Open(ByteReader& file, LoadError& error, const std::atomic<bool>* stop)
{
    uint8_t head[12] = {};
    const int64_t got = file.ReadAt(0, head, sizeof head);
    if (got < 0) {
        error = {LoadReason::ReadFailed, {}};
        return nullptr;
    }
    if (got < 8 || std::memcmp(head + 4, "ftyp", 4) != 0) {
        error = {LoadReason::HeifNotHeif, {}};
        return nullptr;
    }
    Opened opened;
    opened.Access = std::make_unique<FileAccess>();
    FileAccess& access = *opened.Access;
    access.File = &file;
    access.Size = file.Size();
    access.Stop = stop;
    access.Window.resize(ReadWindowBytes);

    // The boxes, read here first: a meta box too large to hold is refused before libheif reads it.
    TopLevel top;
    if (!ScanTopLevel(file, access.Size, top)) {
        error = {LoadReason::ReadFailed, {}};
        return nullptr;
    }
    opened.CutShort = top.CutShort;
    Meta meta;
    std::string problem = "no meta box";
    bool parsed = false;
    if (top.HasMeta) {
        const uint64_t metaSize = top.MetaEnd - top.MetaBegin;
        if (metaSize > MaxMetaBytes) {
            error = Damaged("meta box of " + std::to_string(metaSize) + " bytes");
            return nullptr;
        }
        std::vector<uint8_t> bytes(static_cast<size_t>(metaSize));
        if (file.ReadAt(top.MetaBegin, bytes.data(), bytes.size()) != static_cast<int64_t>(bytes.size())) {
            error = {LoadReason::ReadFailed, {}};
            return nullptr;
        }
        opened.MetaBytes = static_cast<int64_t>(metaSize);
        parsed = meta.Parse(std::move(bytes), problem);
    }

    opened.Ctx = Context(heif_context_alloc());
    if (!opened.Ctx) {
        error = {LoadReason::OutOfMemory, {}};
        return nullptr;
    }
    // libheif's limit is on each side; the pixels are checked below.
    heif_context_set_maximum_image_size_limit(opened.Ctx.get(), static_cast<int>(MaxPictureSide));
    // Tiles are decoded in this thread.
    heif_context_set_max_decoding_threads(opened.Ctx.get(), 0);
    const heif_error read = heif_context_read_from_reader(opened.Ctx.get(), &Reader, &access, nullptr);
    const auto refused = [&](LoadError why) {
        error = access.ReadFailed ? LoadError{LoadReason::ReadFailed, {}}
                : access.Stopped  ? LoadError{LoadReason::Cancelled, {}}
                                  : std::move(why);
        return nullptr;
    };
    if (read.code != heif_error_Ok) {
        LoadError why = FromLibheif(read, top.CutShort);
        // A pitm box that names no item is "damaged" to libheif.
        if (why.Reason == LoadReason::HeifDamaged && parsed &&
            (!meta.HasPrimary() || meta.TypeOf(meta.Primary()) == 0)) {
            why = {LoadReason::HeifNoImage, {}};
        }
        return refused(std::move(why));
    }
    if (!parsed) {
        return refused(top.CutShort ? LoadError{LoadReason::HeifCutShort, {}} : Damaged(problem));
    }
    heif_image_handle* primary = nullptr;
    const heif_error found = heif_context_get_primary_image_handle(opened.Ctx.get(), &primary);
    opened.Primary = Handle(primary);
    if (found.code != heif_error_Ok || !opened.Primary) {
        return refused({LoadReason::HeifNoImage, {}});
    }
    heif_image_handle* handle = opened.Primary.get();

    // The size, upright and as stored, within the limits.
    const int64_t width = heif_image_handle_get_width(handle);
    const int64_t height = heif_image_handle_get_height(handle);
    const int64_t storedWidth = heif_image_handle_get_ispe_width(handle);
    const int64_t storedHeight = heif_image_handle_get_ispe_height(handle);
    for (const auto& [w, h] : {std::pair(width, height), std::pair(storedWidth, storedHeight)}) {
        if (w <= 0 || h <= 0 || w > MaxPictureSide || h > MaxPictureSide || w * h > MaxPicturePixels) {
            return refused({LoadReason::PictureSize, SizeText(w, h)});
        }
    }
    Checker checker(meta, file);
    if (LoadError why = checker.Check(heif_image_handle_has_alpha_channel(handle) != 0, opened.Shape)) {
        return refused(std::move(why));
    }
    const int luma = heif_image_handle_get_luma_bits_per_pixel(handle);
    const int chroma = heif_image_handle_get_chroma_bits_per_pixel(handle);
    const int bits = std::max(luma, chroma);
    if (bits > 16 || (luma >= 0 && luma < 8)) {
        return refused({LoadReason::BitDepth, Message(MessageId::BitsPerSample, std::to_string(bits))});
    }
    opened.Bits = std::max(bits, 8);

    // libheif 1.15 mirrors 8-bit pictures only: a deeper one with an imir box (and no crop) is decoded
    // as stored and turned here.
    int32_t decodedWidth = static_cast<int32_t>(width);
    int32_t decodedHeight = static_cast<int32_t>(height);
    const std::vector<Box> steps = meta.Transformations(meta.Primary());
    const auto has = [&](uint32_t type) {
        return std::any_of(steps.begin(), steps.end(), [&](const Box& b) { return b.Type == type; });
    };
    opened.TurnedCopy = has(FourCc("irot")) || has(FourCc("clap"));
    if (opened.Bits > 8 && has(FourCc("imir"))) {
        const int orientation = OrientationOf(meta, steps);
        if (orientation != 0) {
            opened.Orientation = orientation;
            opened.TurnedCopy = false;
            decodedWidth = static_cast<int32_t>(storedWidth);
            decodedHeight = static_cast<int32_t>(storedHeight);
            if ((OrientationSwapsSides(orientation) ? storedHeight : storedWidth) != width ||
                (OrientationSwapsSides(orientation) ? storedWidth : storedHeight) != height) {
                return refused(Damaged("turned size does not match"));
            }
        }
    }
    // An upright coloured picture, coded or a grid, keeps its decoded pictures.
    const uint32_t kind = meta.TypeOf(meta.Primary());
    opened.Keep = steps.empty() && !opened.Shape.Coded.Monochrome && !opened.Shape.Tiles.empty() &&
                  (kind == FourCc("hvc1") || kind == FourCc("av01") || kind == FourCc("grid"));
    if (opened.Keep) {
        for (uint32_t tile : opened.Shape.Tiles) {
            opened.TileNclx.push_back(meta.Nclx(tile));
        }
    }
    ColourProfile profile = ProfileOf(handle, opened.Shape.Coded.Monochrome);
    return std::make_unique<HeifSource>(std::move(opened), static_cast<int32_t>(width), static_cast<int32_t>(height),
                                        decodedWidth, decodedHeight, std::move(profile));
}

} // namespace

std::unique_ptr<PictureSource> OpenHeif(ByteReader& file, LoadError& error, const std::atomic<bool>* stop)
{
    static std::once_flag registered;
    std::call_once(registered, [] {
        heif_register_decoder_plugin(&Av1Plugin);
        heif_register_decoder_plugin(&HevcPlugin);
        // libde265 allocates the pictures it filters in place through its default functions, whatever a
        // decoder's own are; those defaults (a writable table) are made the zero-filling ones too.
        *const_cast<de265_image_allocation*>(de265_get_default_image_allocation_functions()) = HevcAllocation;
    });
    error = {};
    std::unique_ptr<PictureSource> source = CatchOutOfMemory(error, [&] { return Open(file, error, stop); });
    if (!source && !error) {
        error = {LoadReason::OutOfMemory, {}};
    }
    return source;
}

} // namespace quorvane
