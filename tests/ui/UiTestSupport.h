#pragma once

#include "conversion/RunControls.h"
#include "support/TestSupport.h"
#include "ui/Dialogs.h"
#include "ui/Main.h"

#include <QDialog>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Answers for the window instead of a person, and keeps a log of what it was asked: "message: text",
// "error: text", "folder: prompt", "save: caption", "link: url", "modal: window name".
class RecordingDialogs : public Dialogs {
  public:
    std::vector<std::string> Events;
    // Whether the owner window was on screen when each message or error came.
    std::vector<bool> OwnerVisible;
    // The folder chooser's answers in turn; an empty one, or none left, is a cancel.
    std::deque<QString> FolderAnswers;
    // The file chooser's answer; empty is a cancel.
    QString SaveFileAnswer;
    // Runs while a modal window would be open.
    std::function<void(QDialog&)> OnModal;

    void ShowMessage(QWidget* owner, const QString& text) override;
    void ShowError(QWidget* owner, const QString& text) override;
    std::optional<QString> ChooseFolder(QWidget* owner, const QString& prompt) override;
    std::optional<QString> ChooseSaveFile(QWidget* owner, const QString& caption, const QString& name) override;
    void OpenLink(const QUrl& url) override;
    void ShowModal(QDialog& window) override;
};

// Makes a folder the current one for as long as it lives; the window's text files are read and written
// there.
class CurrentFolder {
  public:
    explicit CurrentFolder(const std::string& folder);
    ~CurrentFolder();
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

  private:
    std::string previous_;
};

// A main window started in a fresh empty current folder. Files put into Dir() before Open() are what the
// window finds at start-up.
class WindowFixture {
  public:
    WindowFixture();
    ~WindowFixture();

    const quorvane::TempDir& Dir() const { return dir_; }
    void Write(const std::string& name, const std::string& bytes) { quorvane::WriteFileBytes(dir_ / name, bytes); }
    bool Exists(const std::string& name) const;
    std::string Read(const std::string& name) const { return quorvane::ReadFileBytes(dir_ / name); }

    // Creates the window (and shows it when asked: painting happens only on a shown window).
    TForm1& Open(bool show = true);
    TForm1& Form() { return *form_; }
    RecordingDialogs Dialogs;

    template <typename T> T& Control(const char* name) { return Find<T>(*form_, name); }

    template <typename T> static T& Find(QWidget& window, const char* name)
    {
        T* control = window.findChild<T*>(QString::fromLatin1(name));
        if (control == nullptr) {
            throw std::runtime_error(std::string("no control named ") + name);
        }
        return *control;
    }

  private:
    quorvane::TempDir dir_;
    CurrentFolder current_;
    std::unique_ptr<TForm1> form_;
};

// Simulates the user picking an item of a drop-down list.
class QComboBox;
void Choose(QComboBox& box, int index);

// Sets an editable drop-down box's text as typing would.
void TypeInto(QComboBox& box, const std::string& text);

// Writes a small JPEG photograph.
void WriteJpeg(const std::string& path, int width = 48, int height = 36, uint32_t seed = 1);

// A report of the given totals that lists the given files as skipped, for no reason given.
inline quorvane::RunReport ReportOf(const std::string& total, const std::string& processed, const std::string& skipped,
                                    const std::vector<std::string>& paths)
{
    quorvane::RunReport report;
    report.TotalText = total;
    report.ProcessedText = processed;
    report.SkippedText = skipped;
    for (const std::string& path : paths) {
        report.Files.push_back({path, {}});
    }
    return report;
}
