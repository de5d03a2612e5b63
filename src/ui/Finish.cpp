#include "ui/Finish.h"

#include "ui/Appearance.h"
#include "ui/Language.h"
#include "ui/WindowHelpers.h"
#include "ui_Finish.h"

#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>

#include <algorithm>

using namespace quorvane;

TForm3::TForm3(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TForm3>())
{
    ui_->setupUi(this);
    // A dialog of the main window: no taskbar entry of its own, kept above its owner.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    // The captions the command line's report prints too come from the one catalogue.
    ui_->Label1->setText(ShownMessage(MessageId::ReportTotal));
    numbersX_ = ui_->Label4->x();
    numbersGap_ = numbersX_ - ui_->Label1->geometry().right();
    numbersMargin_ = width() - ui_->Label4->geometry().right();
    ui_->Label2->setText(ShownMessage(MessageId::ReportProcessed));
    ui_->Label3->setText(ShownMessage(MessageId::ReportSkipped));
    ui_->Label7->setText(ShownMessage(MessageId::ReportSkippedFiles));
    ui_->Memo1->setAccessibleName(ShownMessage(MessageId::ReportSkippedFiles));
    SizeLabelsToText(*this);
    const QRect memo = ui_->Memo1->geometry();
    const QRect button = ui_->Button1->geometry();
    memoMargin_ = QSize(width() - memo.x() - memo.width(), height() - memo.y() - memo.height());
    buttonMargin_ = QSize(width() - button.x() - button.width(), height() - button.y() - button.height());
    ui_->Button2->setText(ShownMessage(MessageId::ReportOpenReceiver));
    ui_->Button2->setAccessibleName(ShownMessage(MessageId::ReportOpenReceiverName));
    SizeButtonsToText(*this);
    connect(ui_->Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(ui_->Button2, &QPushButton::clicked, this, [this] { emit OpenFolder(receiver_); });
    ui_->Memo1->viewport()->installEventFilter(this);
}

TForm3::~TForm3() = default;

void TForm3::Fill(const RunReport& report)
{
    reasons_.clear();
    // The total's caption names the formats counted; a longer one moves the numbers right, and widens the
    // window when they would not fit.
    SetLabelText(*ui_->Label1, ShownMessage(report.TotalCaption()));
    const int numbersX = std::max(numbersX_, ui_->Label1->geometry().right() + numbersGap_);
    for (QLabel* number : {ui_->Label4, ui_->Label5, ui_->Label6}) {
        number->move(numbersX, number->y());
    }
    if (const int wanted = numbersX + ui_->Label4->width() + numbersMargin_; wanted > width()) {
        resize(wanted, height());
    }
    SetLabelText(*ui_->Label4, QString::fromUtf8(report.TotalText));
    SetLabelText(*ui_->Label5, QString::fromUtf8(report.ProcessedText));
    SetLabelText(*ui_->Label6, QString::fromUtf8(report.SkippedText));
    ui_->Memo1->clear();
    // One skipped file per line, shown readably whatever bytes the name holds, then the outputs not written,
    // the pictures converted with a warning, and the closing line.
    for (const SkippedFile& file : report.Files) {
        ui_->Memo1->appendPlainText(OneLine(file.Path));
        reasons_.push_back(ShownMessage(file.Reason));
    }
    for (const UnwrittenFile& file : report.Unwritten) {
        ui_->Memo1->appendPlainText(OneLine(ShownMessage(file.Line()).toStdString()));
        reasons_.emplace_back();
    }
    // A picture converted all the same: its line says what to know of it, in full and as its tooltip.
    for (const SkippedFile& file : report.Warnings) {
        const QString text = ShownMessage(file.Reason);
        ui_->Memo1->appendPlainText(OneLine(file.Path) + QLatin1String(": ") + text);
        reasons_.push_back(text);
    }
    if (const auto closing = report.Closing()) {
        ui_->Memo1->appendPlainText(ShownMessage(*closing));
    }
    ui_->Memo1->moveCursor(QTextCursor::Start);
}

void TForm3::SetReceiver(const QString& folder)
{
    const QFileInfo info(folder);
    receiver_ = info.absoluteFilePath();
    ui_->Button2->setEnabled(!folder.isEmpty() && info.isDir());
    ui_->Button2->setToolTip(QDir::toNativeSeparators(receiver_));
}

void TForm3::Button1Click()
{
    close();
}

bool TForm3::eventFilter(QObject* watched, QEvent* event)
{
    // The line under the pointer tells why its file was skipped.
    if (watched == ui_->Memo1->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const auto line = static_cast<size_t>(ui_->Memo1->cursorForPosition(help->pos()).blockNumber());
        if (line < reasons_.size() && !reasons_[line].isEmpty()) {
            QToolTip::showText(help->globalPos(), reasons_[line], ui_->Memo1->viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TForm3::keyPressEvent(QKeyEvent* event)
{
    // Esc closes the report as OK does.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TForm3::resizeEvent(QResizeEvent* event)
{
    // The list grows with the window; the OK button keeps to the bottom-right corner.
    const QRect memo = ui_->Memo1->geometry();
    ui_->Memo1->setGeometry(memo.x(), memo.y(), std::max(0, width() - memoMargin_.width() - memo.x()),
                            std::max(0, height() - memoMargin_.height() - memo.y()));
    const QSize buttonSize = ui_->Button1->size();
    ui_->Button1->move(width() - buttonMargin_.width() - buttonSize.width(),
                       height() - buttonMargin_.height() - buttonSize.height());
    ui_->Button2->move(ui_->Button2->x(), ui_->Button1->y());
    QDialog::resizeEvent(event);
}

void TForm3::showEvent(QShowEvent* event)
{
    // Centred over the main window each time it is shown by the program, not when the window manager
    // restores it, and opened with the focus on OK, so Enter or Space closes it.
    if (!event->spontaneous()) {
        CentreOver(*this, parentWidget());
        ui_->Button1->setFocus();
    }
    QDialog::showEvent(event);
}
