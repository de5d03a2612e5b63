#include "support/WholePicture.h"

#include "platform/EngineError.h"
#include "support/TestSupport.h"

#include <cstring>
#include <new>
#include <utility>

namespace quorvane {

bool DrainSource(PictureSource& source, Raster& out, LoadError* error)
{
    Raster whole;
    try {
        whole = Raster(source.Width(), source.Height());
    } catch (const std::bad_alloc&) {
        if (error != nullptr) {
            *error = {LoadReason::OutOfMemory, {}};
        }
        return false;
    }
    for (int32_t y = 0; y < whole.Height; ++y) {
        const uint8_t* row = source.Row(y);
        if (row == nullptr) {
            break;
        }
        std::memcpy(whole.Row(y), row, whole.Stride());
    }
    if (!source.Finish()) {
        if (error != nullptr) {
            *error = source.Error();
        }
        return false;
    }
    out = std::move(whole);
    return true;
}

namespace {

// Opens the decoder over the bytes and drains it; `opened` receives the decoder when it opens.
template <typename Open, typename Source>
bool OpenAndDrain(const uint8_t* data, size_t size, Open open, Raster& out, LoadError* error, Source& opened)
{
    MemoryReader reader(data, size);
    LoadError refused;
    opened = open(reader, refused);
    if (!opened) {
        if (error != nullptr) {
            *error = refused;
        }
        return false;
    }
    return DrainSource(*opened, out, error);
}

} // namespace

bool DecodeBmp(const uint8_t* data, size_t size, Raster& out, LoadError* error)
{
    std::unique_ptr<PictureSource> source;
    return OpenAndDrain(
        data, size, [](ByteReader& r, LoadError& e) { return OpenBmp(r, e); }, out, error, source);
}

bool DecodeJpeg(const uint8_t* data, size_t size, Raster& out, JpegHeaderInfo& info, LoadError* error)
{
    info = {};
    std::unique_ptr<JpegSource> source;
    if (!OpenAndDrain(
            data, size, [](ByteReader& r, LoadError& e) { return OpenJpeg(r, e); }, out, error, source)) {
        return false;
    }
    info = {source->Width(), source->Height(), source->MultiScan(), source->Orientation()};
    return true;
}

PreparedPicture PrepareFromWhole(const std::string& path, PictureFormat format, const PictureSettings& settings)
{
    using Outcome = PreparedPicture::Outcome;
    PreparedPicture prepared;
    std::string bytes;
    try {
        bytes = ReadFileBytes(path);
    } catch (...) {
        return prepared;
    }
    MemoryReader reader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    LoadError refused;
    const std::unique_ptr<PictureSource> picture = OpenPicture(format, reader, refused);
    if (!picture) {
        return prepared;
    }
    ColourTransforms colours;
    const PictureColour colour(*picture, colours, prepared.Warnings);
    Raster source;
    if (!DrainSource(*picture, source)) {
        prepared.Warnings.clear();
        return prepared;
    }
    JpegObject jpeg;
    jpeg.Progressive = picture->MultiScan();
    TargetSize target;
    if (!ReadTarget(settings, target, prepared.ErrorText)) {
        prepared.Result = Outcome::SizeError;
        return prepared;
    }
    RasterRowSource rows(source);
    try {
        FitPicture(jpeg, rows, target, settings);
    } catch (const EngineError& error) {
        prepared.Result = Outcome::FitError;
        prepared.ErrorText = error.what();
        return prepared;
    }
    colour.ToSrgb(jpeg.Image);
    prepared.Result = EncodeJpegObject(jpeg) ? Outcome::Encoded : Outcome::EncodeFailed;
    prepared.Jpeg = std::move(jpeg.Data);
    return prepared;
}

} // namespace quorvane
