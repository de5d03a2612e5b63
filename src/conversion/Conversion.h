#pragma once

#include "conversion/RunControls.h"
#include "conversion/RunState.h"
#include "picture/LoadError.h"
#include "platform/IntConv.h" // the boxes' numbers are read as the run reads them

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace quorvane {

// What a front end sees of a conversion run: how a Start command ended, how it shares the machine, and the
// run itself. Everything else of the engine stays behind it.

// How a Start command ended.
enum class RunOutcome {
    Refused,     // an input test showed its message; nothing else happened
    Completed,   // the report was shown
    Interrupted, // the run was stopped; the report of what was done so far was shown
};

// How a run shares the machine.
struct RunOptions {
    // Pictures prepared at once on worker threads: 0 means one per core (at least two, so a window stays
    // free), 1 one at a time on the caller's thread.
    int Jobs = 0;
    // Memory the pictures of the run may hold at once, in bytes; 0 means DefaultMemoryBudget().
    int64_t MemoryBudget = 0;
    // Set from outside (Esc, a signal) to stop the run after the picture being written.
    const std::atomic<bool>* Stop = nullptr;
};

// A picture as a listing finds it: where its crop falls, in the picture's own upright pixels, or why it
// cannot be opened.
struct ListedPicture {
    std::string Path;
    PictureFormat Format = PictureFormat::Jpeg; // as its name gives it
    LoadError Why;                              // empty when the picture opened
    CropPosition Crop;
    int32_t PictureWidth = 0;
    int32_t PictureHeight = 0;
    int64_t Left = 0; // the part kept: all of it when the picture is stretched onto the target
    int64_t Top = 0;
    int64_t Width = 0;
    int64_t Height = 0;
};

struct RunSeams; // how the tests reach inside a run (RunSeams.h)

// The Start command and its routines, without a window. Holds the run state for the life of the tool.
class ConversionRun {
  public:
    explicit ConversionRun(const RunOptions& options = {});
    ConversionRun(const RunOptions& options, const RunSeams& seams);
    ~ConversionRun();
    ConversionRun(const ConversionRun&) = delete;
    ConversionRun& operator=(const ConversionRun&) = delete;

    // The whole Start command. An error that ends the run is thrown as EngineError after the run state
    // has been reset; the report is then not shown.
    RunOutcome StartCommand(RunControls& controls);
    // The walk of a Start command without its conversion: each picture it would convert, in walk order,
    // handed to `listed` with the part of it that would be kept; nothing is written or recorded. The
    // source, the width and the height are tested first as the Start command tests them.
    RunOutcome ListCommand(RunControls& controls, const std::function<void(const ListedPicture&)>& listed);

    const RunState& State() const;
    const std::vector<SkippedFile>& SkippedFiles() const;
    // Number of saves that failed in the latest run (the command line's exit status needs it).
    int32_t FailedSaves() const;
    // The most memory the latest run's pictures held at once by its own count.
    int64_t PeakLeasedBytes() const;
    // Distinct colour profiles the latest run read (each made into one transform for the whole run).
    int ColourProfilesRead() const;

    static unsigned Workers(int jobs);
    // The memory budget when none is set: 160 MiB per worker, at least 128 MiB, and never more than an
    // eighth of the machine's memory.
    static int64_t DefaultMemoryBudget(unsigned workers);

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace quorvane
