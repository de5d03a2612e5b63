// Every libjpeg decompression call of the tool lives here. libjpeg reports fatal errors by calling
// error_exit, which must not return: it longjmps back to the setjmp of the function that made the call.
// Those functions therefore hold nothing with a destructor, and C++ allocations happen outside them.

#include "picture/Jpeg.h"

#include "picture/Exif.h"
#include "picture/JpegMemory.h"
#include "platform/Limits.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>
// jpeglib.h expects FILE and size_t to be declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace quorvane {

namespace {

constexpr int GrayLevels = 236;
constexpr size_t InputBufferBytes = 64 * 1024;
// EXIF sits in APP1 segments, which are kept whole for the orientation (a segment holds less than 64 KiB).
constexpr int ExifMarker = JPEG_APP0 + 1;
// The ICC profile sits in APP2 segments, read whole and joined in their sequence order.
constexpr int IccMarker = JPEG_APP0 + 2;
constexpr unsigned int MaxSegmentBytes = 0xFFFF;
// A picture to be turned is decoded this many rows at a time, each band placed before the next is read.
constexpr JDIMENSION BandRows = 32;
// A partial decode reaches this many blocks of the widest-sampled component beyond the columns in use.
constexpr int CropMarginBlocks = 2;
// For the working memory estimate: the bytes of one stored DCT coefficient, and the iMCU rows libjpeg's
// sample buffers hold per component.
constexpr int64_t CoefficientBytes = sizeof(JCOEF);
constexpr int64_t BufferedImcuRows = 4;

// Why error_exit was called when it was not libjpeg's own error.
enum class Exit { Libjpeg, TooManyScans, Stopped, ReadFailed };

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool dataEnded; // the source ran out of bytes and supplied a fake end-of-image
    bool bogusIcc;  // the ICC profile's segments do not form a whole sequence
    Exit exit;
    char message[JMSG_LENGTH_MAX];
};

// Feeds libjpeg from the file through one bounded buffer.
struct FileSource {
    jpeg_source_mgr pub;
    ByteReader* file;
    uint64_t offset;
    JOCTET buffer[InputBufferBytes];
};

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    FileSource src;
    const std::atomic<bool>* stop;
    JpegCoefficientMemory coefficients;
    JOCTET* icc; // the joined ICC profile (malloc'd by libjpeg), until it is copied out
    unsigned int iccLength;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

[[noreturn]] void ExitFor(j_common_ptr cinfo, Exit why)
{
    reinterpret_cast<ErrorManager*>(cinfo->err)->exit = why;
    (*cinfo->err->error_exit)(cinfo);
    std::abort(); // error_exit never returns
}

// Warnings (corrupt data, premature end) are not errors for the tool and nothing is ever printed.
void EmitMessage(j_common_ptr cinfo, int msgLevel)
{
    if (msgLevel < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        reinterpret_cast<ErrorManager*>(cinfo->err)->dataEnded = true;
    }
    if (msgLevel < 0 && cinfo->err->msg_code == JWRN_BOGUS_ICC) {
        reinterpret_cast<ErrorManager*>(cinfo->err)->bogusIcc = true;
    }
}

void OutputMessage(j_common_ptr) {}

// Called between scans and rows of the input: a progressive file may hold any number of scans, each a
// pass over the whole picture, and an interrupted run stops here too.
void Monitor(j_common_ptr cinfo)
{
    const Decoder* d = reinterpret_cast<const Decoder*>(cinfo);
    if (d->stop != nullptr && d->stop->load(std::memory_order_relaxed)) {
        ExitFor(cinfo, Exit::Stopped);
    }
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MaxJpegScans) {
        ExitFor(cinfo, Exit::TooManyScans);
    }
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// The next stretch of the file; at its end a fake end-of-image marker with a warning, as libjpeg's own
// sources do, so a file cut short decodes as far as it goes.
boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    int64_t got = src->file->ReadAt(src->offset, src->buffer, InputBufferBytes);
    if (got < 0) {
        ExitFor(reinterpret_cast<j_common_ptr>(cinfo), Exit::ReadFailed);
    }
    if (got == 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        got = 2;
    }
    src->offset += static_cast<uint64_t>(got);
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = static_cast<size_t>(got);
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count)
{
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    if (count <= 0) {
        return;
    }
    const auto n = static_cast<uint64_t>(count);
    if (n <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += n;
        src->pub.bytes_in_buffer -= n;
        return;
    }
    src->offset += n - src->pub.bytes_in_buffer;
    src->pub.bytes_in_buffer = 0;
}

