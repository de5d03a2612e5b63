#pragma once

#include "conversion/Picture.h"
#include "conversion/RunState.h"
#include "platform/DirList.h"
#include "platform/File.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// What the completion report shows.
struct RunReport {
    std::string TotalText;          // "Всего файлов(jpg, bmp):"
    std::string ProcessedText;      // "Обработано:"
    std::string SkippedText;        // "Пропущено из-за ошибок:"
    std::vector<std::string> Lines; // "Пропущенные файлы"
};

// How a run reads the window's boxes and answers through it. The run reads each text at the moment it
// needs it; the window implements this with its widgets, the command line and the tests with values.
class RunControls {
  public:
    virtual ~RunControls() = default;

    virtual std::string SourceText() = 0;      // cbSource
    virtual std::string ReceiverText() = 0;    // cbReceiver
    virtual std::string WidthText() = 0;       // eWidth
    virtual std::string HeightText() = 0;      // eHeight
    virtual std::string StartNumberText() = 0; // Edit2
    virtual std::string QualityText() = 0;     // Edit7
    virtual std::string PreviewText() = 0;     // caption of Label5
    virtual bool IncludeSubfolders() = 0;      // cbIcludeDir
    virtual bool StartFromNumber() = 0;        // CheckBox2

    // The folder history step, run once the input tests have passed.
    virtual void RecordFolders() {}
    virtual void SetProgress(int32_t percent) = 0;         // CGauge1
    virtual void ShowMessage(const std::string& text) = 0; // modal message box
    virtual void ShowReport(const RunReport& report) = 0;  // modal completion report
    // Called regularly while the run waits for pictures being prepared, so a window can keep painting.
    virtual void KeepAlive() {}
    // Why a picture was not converted, in walk order: each skipped file, and each file the walk found
    // that this run had written itself (not read back, not counted).
    virtual void FileSkipped(const std::string& /*path*/, const std::string& /*reason*/) {}
};

// The error box's text for an error that ends a run: a full stop is appended when the text's last
// character sorts after ".".
std::string ErrorBoxText(const std::string& text);

// How a Start command ended.
enum class RunOutcome {
    Refused,     // an input test showed its message; nothing else happened
    Completed,   // the report was shown
    Interrupted, // the run was stopped; the report of what was done so far was shown
};

// The Start command and its routines, without a window. Holds the run state and the skipped list for
// the life of the tool.
class ConversionRun {
  public:
    RunState State;
    std::vector<std::string> SkippedFiles;

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
    bool (*Writer)(const std::string& path, const std::vector<uint8_t>& bytes) = &WriteFileAtomically;

    // The whole Start command. An error that ends the run is thrown as EngineError after the run state
    // has been reset; the report is then not shown.
    RunOutcome StartCommand(RunControls& controls);

    void CountPictures(RunControls& controls, const std::string& folder);
    void PrepareNumbering(RunControls& controls);
    void UpdateProgress(RunControls& controls);
    void Reset();

    // Number of saves that failed in the latest run (the command line's exit status needs it).
    int32_t FailedSaves() const { return failedSaves_; }
    // The most memory the latest run's pictures held at once by its own count.
    int64_t PeakLeasedBytes() const { return peakLeased_; }

    static unsigned Workers(int jobs);
    // The memory budget when none is set: 160 MiB per worker, at least 128 MiB, and never more than an
    // eighth of the machine's memory.
    static int64_t DefaultMemoryBudget(unsigned workers);

  private:
    class Pipeline;
    void WalkFolder(RunControls& controls, Pipeline& pipeline, const std::string& folder);
    void ProcessFile(RunControls& controls, Pipeline& pipeline, const std::string& folder, const DirEntry& entry);
    void FinishOldest(RunControls& controls, Pipeline& pipeline);
    void FinishPicture(RunControls& controls, const std::string& path, PreparedPicture& prepared);
    void SaveOutputPicture(RunControls& controls, const PreparedPicture& prepared);
    void PassOwnOutput(RunControls& controls, const std::string& path, bool counted);
    void Skip(RunControls& controls, const std::string& path, const std::string& reason);
    void Report(RunControls& controls);

    int32_t failedSaves_ = 0;
    int64_t peakLeased_ = 0;
    bool wroteAny_ = false;
    bool receiverInSource_ = false;          // the receiver is one of the folders the walk lists
    std::set<FileId> counted_;               // pictures counted and not yet met by the walk
    std::set<FileId> written_;               // this run's outputs
    std::map<FileId, std::string> replaced_; // outputs that replaced a counted picture the walk had not met
    std::set<FileId> visitedDirs_;           // folders entered, so no cycle is walked twice
};
