#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quorvane {

// Listing a folder's entries, and joining folder and name into a path. The system's part lives in
// DirList_posix.cpp and DirList_win.cpp.

// The Windows attribute bits the walk looks at.
namespace Attr {
inline constexpr uint32_t Hidden = 2;
inline constexpr uint32_t Directory = 16;
inline constexpr uint32_t Normal = 128;
inline constexpr uint32_t ReparsePoint = 1024;
} // namespace Attr

// The separator that joins a folder text and a name, as they stand.
#ifdef _WIN32
inline constexpr char PathSeparator = '\\';
#else
inline constexpr char PathSeparator = '/';
#endif

inline std::string JoinPath(const std::string& folder, const std::string& name)
{
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    path += PathSeparator;
    path += name;
    return path;
}

struct DirEntry {
    std::string Name;
    uint32_t Attributes = 0;
};

// One open listing of a folder's entries in the order the system lists them. On Windows the attribute
// word is the file system's own. On POSIX a plain directory has the attribute word 16; a name starting
// with "." adds hidden (2), a symbolic link adds 1024; other files carry 128 (plus the hidden bit).
class DirListing {
  public:
    explicit DirListing(const std::string& folder);
    ~DirListing();
    DirListing(const DirListing&) = delete;
    DirListing& operator=(const DirListing&) = delete;

    bool IsOpen() const { return open_ != nullptr; }
    // Why the folder could not be listed, in the user's words; empty when it was.
    const std::string& Error() const { return error_; }
    // The next entry; false when there is none.
    bool Next(DirEntry& entry);

  private:
    struct Open; // the system's handle of the listing
    std::unique_ptr<Open> open_;
    std::string error_;
};

} // namespace quorvane