void Prepare(Decoder& d, ByteReader& file, const std::atomic<bool>* stop)
{
    // The Decoder starts with the decompressor, so the progress monitor finds the stop flag from it.
    static_assert(offsetof(Decoder, cinfo) == 0);
    d.cinfo.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = ErrorExit;
    d.err.pub.emit_message = EmitMessage;
    d.err.pub.output_message = OutputMessage;
    d.err.dataEnded = false;
    d.err.bogusIcc = false;
    d.err.exit = Exit::Libjpeg;
    d.err.message[0] = '\0';
    d.progress.progress_monitor = Monitor;
    d.src.pub.init_source = InitSource;
    d.src.pub.fill_input_buffer = FillInputBuffer;
    d.src.pub.skip_input_data = SkipInputData;
    d.src.pub.resync_to_restart = jpeg_resync_to_restart;
    d.src.pub.term_source = TermSource;
    d.src.pub.bytes_in_buffer = 0;
    d.src.pub.next_input_byte = nullptr;
    d.src.file = &file;
    d.src.offset = 0;
    d.stop = stop;
    d.icc = nullptr;
    d.iccLength = 0;
}

// The reason for the error that made libjpeg give up.
LoadError ErrorOf(const Decoder& d)
{
    switch (d.err.exit) {
    case Exit::TooManyScans:
        return {LoadReason::JpegScans, {}};
    case Exit::Stopped:
        return {LoadReason::Cancelled, {}};
    case Exit::ReadFailed:
        return {LoadReason::ReadFailed, {}};
    case Exit::Libjpeg:
        break;
    }
    // libjpeg's errors by code, each to the reason that says what it means.
    switch (d.err.pub.msg_code) {
    case JERR_OUT_OF_MEMORY:
        return {LoadReason::OutOfMemory, {}};
    case JERR_NO_SOI:
        return {LoadReason::JpegNotJpeg, {}};
    case JERR_BAD_LENGTH:
    case JERR_SOI_DUPLICATE:
    case JERR_SOF_DUPLICATE:
    case JERR_SOF_NO_SOS:
    case JERR_SOS_NO_SOF:
    case JERR_BAD_COMPONENT_ID:
    case JERR_BAD_SAMPLING:
    case JERR_COMPONENT_COUNT:
    case JERR_BAD_PROGRESSION:
    case JERR_BAD_PROG_SCRIPT:
    case JERR_UNKNOWN_MARKER:
        return {LoadReason::JpegHeader, {}};
    case JERR_NO_HUFF_TABLE:
    case JERR_NO_QUANT_TABLE:
    case JERR_BAD_HUFF_TABLE:
    case JERR_DHT_INDEX:
    case JERR_DQT_INDEX:
    case JERR_MISMATCHED_QUANT_TABLE:
        return {LoadReason::JpegTables, {}};
    case JERR_NO_IMAGE:
        return {LoadReason::JpegTablesOnly, {}};
    case JERR_IMAGE_TOO_BIG:
    case JERR_EMPTY_IMAGE:
    case JERR_WIDTH_OVERFLOW:
        return {LoadReason::PictureSize, SizeText(d.cinfo.image_width, d.cinfo.image_height)};
    case JERR_BAD_PRECISION:
    case JERR_SOF_UNSUPPORTED:
    case JERR_NO_ARITH_TABLE:
    case JERR_ARITH_NOTIMPL:
        return {LoadReason::JpegProcess, {}};
    default:
        // A decoding step that gave up without a libjpeg error has no message of its own.
        return {LoadReason::JpegError,
                d.err.message[0] != '\0' ? Message::Plain(d.err.message) : Message(MessageId::JpegDamagedData)};
    }
}

