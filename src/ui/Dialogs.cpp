#include "ui/Dialogs.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace {

// A box asked for while its owner is still hidden (the catalogue message during start-up) stands on
// its own, centred on the screen, rather than beside a window that is not there yet.
QWidget* VisibleOwner(QWidget* owner)
{
    return owner != nullptr && owner->isVisible() ? owner : nullptr;
}

void ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& text)
{
    QMessageBox box(icon, QString::fromUtf8(ApplicationTitle), text, QMessageBox::Ok, VisibleOwner(owner));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

void QtDialogs::ShowMessage(QWidget* owner, const QString& text)
{
    ShowBox(owner, QMessageBox::NoIcon, text);
}

void QtDialogs::ShowError(QWidget* owner, const QString& text)
{
    ShowBox(owner, QMessageBox::Critical, text);
}

std::optional<QString> QtDialogs::ChooseFolder(QWidget* owner, const QString& prompt)
{
    const QString folder =
        QFileDialog::getExistingDirectory(VisibleOwner(owner), prompt, QDir::homePath(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(folder);
}

void QtDialogs::OpenLink(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

void QtDialogs::ShowModal(QDialog& window)
{
    window.exec();
}
