#pragma once

#include "conversion/Conversion.h"
#include "conversion/Naming.h"
#include "conversion/RunSeams.h"
#include "platform/DirList.h"

#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace quorvane {

// Messages show in test failures as their Russian text.
inline void PrintTo(const Message& message, std::ostream* out)
{
    *out << MessageText(message);
}

// The skipped files' paths, in report order.
inline std::vector<std::string> Paths(const std::vector<SkippedFile>& files)
{
    std::vector<std::string> paths;
    for (const SkippedFile& file : files) {
        paths.push_back(file.Path);
    }
    return paths;
}

// The report's lines of the outputs not written, in Russian.
inline std::vector<std::string> Lines(const std::vector<UnwrittenFile>& files)
{
    std::vector<std::string> lines;
    for (const UnwrittenFile& file : files) {
        lines.push_back(MessageText(file.Line()));
    }
    return lines;
}

// The window's boxes as plain values, recording everything the run shows.
class FakeControls : public RunControls {
  public:
    std::string Source, Receiver, Width = "176", Height = "220", StartNumber, Quality = "60", Preview = "img0000";
    bool Subfolders = true;
    bool StartTicked = false;

    int HistoryCalls = 0;
    std::vector<int32_t> Progress;
    std::vector<std::string> Messages;
    std::vector<RunReport> Reports;
    std::vector<int32_t> ProgressAtReport;
    std::vector<std::string> SkipNotes; // "PATH: reason", in walk order
    std::function<void()> OnReport;
    // Every picture counted is either processed or skipped; off for runs that add pictures as they go.
    bool CheckTotals = true;

    std::string SourceText() override { return Source; }
    std::string ReceiverText() override { return Receiver; }
    std::string WidthText() override { return Width; }
    std::string HeightText() override { return Height; }
    std::string StartNumberText() override { return StartNumber; }
    std::string QualityText() override { return Quality; }
    std::string PreviewText() override { return Preview; }
    bool IncludeSubfolders() override { return Subfolders; }
    bool StartFromNumber() override { return StartTicked; }
    void RecordFolders() override { ++HistoryCalls; }
    void SetProgress(int32_t percent) override { Progress.push_back(percent); }
    void ShowMessage(const Message& message) override { Messages.push_back(MessageText(message)); }
    void FileSkipped(const std::string& path, const Message& reason) override
    {
        SkipNotes.push_back(path + ": " + MessageText(reason));
    }
    void ShowReport(const RunReport& report) override
    {
        // A stopped run keeps the total it counted.
        if (CheckTotals && !report.Interrupted) {
            EXPECT_EQ(std::stoll(report.TotalText), std::stoll(report.ProcessedText) + std::stoll(report.SkippedText))
                << "the report does not add up";
        }
        Reports.push_back(report);
        ProgressAtReport.push_back(Progress.empty() ? -1 : Progress.back());
        if (OnReport) {
            OnReport();
        }
    }
};

} // namespace quorvane