// Creates the decompressor and reads the header up to the first scan. False on any libjpeg error and
// when the data ends before the header does (`cut` is then set).
bool ReadHeader(Decoder& d, bool& multiScan, bool& cut)
{
    if (setjmp(d.err.jump) != 0) {
        return false;
    }
    jpeg_create_decompress(&d.cinfo); // clears everything in cinfo but the error manager
    d.cinfo.mem->max_memory_to_use = MaxJpegMemory;
    d.coefficients.Install(reinterpret_cast<j_common_ptr>(&d.cinfo));
    d.cinfo.progress = &d.progress;
    d.cinfo.src = &d.src.pub;
    jpeg_save_markers(&d.cinfo, ExifMarker, MaxSegmentBytes);
    jpeg_save_markers(&d.cinfo, IccMarker, MaxSegmentBytes);
    if (jpeg_read_header(&d.cinfo, TRUE) != JPEG_HEADER_OK) {
        cut = true;
        return false;
    }
    // A header completed by the fake end-of-image, or one with no scan data at all after it, is a file
    // cut off before its picture starts.
    if (d.src.pub.bytes_in_buffer == 0) {
        (*d.src.pub.fill_input_buffer)(&d.cinfo);
    }
    if (d.err.dataEnded) {
        cut = true;
        return false;
    }
    multiScan = jpeg_has_multiple_scans(&d.cinfo) != 0;
    // Absent, or broken (with a warning), the profile is left null and the picture counts as sRGB.
    jpeg_read_icc_profile(&d.cinfo, &d.icc, &d.iccLength);
    return true;
}

// Samples per pixel of libjpeg's output in the colour spaces ChooseOutput picks: RGB, CMYK or gray.
int ComponentsOf(J_COLOR_SPACE space)
{
    return space == JCS_RGB ? 3 : space == JCS_CMYK ? 4 : 1;
}

// Expands a row of quantiser indices through the gray colour map.
void ExpandGray(const JSAMPLE* from, const JSAMPLE* map, uint8_t* to, JDIMENSION width)
{
    for (JDIMENSION x = 0; x < width; ++x, to += 3) {
        const uint8_t level = map[from[x]];
        to[0] = level;
        to[1] = level;
        to[2] = level;
    }
}

// libjpeg delivers CMYK as stored; Adobe applications store the inks inverted (255 = no ink), which is the
// form in which the multiplication gives RGB directly.
void ConvertCmyk(const JSAMPLE* from, uint8_t* to, JDIMENSION width, bool inverted)
{
    const unsigned flip = inverted ? 0 : 255;
    for (JDIMENSION x = 0; x < width; ++x, from += 4, to += 3) {
        const unsigned k = from[3] ^ flip;
        to[0] = static_cast<uint8_t>(((from[0] ^ flip) * k + 127) / 255);
        to[1] = static_cast<uint8_t>(((from[1] ^ flip) * k + 127) / 255);
        to[2] = static_cast<uint8_t>(((from[2] ^ flip) * k + 127) / 255);
    }
}

// A CMYK row to RGB: through the picture's colour profile when it has one, else by plain multiplication.
void CmykToRgb(const JSAMPLE* from, uint8_t* to, JDIMENSION width, bool inverted, const ColourTransform* transform)
{
    if (transform != nullptr) {
        transform->Apply(from, to, width);
    } else {
        ConvertCmyk(from, to, width, inverted);
    }
}

// Turns a band of decoded rows into RGB (CMYK and gray rows; RGB rows already are).
void BandToRgb(j_decompress_ptr cinfo, JSAMPARRAY rows, JSAMPARRAY rgb, JDIMENSION count, const ColourTransform* cmyk)
{
    const bool inverted = cinfo->saw_Adobe_marker != 0;
    for (JDIMENSION i = 0; i < count && cinfo->out_color_space != JCS_RGB; ++i) {
        if (cinfo->out_color_space == JCS_CMYK) {
            CmykToRgb(rows[i], rgb[i], cinfo->output_width, inverted, cmyk);
        } else {
            ExpandGray(rows[i], cinfo->colormap[0], rgb[i], cinfo->output_width);
        }
    }
}

