#pragma once

#include "conversion/Picture.h"
#include "conversion/RunState.h"
#include "platform/DirList.h"

#include <cstdint>
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
};

// Writes the bytes under a temporary name in the target's folder and renames it over the target, so the
// target is either the complete new file or what it was before. False when anything fails; nothing of
// the attempt is left behind.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);

// How a Start command ended.
enum class RunOutcome {
    Refused,   // an input test showed its message; nothing else happened
    Completed, // the report was shown
};

// The Start command and its routines, without a window. Holds the run state and the skipped list for
// the life of the tool.
class ConversionRun {
  public:
    RunState State;
    std::vector<std::string> SkippedFiles;

    // Pictures prepared at once on worker threads: 0 means one per core, 1 one at a time.
    int Jobs = 0;
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

  private:
    class Pipeline;
    void WalkFolder(RunControls& controls, Pipeline& pipeline, const std::string& folder);
    void ProcessFile(RunControls& controls, Pipeline& pipeline, const std::string& folder, const DirEntry& entry);
    void FinishOldest(RunControls& controls, Pipeline& pipeline);
    void FinishPicture(RunControls& controls, const std::string& path, PreparedPicture& prepared);
    void SaveOutputPicture(RunControls& controls, const PreparedPicture& prepared);
    bool IsOwnOutput(const std::string& path) const;

    int32_t failedSaves_ = 0;
    std::set<std::pair<uint64_t, uint64_t>> written_;     // device and inode of this run's outputs
    std::set<std::pair<uint64_t, uint64_t>> visitedDirs_; // folders entered, so no cycle is walked twice
};
