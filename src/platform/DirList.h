#pragma once

#include "Messages.h"

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

// A reparse point's tag names a link (symbolic link, junction) when it has this bit; other reparse points
// (a cloud file's placeholder, a deduplicated file) stand for the entry itself.
inline constexpr uint32_t NameSurrogateTag = 0x20000000;

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
    uint32_t ReparseTag = 0; // with the reparse-point bit: what kind of reparse point
};

// Whether the walk enters a listed folder: every folder but a hidden one or a link to one.
enum class FolderEntry {
    NotFolder, // not a folder, or "." or ".."
    Enter,
    Hidden,
    Link,
};
FolderEntry FolderEntryOf(const DirEntry& entry);

// One open listing of a folder's entries in the order the system lists them. On Windows the attribute
// word and the reparse tag are the file system's own. On POSIX a plain directory has the attribute word
// 16; a name starting with "." adds hidden (2), a symbolic link adds 1024 with a name-surrogate tag; other
// files carry 128 (plus the hidden bit).
class DirListing {
  public:
    explicit DirListing(const std::string& folder);
    ~DirListing();
    DirListing(const DirListing&) = delete;
    DirListing& operator=(const DirListing&) = delete;

    bool IsOpen() const { return open_ != nullptr; }
    // Why the folder could not be listed; empty when it was.
    const Message& Error() const { return error_; }
    // The next entry; false when there is none.
    bool Next(DirEntry& entry);

  private:
    struct Open; // the system's handle of the listing
    std::unique_ptr<Open> open_;
    Message error_;
};

inline FolderEntry FolderEntryOf(const DirEntry& entry)
{
    if ((entry.Attributes & Attr::Directory) == 0 || entry.Name == "." || entry.Name == "..") {
        return FolderEntry::NotFolder;
    }
    if ((entry.Attributes & Attr::ReparsePoint) != 0 && (entry.ReparseTag & NameSurrogateTag) != 0) {
        return FolderEntry::Link;
    }
    return (entry.Attributes & Attr::Hidden) != 0 ? FolderEntry::Hidden : FolderEntry::Enter;
}

} // namespace quorvane
