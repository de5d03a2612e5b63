// Every libjpeg compression call of the tool lives here. libjpeg reports fatal errors by calling
// error_exit, which must not return: it longjmps back to the setjmp in Compress, which therefore holds
// nothing with a destructor. The compressed bytes go to a vector owned by the caller's frame.

#include "conversion/JpegEncode.h"

#include "picture/JpegMemory.h"
#include "platform/Limits.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <utility>
// jpeglib.h expects FILE and size_t to be declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace quorvane {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

// A destination manager that grows a std::vector. jpeg_mem_dest would serve too, but after an error in
// the middle of a compression the buffer it last allocated can no longer be reached to free it.
struct VectorDestination {
    jpeg_destination_mgr pub;
    std::vector<uint8_t>* bytes;
    size_t initialSize;
};

struct Encoder {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    VectorDestination dest;
    JpegCoefficientMemory coefficients;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

VectorDestination& Destination(j_compress_ptr cinfo)
{
    return *reinterpret_cast<VectorDestination*>(cinfo->dest);
}

// Resizes the buffer keeping `used` bytes and points libjpeg past them. No exception may cross libjpeg's C
// frames, so a failed allocation becomes a libjpeg error once the handler has been left.
void GrowTo(j_compress_ptr cinfo, size_t used, size_t size)
{
    VectorDestination& dest = Destination(cinfo);
    bool grown = true;
    try {
        dest.bytes->resize(size);
    } catch (...) {
        grown = false;
    }
    if (!grown) {
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
    }
    dest.pub.next_output_byte = dest.bytes->data() + used;
    dest.pub.free_in_buffer = size - used;
}

void InitDestination(j_compress_ptr cinfo)
{
    GrowTo(cinfo, 0, Destination(cinfo).initialSize);
}

// Called when the buffer is full (the whole of it is output).
boolean EmptyOutputBuffer(j_compress_ptr cinfo)
{
    const size_t used = Destination(cinfo).bytes->size();
    GrowTo(cinfo, used, used * 2);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    VectorDestination& dest = Destination(cinfo);
    dest.bytes->resize(dest.bytes->size() - dest.pub.free_in_buffer); // shrinking never allocates
}

void Prepare(Encoder& e, std::vector<uint8_t>& bytes, const Raster& image)
{
    e.cinfo.err = jpeg_std_error(&e.err.pub);
    e.err.pub.error_exit = ErrorExit;
    e.err.pub.emit_message = EmitMessage;
    e.err.pub.output_message = OutputMessage;
    e.dest.pub.init_destination = InitDestination;
    e.dest.pub.empty_output_buffer = EmptyOutputBuffer;
    e.dest.pub.term_destination = TermDestination;
    e.dest.bytes = &bytes;
    // A photo at the usual qualities compresses to well under a quarter of its raw size.
    e.dest.initialSize = std::clamp<size_t>(image.Pixels.size() / 4, 4096, size_t{64} << 20);
}

bool Compress(Encoder& e, const Raster& image, int quality, bool progressive)
{
    if (setjmp(e.err.jump) != 0) {
        return false;
    }
    j_compress_ptr cinfo = &e.cinfo;
    jpeg_create_compress(cinfo); // clears everything in cinfo but the error manager
    e.coefficients.Install(reinterpret_cast<j_common_ptr>(cinfo));
    cinfo->dest = &e.dest.pub;
    cinfo->image_width = static_cast<JDIMENSION>(image.Width);
    cinfo->image_height = static_cast<JDIMENSION>(image.Height);
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    cinfo->dct_method = JDCT_FLOAT;
    jpeg_set_quality(cinfo, quality, TRUE);
    if (progressive) {
        jpeg_simple_progression(cinfo);
    }
    jpeg_start_compress(cinfo, TRUE);
    // libjpeg only reads the rows; they are handed over from the raster as they stand.
    constexpr JDIMENSION Batch = 16;
    JSAMPROW rows[Batch];
    while (cinfo->next_scanline < cinfo->image_height) {
        const JDIMENSION first = cinfo->next_scanline;
        const JDIMENSION count = std::min(Batch, cinfo->image_height - first);
        for (JDIMENSION i = 0; i < count; ++i) {
            rows[i] = const_cast<JSAMPROW>(image.Row(static_cast<int32_t>(first + i)));
        }
        if (jpeg_write_scanlines(cinfo, rows, count) == 0) {
            return false;
        }
    }
    jpeg_finish_compress(cinfo);
    return true;
}

} // namespace

bool EncodeJpeg(const Raster& image, uint8_t quality, bool progressive, std::vector<uint8_t>& out)
{
    if (image.Empty() || image.Width > MaxTargetSide || image.Height > MaxTargetSide ||
        image.Pixels.size() < image.Stride() * static_cast<size_t>(image.Height)) {
        return false;
    }
    std::vector<uint8_t> bytes;
    Encoder e{};
    Prepare(e, bytes, image);
    // libjpeg itself counts a quality of 0 as 1 and one above 100 as 100.
    const bool encoded = Compress(e, image, quality, progressive);
    jpeg_destroy_compress(&e.cinfo);
    if (!encoded) {
        return false;
    }
    out = std::move(bytes);
    return true;
}

} // namespace quorvane
