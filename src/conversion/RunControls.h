#pragma once

#include "Messages.h"

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

// What the completion report shows.
struct RunReport {
    std::string TotalText;              // "Всего файлов(jpg, bmp):"
    std::string ProcessedText;          // "Обработано:"
    std::string SkippedText;            // "Пропущено из-за ошибок:"
    std::vector<std::string> Files;     // "Пропущенные файлы": the skipped files
    std::vector<std::string> Unwritten; // after them, one line per output not written, with its reason
    bool Interrupted = false;           // the run was stopped: the totals count what the walk reached

    // The list's last line: the run was stopped, or nothing went wrong; none otherwise.
    std::optional<MessageId> Closing() const
    {
        if (Interrupted) {
            return MessageId::Interrupted;
        }
        return Files.empty() && Unwritten.empty() ? std::optional(MessageId::NoErrors) : std::nullopt;
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

    // The folder history step, run once the input tests have passed.
    virtual void RecordFolders() {}
    virtual void SetProgress(int32_t percent) = 0;        // CGauge1
    virtual void ShowMessage(const Message& message) = 0; // modal message box
    virtual void ShowReport(const RunReport& report) = 0; // modal completion report
    // Called regularly while the run waits for pictures being prepared, so a window can keep painting.
    virtual void KeepAlive() {}
    // Why a picture was not converted, in walk order: each skipped file, and each file the walk found
    // that this run had written itself (not read back, not counted).
    virtual void FileSkipped(const std::string& /*path*/, const std::string& /*reason*/) {}
    // What the user should know about a picture that converted all the same (a JPEG cut short), in walk
    // order.
    virtual void FileWarning(const std::string& /*path*/, const std::string& /*text*/) {}
    // A folder of the source that could not be listed (the source itself included), with why; once each,
    // while the pictures are counted.
    virtual void FolderUnreadable(const std::string& /*folder*/, const std::string& /*reason*/) {}
    // An output that could not be written, with why ("не записан: нет места на устройстве"), in walk order.
    virtual void OutputNotWritten(const std::string& /*path*/, const std::string& /*reason*/) {}
};

// The error box's text for an error that ends a run: a full stop is appended when the text's last
// character sorts after ".".
std::string ErrorBoxText(const std::string& text);

} // namespace quorvane
