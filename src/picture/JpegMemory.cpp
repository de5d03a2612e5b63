#include "picture/JpegMemory.h"

#include "platform/Limits.h"
#include "platform/PictureMemory.h"

#include <jerror.h>

#include <cstdint>

namespace quorvane {

namespace {

JpegCoefficientMemory& MemoryOf(j_common_ptr cinfo)
{
    return *static_cast<JpegCoefficientMemory*>(cinfo->client_data);
}

} // namespace

JpegCoefficientMemory::~JpegCoefficientMemory()
{
    for (int i = 0; i < count_; ++i) {
        ReleasePictureMemory(arrays_[i].block, arrays_[i].bytes);
    }
}

void JpegCoefficientMemory::Install(j_common_ptr cinfo)
{
    cinfo->client_data = this;
    realizeOthers_ = cinfo->mem->realize_virt_arrays;
    cinfo->mem->request_virt_barray = Request;
    cinfo->mem->realize_virt_arrays = Realize;
    cinfo->mem->access_virt_barray = Access;
}

jvirt_barray_ptr JpegCoefficientMemory::Request(j_common_ptr cinfo, int pool, boolean, JDIMENSION blocksPerRow,
                                                JDIMENSION rowCount, JDIMENSION)
{
    JpegCoefficientMemory& memory = MemoryOf(cinfo);
    if (pool != JPOOL_IMAGE) {
        ERREXIT1(cinfo, JERR_BAD_POOL_ID, pool);
    }
    if (memory.count_ >= MAX_COMPONENTS) {
        ERREXIT1(cinfo, JERR_COMPONENT_COUNT, memory.count_ + 1);
    }
    jvirt_barray_control& array = memory.arrays_[memory.count_++];
    array = {rowCount, blocksPerRow, nullptr, nullptr, 0};
    return &array;
}

// Maps every requested array, zero-filled as libjpeg expects: its blocks first, its row pointers after.
void JpegCoefficientMemory::Realize(j_common_ptr cinfo)
{
    JpegCoefficientMemory& memory = MemoryOf(cinfo);
    uint64_t total = 0;
    for (int i = 0; i < memory.count_; ++i) {
        jvirt_barray_control& array = memory.arrays_[i];
        const uint64_t rowBytes = uint64_t{array.blocksPerRow} * sizeof(JBLOCK);
        const uint64_t bytes = uint64_t{array.rowCount} * (rowBytes + sizeof(JBLOCKROW));
        total += bytes;
        if (array.rows != nullptr) {
            continue;
        }
        void* block = total <= static_cast<uint64_t>(MaxJpegMemory) ? AcquirePictureMemory(bytes, true) : nullptr;
        if (block == nullptr) {
            ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 4);
        }
        array.block = block;
        array.bytes = bytes;
        auto* blocks = static_cast<JBLOCK*>(block);
        auto* rows = reinterpret_cast<JBLOCKROW*>(static_cast<char*>(block) + array.rowCount * rowBytes);
        for (JDIMENSION row = 0; row < array.rowCount; ++row) {
            rows[row] = blocks + uint64_t{row} * array.blocksPerRow;
        }
        array.rows = rows;
    }
    memory.realizeOthers_(cinfo);
}

JBLOCKARRAY JpegCoefficientMemory::Access(j_common_ptr cinfo, jvirt_barray_ptr array, JDIMENSION first,
                                          JDIMENSION count, boolean)
{
    if (array->rows == nullptr || first > array->rowCount || count > array->rowCount - first) {
        ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
    }
    return array->rows + first;
}

} // namespace quorvane