// Decompresses a picture that must be turned into `out`, which already has the upright size: bands of rows
// are read into libjpeg buffers, converted to RGB and placed where the orientation puts them.
bool Decompress(Decoder& d, int orientation, const ColourTransform* cmyk, Raster& out)
{
    if (setjmp(d.err.jump) != 0) {
        return false;
    }
    j_decompress_ptr cinfo = &d.cinfo;
    if (!jpeg_start_decompress(cinfo)) {
        return false;
    }
    const J_COLOR_SPACE space = cinfo->out_color_space;
    const int components = ComponentsOf(space);
    const JDIMENSION width = cinfo->output_width;
    const JDIMENSION height = cinfo->output_height;
    const bool swapped = OrientationSwapsSides(orientation);
    if ((swapped ? height : width) != static_cast<JDIMENSION>(out.Width) ||
        (swapped ? width : height) != static_cast<JDIMENSION>(out.Height) || cinfo->output_components != components) {
        return false;
    }
    const j_common_ptr common = reinterpret_cast<j_common_ptr>(cinfo);
    JSAMPARRAY rows = (*cinfo->mem->alloc_sarray)(common, JPOOL_IMAGE, width * components, BandRows);
    JSAMPARRAY rgb = space == JCS_RGB ? rows : (*cinfo->mem->alloc_sarray)(common, JPOOL_IMAGE, width * 3, BandRows);
    while (cinfo->output_scanline < height) {
        const JDIMENSION first = cinfo->output_scanline;
        const JDIMENSION count = std::min(BandRows, height - first);
        for (JDIMENSION got = 0; got < count;) {
            const JDIMENSION read = jpeg_read_scanlines(cinfo, rows + got, count - got);
            if (read == 0) {
                return false;
            }
            got += read;
        }
        BandToRgb(cinfo, rows, rgb, count, cmyk);
        PlaceStoredRows(out, orientation, static_cast<int32_t>(width), static_cast<int32_t>(height),
                        static_cast<int32_t>(first), rgb, static_cast<int32_t>(count));
    }
    return jpeg_finish_decompress(cinfo) != 0;
}

// Chooses the output form from the header. False for component counts or colour spaces that give neither
// RGB, gray nor CMYK.
bool ChooseOutput(jpeg_decompress_struct& cinfo)
{
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    cinfo.dct_method = JDCT_FLOAT;
    cinfo.do_fancy_upsampling = TRUE;
    cinfo.do_block_smoothing = TRUE;
    cinfo.buffered_image = FALSE;
    cinfo.quantize_colors = FALSE;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo.out_color_space = JCS_GRAYSCALE;
        // libjpeg picks its one-pass quantiser (Floyd-Steinberg) for a single output component.
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = GrayLevels;
        return cinfo.num_components == 1;
    case JCS_YCbCr:
    case JCS_RGB:
        cinfo.out_color_space = JCS_RGB;
        return cinfo.num_components == 3;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        return cinfo.num_components == 4;
    default:
        return false;
    }
}

int FindOrientation(const jpeg_decompress_struct& cinfo)
{
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker != nullptr; marker = marker->next) {
        // Other APP1 segments (XMP) may come first.
        if (marker->marker == ExifMarker && marker->data_length >= 4 && std::memcmp(marker->data, "Exif", 4) == 0) {
            return ExifOrientation(marker->data, marker->data_length);
        }
    }
    return 1;
}

// The one JPEG decoder: rows are decoded as they are asked for, only over the columns the reader limits
// itself to, so the full-size picture is never held (a picture to be turned by its orientation is
// decoded whole on first use). Each method that calls into libjpeg has its own setjmp and holds nothing
// with a destructor; buffers are allocated before or through libjpeg's own pools.
class JpegFileSource final : public JpegSource {
  public:
    JpegFileSource(ByteReader& file, const std::atomic<bool>* stop) { Prepare(d_, file, stop); }
    ~JpegFileSource() override
    {
        jpeg_destroy_decompress(&d_.cinfo);
        std::free(d_.icc);
    }
    JpegFileSource(const JpegFileSource&) = delete;
    JpegFileSource& operator=(const JpegFileSource&) = delete;

