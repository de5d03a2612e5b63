#pragma once

#include <QString>
#include <QUrl>

#include <optional>

class QDialog;
class QWidget;

// Caption of every message box and of the error box.
inline constexpr const char* ApplicationTitle = "Quorvane";

// Everything a window shows or asks outside itself goes through here, so the tests can answer instead
// of a person: message boxes, the error box, the folder and file choosers, the e-mail link and modal
// windows.
class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // A modal box with the text and one OK button.
    virtual void ShowMessage(QWidget* owner, const QString& text) = 0;
    // The box for an error that escaped a handler: stop icon, the text as it stands.
    virtual void ShowError(QWidget* owner, const QString& text) = 0;
    // A modal folder chooser with the prompt as caption; nothing when cancelled.
    virtual std::optional<QString> ChooseFolder(QWidget* owner, const QString& prompt) = 0;
    // A modal chooser of a file to write, with the caption and a suggested name; nothing when cancelled.
    virtual std::optional<QString> ChooseSaveFile(QWidget* owner, const QString& caption, const QString& name) = 0;
    // Hands a link to the desktop (a mailto: link to the mail program); failures stay silent.
    virtual void OpenLink(const QUrl& url) = 0;
    // Shows the window modally and returns once it is closed.
    virtual void ShowModal(QDialog& window) = 0;
};

// The real boxes and dialogs.
class QtDialogs : public Dialogs {
  public:
    void ShowMessage(QWidget* owner, const QString& text) override;
    void ShowError(QWidget* owner, const QString& text) override;
    std::optional<QString> ChooseFolder(QWidget* owner, const QString& prompt) override;
    std::optional<QString> ChooseSaveFile(QWidget* owner, const QString& caption, const QString& name) override;
    void OpenLink(const QUrl& url) override;
    void ShowModal(QDialog& window) override;
};
