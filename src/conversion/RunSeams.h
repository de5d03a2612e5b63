#pragma once

// Only the tests include this: the places where they put in a run what a real one rarely meets.

#include "conversion/Picture.h"
#include "platform/File.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

struct RunSeams {
    // How a picture is prepared; tests put one here that fails in ways a real picture rarely does.
    PreparedPicture (*Preparer)(const std::string& path, PictureFormat format, const PictureSettings& settings,
                                MemoryLease lease, const PrepareOptions& options) = &PreparePicture;
    // How an output file is written; tests put a failing writer here.
    WriteResult (*Writer)(const std::string& path, const std::vector<uint8_t>& bytes) = &WriteFileAtomically;
};

} // namespace quorvane
