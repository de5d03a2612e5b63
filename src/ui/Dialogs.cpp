#include "ui/Dialogs.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>

namespace {

// A box asked for while its owner is still hidden (the catalogue message during start-up) stands on
// its own, centred on the screen, rather than beside a window that is not there yet.
QWidget* VisibleOwner(QWidget* owner)
{
    return owner != nullptr && owner->isVisible() ? owner : nullptr;
}

// A box is at least as wide as its title bar needs: the window manager's title font is larger and bolder
// than the box's, and the bar also holds the window icon and up to three buttons.
constexpr int TitleBarDecorations = 120;

void ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& text)
{
    QMessageBox box(icon, QString::fromUtf8(ApplicationTitle), text, QMessageBox::Ok, VisibleOwner(owner));
    box.setTextFormat(Qt::PlainText);
    QFont titleFont = box.font();
    titleFont.setBold(true);
    titleFont.setPixelSize(titleFont.pixelSize() > 0 ? titleFont.pixelSize() * 5 / 4 : 14);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + TitleBarDecorations;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
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

std::optional<QString> QtDialogs::ChooseSaveFile(QWidget* owner, const QString& caption, const QString& name)
{
    const QString file = QFileDialog::getSaveFileName(VisibleOwner(owner), caption, QDir::home().filePath(name));
    if (file.isEmpty()) {
        return std::nullopt;
    }
    return file;
}

void QtDialogs::OpenLink(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

void QtDialogs::ShowModal(QDialog& window)
{
    window.exec();
}