    bool Open()
    {
        bool multiScan = false;
        bool cut = false;
        if (!ReadHeader(d_, multiScan, cut)) {
            // Wherever the data ends before the image does, the file is cut short: one reason.
            const bool ended = cut || (d_.err.dataEnded && d_.err.exit == Exit::Libjpeg);
            error_ = ended ? LoadError{LoadReason::JpegNoImage, {}} : ErrorOf(d_);
            return false;
        }
        if (!ChooseOutput(d_.cinfo)) {
            error_ = {LoadReason::JpegColorSpace, {}};
            return false;
        }
        const int64_t width = d_.cinfo.image_width;
        const int64_t height = d_.cinfo.image_height;
        if (width > MaxPictureSide || height > MaxPictureSide || width * height > MaxPicturePixels) {
            error_ = {LoadReason::PictureSize, SizeText(width, height)};
            return false;
        }
        if (!CatchOutOfMemory(error_, [&] { ReadProfile(); })) {
            return false;
        }
        orientation_ = FindOrientation(d_.cinfo);
        const bool swapped = OrientationSwapsSides(orientation_);
        width_ = static_cast<int32_t>(swapped ? height : width);
        height_ = static_cast<int32_t>(swapped ? width : height);
        turned_ = orientation_ >= 2 && orientation_ <= 8;
        multiScan_ = multiScan;
        working_ = EstimateWorkingBytes(width, height);
        return true;
    }

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    int64_t WorkingBytes() const override { return working_; }
    bool MultiScan() const override { return multiScan_; }
    int Orientation() const override { return orientation_; }
    const LoadError& Error() const override { return error_; }
    const ColourProfile& Profile() const override { return profile_; }
    void ConvertRowsWith(const ColourTransform* transform) override { cmyk_ = transform; }
    Message Warning() const override { return d_.err.dataEnded ? Message(MessageId::JpegCutShort) : Message(); }

    void LimitColumns(int32_t first, int32_t end) override
    {
        first_ = first;
        end_ = end;
    }

    void ReduceTo(int32_t shortSide) override
    {
        const JDIMENSION side = std::min(d_.cinfo.image_width, d_.cinfo.image_height);
        unsigned denominator = DCTSIZE;
        while (denominator > 1 && (side + denominator - 1) / denominator < static_cast<JDIMENSION>(shortSide)) {
            denominator /= 2;
        }
        if (started_ || wholeDecoded_ || error_ || denominator == 1) {
            return;
        }
        if (!ScaleOutput(denominator)) {
            error_ = ErrorOf(d_);
        }
        // At an eighth, a progressive picture's first scans already hold everything shown: its blocks' means.
        glance_ = denominator == DCTSIZE && d_.cinfo.progressive_mode && !turned_;
    }

    const uint8_t* Row(int32_t y) override
    {
        if (turned_) {
            return DecodeWhole() ? whole_.Row(y) : nullptr;
        }
        if (error_ || (!started_ && !Start())) {
            return nullptr;
        }
        while (current_ < y) {
            if (!ReadRow()) {
                return nullptr;
            }
            ++current_;
        }
        return row_.data();
    }

    bool Finish() override
    {
        if (turned_) {
            return DecodeWhole();
        }
        if (error_ || (!started_ && !Start())) {
            return false;
        }
        while (current_ + 1 < height_) {
            if (!ReadRow()) {
                return false;
            }
            ++current_;
        }
        return End();
    }

  private:
    // The profile libjpeg joined, and the samples it describes.
    void ReadProfile()
    {
        switch (d_.cinfo.out_color_space) {
        case JCS_GRAYSCALE:
            profile_.Model = ColourModel::Gray;
            break;
        case JCS_CMYK:
            profile_.Model = d_.cinfo.saw_Adobe_marker ? ColourModel::InvertedCmyk : ColourModel::Cmyk;
            break;
        default:
            profile_.Model = ColourModel::Rgb;
            break;
        }
        profile_.Bytes.assign(d_.icc, d_.icc + d_.iccLength);
        profile_.Malformed = d_.err.bogusIcc && profile_.Bytes.empty();
        std::free(d_.icc);
        d_.icc = nullptr;
    }

