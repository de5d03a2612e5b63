#pragma once

#include "platform/File.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorvane {

// Tells the files a run writes apart from the pictures it counted, for a receiver that lies inside the
// source tree: there the walk may meet the run's own outputs, which are never read back, and an output
// may take the name of a counted picture the walk has not reached yet. Files are told apart by identity
// (device and inode), so any path to them counts. With the receiver elsewhere nothing is tracked.
class OwnOutputs {
  public:
    // Forgets the previous run; `receiverInSource` says whether this run needs tracking at all.
    void Begin(bool receiverInSource);
    bool Tracking() const { return tracking_; }

    // A picture the count found.
    void Count(const std::string& path);
    // The walk reaches a picture: true when it is one of the counted pictures not met before.
    bool Meet(const std::string& path);

    // What a file the walk handed on turns out to be when its turn comes to be read.
    enum class Kind {
        Picture,         // read it
        NewOutput,       // an output of this run where no counted picture was: passed over
        ReplacedPicture, // an output of this run that took a counted picture's place before it was read
    };
    // `counted`: the walk met the file as a counted picture (Meet's answer).
    Kind Classify(const std::string& path, bool counted);

    // The identity `path` has before an output is written there, so Written can tell what it replaced.
    std::optional<FileId> Before(const std::string& path) const;
    // An output was written at `path`, which had identity `before`.
    void Written(const std::string& path, const std::optional<FileId>& before);

    // Counted pictures replaced by an output before the walk met them, which the walk can no longer
    // meet; forgets them.
    std::vector<std::string> TakeUnread();

  private:
    bool tracking_ = false;
    std::set<FileId> counted_;               // counted pictures the walk has not met yet
    std::set<FileId> written_;               // this run's outputs
    std::map<FileId, std::string> replaced_; // outputs that replaced a counted picture not yet met
};

} // namespace quorvane
