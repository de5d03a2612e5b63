#pragma once

#include "Messages.h"
#include "conversion/Crop.h"
#include "picture/FormatSet.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

// Texts of the boxes before the user changes them, shared by the window and the command line: the
// prefix and digit count, the zeros the file-name preview starts with, and the quality the quality box
// falls back to when it holds no number.
inline constexpr const char* DefaultPrefixText = "img";
inline constexpr const char* DefaultDigitCountText = "4";
inline constexpr const char* InitialPreviewZeros = "0000";
inline constexpr const char* DefaultQualityText = "60";

// A picture the run skipped, and why.
struct SkippedFile {
    std::string Path;
    Message Reason;

    bool operator==(const SkippedFile&) const = default;
};

// An output the run could not write: its file name, and why.
struct UnwrittenFile {
    std::string Name;
    Message Reason;

    bool operator==(const UnwrittenFile&) const = default;
    // The report's line: "img0003.jpg: not written: <why>".
    Message Line() const
    {
        return Message::Join(Message::Plain(Name), {MessageId::NotWritten, std::vector<Message>{Reason}});
    }
};

// What the completion report shows.
struct RunReport {
    FormatSet Formats = FormatSet::Defined(); // what the run counted
    std::string TotalText;                    // beside TotalCaption()
    std::string ProcessedText;                // beside ReportProcessed
    std::string SkippedText;                  // beside ReportSkipped
    std::vector<SkippedFile> Files;           // under ReportSkippedFiles: the skipped files
    std::vector<UnwrittenFile> Unwritten;     // after them, the outputs not written
    std::vector<SkippedFile> Warnings;        // pictures converted all the same, with what to know of them
    bool Interrupted = false;                 // the run was stopped before it reached every counted picture
    int64_t NotDone = 0;                      // a stopped run's counted pictures neither processed nor skipped

    // The total's caption: the usual one, or one naming the extensions counted when more formats were on.
    Message TotalCaption() const
    {
        return Formats == FormatSet::Defined() ? Message(MessageId::ReportTotal)
                                               : Message(MessageId::ReportTotalOf, CountedExtensionsText(Formats));
    }

    // The list's last line: the run was stopped, or nothing went wrong; none otherwise.
    std::optional<Message> Closing() const
    {
        if (Interrupted) {
            return Message(MessageId::Interrupted, std::to_string(NotDone));
        }
        return Files.empty() && Unwritten.empty() ? std::optional(Message(MessageId::NoErrors)) : std::nullopt;
    }
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
    // The formats counted and converted: JPEG and BMP unless the user turned others on. Read once per run.
    virtual FormatSet Formats() { return FormatSet::Defined(); }
    // Where the crop of the picture at `path` falls: the centre unless the user chose otherwise. Read as
    // each picture is handed out.
    virtual CropPosition CropOf(const std::string& /*path*/) { return {}; }

    // The folder history step, run once the input tests have passed.
    virtual void RecordFolders() {}
    virtual void SetProgress(int32_t percent) = 0;        // CGauge1
    virtual void ShowMessage(const Message& message) = 0; // modal message box
    virtual void ShowReport(const RunReport& report) = 0; // modal completion report
    // Called regularly while the run waits for pictures being prepared, so a window can keep painting.
    virtual void KeepAlive() {}
    // Why a picture was not converted, in walk order: each skipped file, and each file the walk found
    // that this run had written itself (not read back, not counted).
    virtual void FileSkipped(const std::string& /*path*/, const Message& /*reason*/) {}
    // What the user should know about a picture that converted all the same (a JPEG cut short), in walk
    // order.
    virtual void FileWarning(const std::string& /*path*/, const Message& /*text*/) {}
    // A folder of the source that could not be listed (the source itself included), with why; once each,
    // while the pictures are counted.
    virtual void FolderUnreadable(const std::string& /*folder*/, const Message& /*reason*/) {}
    // A folder of the source that the walk does not enter (hidden, or a link), with why; once each, while
    // the pictures are counted.
    virtual void FolderNotEntered(const std::string& /*folder*/, const Message& /*why*/) {}
    // An output that could not be written, with why ("not written: no space left on the device"), when
    // it is known.
    virtual void OutputNotWritten(const std::string& /*path*/, const Message& /*reason*/) {}
};

} // namespace quorvane
