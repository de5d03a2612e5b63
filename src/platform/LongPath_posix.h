#pragma once

#include <string>

struct stat; // the system's, from <sys/stat.h>

namespace quorvane {

// Opens a path of any length with open()'s flags: one the system would refuse as too long (PATH_MAX) is
// opened a folder at a time, each relative to the one before. -1 with errno set on failure. Used by the
// POSIX files of the platform layer only.
int OpenAnyLength(const std::string& path, int flags);

// stat() for a path of any length; false with errno set on failure.
bool StatAnyLength(const std::string& path, struct ::stat& info);

} // namespace quorvane
