#pragma once

#include "conversion/MemoryGate.h"
#include "conversion/Picture.h"
#include "conversion/RunControls.h"
#include "picture/Colour.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvane {

// Thrown inside the run when it is told to stop; the Start command answers it with the report so far.
struct RunInterrupted {};

// How a picture is prepared (PreparePicture, or a test's stand-in).
using Preparer = PreparedPicture (*)(const std::string& path, PictureFormat format, const PictureSettings& settings,
                                     MemoryLease lease, const PrepareOptions& options);

// Prepares pictures on worker threads ahead of the walk while the run takes the results strictly in
// the order they were handed in. With one worker everything happens on the caller's thread, one at a time.
class Pipeline {
  public:
    struct Task {
        std::string Path;
        PictureFormat Format = PictureFormat::Jpeg;
        PictureSettings Settings;
        MemoryLease Lease; // the picture's ticket, until it is prepared
        PreparedPicture Result;
        bool Taken = false;
        bool Done = false;
    };

    // Created and destroyed on the run's thread, which works in the run's picture memory meanwhile.
    Pipeline(unsigned workers, int64_t budget, const std::atomic<bool>* stop, Preparer preparer);
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    bool Parallel() const { return !threads_.empty(); }
    bool Full() const { return tasks_.size() >= limit_; }
    bool Empty() const { return tasks_.empty(); }
    int64_t Peak() const { return gate_.Peak(); }
    int ColourProfilesRead() const { return colours_.ProfilesRead(); }
    bool Stopped() const { return options_.Stop != nullptr && options_.Stop->load(); }

    void Submit(std::shared_ptr<Task> task);
    // The oldest task, removed from the line; when a worker has it, waits until it is prepared (keeping
    // the controls alive, and throwing RunInterrupted when the run is stopped meanwhile). A task no
    // worker has taken yet is returned unprepared, for the caller to prepare or drop.
    std::shared_ptr<Task> TakeOldest(RunControls& controls);
    // Prepares a task; everything a preparation throws ends here, never the end of the process.
    void Prepare(Task& task);

  private:
    void Work();

    // The gate outlives the tasks, whose leases go back to it.
    MemoryGate gate_;
    ColourTransforms colours_;
    PicturePoolScope scope_;
    std::deque<std::shared_ptr<Task>> tasks_; // in walk order, owned by the run's thread
    std::deque<std::shared_ptr<Task>> queue_; // not yet taken by a worker
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    size_t limit_ = 1;
    bool stopping_ = false;
    Preparer preparer_;
    PrepareOptions options_;
};

} // namespace quorvane
