#pragma once

#include "platform/File.h"

#include <optional>
#include <set>
#include <string>

namespace quorvane {

// Tells the files a run writes apart from the pictures it counted, for a receiver that lies inside the
// source tree: there the walk may meet the run's own outputs, which are never read back, and an output
// may be named like a counted picture the run has not read yet, which it must never replace. Files are
// told apart by identity (device and inode), so any path to them counts. With the receiver elsewhere
// nothing is tracked.
class OwnOutputs {
  public:
    // Forgets the previous run; `receiverInSource` says whether this run needs tracking at all.
    void Begin(bool receiverInSource);
    bool Tracking() const { return tracking_; }

    // A picture the count found: unread until Read() is told about it.
    void Count(const std::string& path);
    // The run is done with the picture at `path` (converted or skipped).
    void Read(const std::string& path);
    // Whether writing an output at `path` would replace a counted picture the run has not read yet.
    bool WouldReplaceUnread(const std::string& path) const;

    // An output was written at `path`.
    void Written(const std::string& path);
    // Whether the file at `path` is one of this run's outputs.
    bool IsOutput(const std::string& path) const;

  private:
    // The file's identity while tracking; nothing otherwise (no file system call is made then).
    std::optional<FileId> Identity(const std::string& path) const;

    bool tracking_ = false;
    std::set<FileId> unread_;  // counted pictures not read yet
    std::set<FileId> written_; // this run's outputs
};

} // namespace quorvane