    // libjpeg's coefficient buffer for a multi-scan file (every component's blocks, two bytes per
    // coefficient, padded to whole sampling units), its row buffers, and the whole picture for one that
    // must be turned.
    int64_t EstimateWorkingBytes(int64_t width, int64_t height) const
    {
        const jpeg_decompress_struct& c = d_.cinfo;
        int64_t working = turned_ ? width * height * 3 : 0;
        for (int i = 0; i < c.num_components && multiScan_; ++i) {
            const jpeg_component_info& comp = c.comp_info[i];
            const int64_t across =
                (width * comp.h_samp_factor + DCTSIZE * c.max_h_samp_factor - 1) / (DCTSIZE * c.max_h_samp_factor);
            const int64_t down =
                (height * comp.v_samp_factor + DCTSIZE * c.max_v_samp_factor - 1) / (DCTSIZE * c.max_v_samp_factor);
            working += (across + comp.h_samp_factor) * (down + comp.v_samp_factor) * DCTSIZE2 * CoefficientBytes;
        }
        // Sample rows of a few iMCU rows per component, the output row, and the input buffer.
        working +=
            width * c.num_components * DCTSIZE * c.max_v_samp_factor * BufferedImcuRows + width * 3 + sizeof(Decoder);
        return working;
    }

    // Turning needs the whole picture; such files are decoded completely on first use.
    bool DecodeWhole()
    {
        if (!wholeDecoded_ && !error_) {
            if (!CatchOutOfMemory(error_, [&] { whole_ = Raster(width_, height_); })) {
                return false;
            }
            wholeDecoded_ = Decompress(d_, orientation_, cmyk_, whole_);
            if (!wholeDecoded_) {
                error_ = ErrorOf(d_);
            }
        }
        return wholeDecoded_;
    }

    // Starts the output pass. When the reader looks at part of each row only, libjpeg decodes just that
    // part, widened on each side: the edges of a partial decode are upsampled (and, in a progressive file
    // cut short, block-smoothed over a neighbourhood two blocks wide) as picture edges, and the margin
    // keeps them away from the columns that are used.
    bool Start()
    {
        started_ = true;
        if (!CatchOutOfMemory(error_, [&] { row_.resize(static_cast<size_t>(width_) * 3); })) {
            return false;
        }
        if (!StartDecompress()) {
            error_ = ErrorOf(d_);
            return false;
        }
        return true;
    }

    // Sets libjpeg's output to 1/denominator of the picture and takes the sides it gives.
    bool ScaleOutput(unsigned denominator)
    {
        if (setjmp(d_.err.jump) != 0) {
            return false;
        }
        d_.cinfo.scale_denom = denominator;
        jpeg_calc_output_dimensions(&d_.cinfo);
        const bool swapped = OrientationSwapsSides(orientation_);
        width_ = static_cast<int32_t>(swapped ? d_.cinfo.output_height : d_.cinfo.output_width);
        height_ = static_cast<int32_t>(swapped ? d_.cinfo.output_width : d_.cinfo.output_height);
        return true;
    }

