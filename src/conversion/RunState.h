#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

// The counters and working name prefix of a conversion run; one instance lives as long as the tool.
struct RunState {
    int32_t TotalFiles = 0;
    int32_t FileNumber = 0;
    int32_t LoadedFiles = 0;
    std::string NamePrefix;
    int32_t ZeroPosition = 0;
    int32_t ZeroDropLevel = 0;
};

} // namespace quorvane
