#pragma once

#include "picture/Colour.h"
#include "picture/LoadError.h"
#include "platform/ByteReader.h"
#include "platform/File.h"
#include "platform/Raster.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quorvane {

// A decoder: a row source whose header has been read and checked. Nothing large is allocated until the
// first row (or Finish) is asked for, so the memory it will hold can be leased first.
class PictureSource : public RowSource {
  public:
    // Memory the decoding will hold besides the rows it hands out.
    virtual int64_t WorkingBytes() const = 0;
    // Set for JPEGs of more than one scan: their output is written progressive.
    virtual bool MultiScan() const { return false; }
    // Why Row() gave nullptr or Finish() false.
    virtual const LoadError& Error() const = 0;
    // Once the picture has been read: what the user should know about a picture that still converted
    // (its data ended early and the rest was filled in); empty when nothing.
    virtual Message Warning() const { return {}; }
    // The colour profile the file carries (none: sRGB).
    virtual const ColourProfile& Profile() const
    {
        static const ColourProfile Untagged;
        return Untagged;
    }
    // Before the first row, for a picture that is only being looked over: lets the decoder hand out the
    // picture reduced to no less than `shortSide` on its short side where that is cheap (a JPEG's scaled
    // decoding). Width() and Height() then give the reduced size.
    virtual void ReduceTo(int32_t /*shortSide*/) {}
    // For samples that are not RGB (CMYK): the transform that turns the rows into RGB in place of the
    // decoder's own conversion. Set before the first row; it must outlive the reading.
    virtual void ConvertRowsWith(const ColourTransform* /*transform*/) {}
};

// Opens a picture file for its decoder: nullptr with the reason (CannotOpen, NotRegularFile, PictureSize)
// when the file cannot be read as a picture.
std::unique_ptr<FileReader> OpenPictureFile(const std::string& path, LoadError& error);

} // namespace quorvane
