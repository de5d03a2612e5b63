#pragma once

#include <cstddef>
#include <cstdio>
// jpeglib.h expects FILE and size_t to be declared before it.
#include <jpeglib.h>

// One of libjpeg's whole-picture coefficient arrays. libjpeg declares the type (at global scope) and only
// ever passes pointers to it around, so the tool defines it for its own arrays.
struct jvirt_barray_control {
    JDIMENSION rowCount;
    JDIMENSION blocksPerRow;
    JBLOCKARRAY rows; // nullptr until realized
    void* block;
    size_t bytes;
};

namespace quorvane {

// Keeps libjpeg's whole-picture coefficient arrays (a multi-scan file is read through them, and a
// progressive file written) in picture memory (PictureMemory.h) rather than the heap: they are the largest
// buffers a run holds, 120 MB for a 20 MP picture at full colour resolution.
// Install() right after jpeg_create_*; the arrays are released when this object is destroyed, which must
// happen after jpeg_destroy_*.
class JpegCoefficientMemory {
  public:
    JpegCoefficientMemory() = default;
    JpegCoefficientMemory(const JpegCoefficientMemory&) = delete;
    JpegCoefficientMemory& operator=(const JpegCoefficientMemory&) = delete;
    ~JpegCoefficientMemory();

    void Install(j_common_ptr cinfo);

  private:
    static jvirt_barray_ptr Request(j_common_ptr cinfo, int pool, boolean preZero, JDIMENSION blocksPerRow,
                                    JDIMENSION rowCount, JDIMENSION maxAccess);
    static void Realize(j_common_ptr cinfo);
    static JBLOCKARRAY Access(j_common_ptr cinfo, jvirt_barray_ptr array, JDIMENSION first, JDIMENSION count,
                              boolean writable);

    jvirt_barray_control arrays_[MAX_COMPONENTS] = {};
    int count_ = 0;
    void (*realizeOthers_)(j_common_ptr) = nullptr; // libjpeg's own, for the sample arrays it may request
};

} // namespace quorvane
