#pragma once

#include "conversion/OwnOutputs.h"
#include "conversion/Picture.h"
#include "conversion/RunControls.h"
#include "conversion/RunState.h"
#include "platform/DirList.h"
#include "platform/File.h"

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace quorvane {

// How a Start command ended.
enum class RunOutcome {
    Refused,     // an input test showed its message; nothing else happened
    Completed,   // the report was shown
    Interrupted, // the run was stopped; the report of what was done so far was shown
};

// How a run shares the machine, and its seams for tests.
struct RunOptions {
    // Pictures prepared at once on worker threads: 0 means one per core (at least two, so a window stays
    // free), 1 one at a time on the caller's thread.
    int Jobs = 0;
    // Memory the pictures of the run may hold at once, in bytes; 0 means DefaultMemoryBudget().
    int64_t MemoryBudget = 0;
    // Set from outside (a signal) to stop the run after the picture being written.
    const std::atomic<bool>* Stop = nullptr;
    // How a picture is prepared; tests put one here that fails in ways a real picture rarely does.
    PreparedPicture (*Preparer)(const std::string& path, PictureFormat format, const PictureSettings& settings,
                                MemoryLease lease, const PrepareOptions& options) = &PreparePicture;
    // How an output file is written; tests put a failing writer here.
    WriteResult (*Writer)(const std::string& path, const std::vector<uint8_t>& bytes) = &WriteFileAtomically;
};

// The Start command and its routines, without a window. Holds the run state and the skipped list for
// the life of the tool.
class ConversionRun {
  public:
    ConversionRun() = default;
    explicit ConversionRun(const RunOptions& options) : options_(options) {}

    // The whole Start command. An error that ends the run is thrown as EngineError after the run state
    // has been reset; the report is then not shown.
    RunOutcome StartCommand(RunControls& controls);

    const RunState& State() const { return state_; }
    const std::vector<std::string>& SkippedFiles() const { return skippedFiles_; }
    // Number of saves that failed in the latest run (the command line's exit status needs it).
    int32_t FailedSaves() const { return failedSaves_; }
    // The most memory the latest run's pictures held at once by its own count.
    int64_t PeakLeasedBytes() const { return peakLeased_; }
    // Distinct colour profiles the latest run read (each made into one transform for the whole run).
    int ColourProfilesRead() const { return colourProfilesRead_; }

    static unsigned Workers(int jobs);
    // The memory budget when none is set: 160 MiB per worker, at least 128 MiB, and never more than an
    // eighth of the machine's memory.
    static int64_t DefaultMemoryBudget(unsigned workers);

  private:
    class Pipeline;
    void CountPictures(RunControls& controls, const std::string& folder);
    void WalkFolder(RunControls& controls, Pipeline& pipeline, const std::string& folder);
    void ProcessFile(RunControls& controls, Pipeline& pipeline, const std::string& folder, const DirEntry& entry);
    void FinishOldest(RunControls& controls, Pipeline& pipeline);
    void FinishPicture(RunControls& controls, const std::string& path, PreparedPicture& prepared);
    void SaveOutputPicture(RunControls& controls, const PreparedPicture& prepared);
    void SaveFailed(RunControls& controls, const std::string& name, const std::string& path, const std::string& reason);
    void UpdateProgress(RunControls& controls);
    void Skip(RunControls& controls, const std::string& path, const std::string& reason);
    void Report(RunControls& controls, bool interrupted);
    void Reset();

    RunOptions options_;
    RunState state_;
    std::vector<std::string> skippedFiles_;
    int32_t failedSaves_ = 0;
    std::vector<std::string> unwritten_; // "img0003.jpg: не записан: <reason>", in walk order
    int64_t peakLeased_ = 0;
    int colourProfilesRead_ = 0;
    bool wroteAny_ = false;
    OwnOutputs ownOutputs_;
    std::set<FileId> visitedDirs_; // folders entered, so no cycle is walked twice
};

} // namespace quorvane