    bool StartDecompress()
    {
        j_decompress_ptr cinfo = &d_.cinfo;
        if (setjmp(d_.err.jump) != 0) {
            return false;
        }
        cinfo->buffered_image = glance_ ? TRUE : FALSE;
        if (!jpeg_start_decompress(cinfo)) {
            return false;
        }
        if (glance_) {
            // Reads the scans until every component has its DC coefficients, and shows the picture as far as
            // it has come; the rest of the file is never decoded.
            int status = JPEG_SUSPENDED;
            do {
                status = jpeg_consume_input(cinfo);
            } while (status != JPEG_REACHED_EOI && status != JPEG_SUSPENDED &&
                     !(status == JPEG_SCAN_COMPLETED && HasEveryDc(*cinfo)));
            if (!jpeg_start_output(cinfo, cinfo->input_scan_number)) {
                return false;
            }
        }
        components_ = ComponentsOf(cinfo->out_color_space);
        if (cinfo->output_components != components_ || cinfo->output_width != static_cast<JDIMENSION>(width_)) {
            return false;
        }
        // The quantiser's dithering runs along whole rows, so a quantised picture is always decoded whole.
        if (!cinfo->quantize_colors && end_ > first_) {
            const int32_t margin = CropMarginBlocks * cinfo->max_h_samp_factor * DCTSIZE;
            JDIMENSION offset = static_cast<JDIMENSION>(std::max(0, first_ - margin));
            const JDIMENSION end = static_cast<JDIMENSION>(std::min(width_, end_ + margin));
            JDIMENSION width = end - offset;
            if (width < cinfo->output_width) {
                jpeg_crop_scanline(cinfo, &offset, &width);
                cropOffset_ = offset;
            }
        }
        raw_ = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                           cinfo->output_width * static_cast<JDIMENSION>(components_), 1);
        return true;
    }

    bool ReadRow()
    {
        if (!ReadScanline()) {
            error_ = ErrorOf(d_);
            return false;
        }
        return true;
    }

    bool ReadScanline()
    {
        j_decompress_ptr cinfo = &d_.cinfo;
        if (setjmp(d_.err.jump) != 0) {
            return false;
        }
        if (jpeg_read_scanlines(cinfo, raw_, 1) != 1) {
            return false;
        }
        uint8_t* to = row_.data() + static_cast<size_t>(cropOffset_) * 3;
        if (components_ == 3) {
            std::memcpy(to, raw_[0], static_cast<size_t>(cinfo->output_width) * 3);
        } else if (components_ == 4) {
            CmykToRgb(raw_[0], to, cinfo->output_width, cinfo->saw_Adobe_marker != 0, cmyk_);
        } else {
            ExpandGray(raw_[0], cinfo->colormap[0], to, cinfo->output_width);
        }
        return true;
    }

    // Whether a scan has brought every component its DC coefficients (set as a scan begins, so it counts once
    // that scan is complete).
    static bool HasEveryDc(const jpeg_decompress_struct& cinfo)
    {
        for (int i = 0; i < cinfo.num_components; ++i) {
            if (cinfo.coef_bits == nullptr || cinfo.coef_bits[i][0] < 0) {
                return false;
            }
        }
        return true;
    }

    bool End()
    {
        if (glance_) {
            jpeg_abort_decompress(&d_.cinfo);
            return true;
        }
        if (!FinishDecompress()) {
            error_ = ErrorOf(d_);
            return false;
        }
        return true;
    }

    bool FinishDecompress()
    {
        if (setjmp(d_.err.jump) != 0) {
            return false;
        }
        return jpeg_finish_decompress(&d_.cinfo) != 0;
    }

    Decoder d_{};
    ColourProfile profile_;
    const ColourTransform* cmyk_ = nullptr;
    Raster whole_;
    int orientation_ = 1;
    bool turned_ = false;
    bool multiScan_ = false;
    bool glance_ = false; // a reduced look at a progressive picture: its first scans only
    bool wholeDecoded_ = false;
    int64_t working_ = 0;
    std::vector<uint8_t> row_;
    JSAMPARRAY raw_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t first_ = 0;
    int32_t end_ = 0;
    int components_ = 3;
    JDIMENSION cropOffset_ = 0;
    int32_t current_ = -1;
    bool started_ = false;
    LoadError error_;
};

} // namespace

std::unique_ptr<JpegSource> OpenJpeg(ByteReader& file, LoadError& error, const std::atomic<bool>* stop)
{
    error = {};
    if (file.Size() == 0) {
        error = {LoadReason::EmptyFile, {}};
        return nullptr;
    }
    if (file.Size() > ULONG_MAX) {
        error = {LoadReason::PictureSize, {}};
        return nullptr;
    }
    return CatchOutOfMemory(error, [&]() -> std::unique_ptr<JpegSource> {
        auto source = std::make_unique<JpegFileSource>(file, stop);
        if (!source->Open()) {
            error = source->Error();
            return nullptr;
        }
        return source;
    });
}

} // namespace quorvane
