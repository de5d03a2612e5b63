#include "ui/About.h"

#include "ui/Appearance.h"
#include "ui/Dialogs.h"
#include "ui/WindowHelpers.h"
#include "ui_About.h"

#include <QKeyEvent>

TForm2::TForm2(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), ui_(std::make_unique<Ui::TForm2>())
{
    ui_->setupUi(this);
    // A dialog of the main window: no taskbar entry of its own, kept above its owner.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    QFont title = ui_->Label8->font();
    title.setPixelSize(19);
    ui_->Label8->setFont(title);
    SizeLabelsToText(*this);
    SizeButtonsToText(*this);
    connect(ui_->Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(ui_->EmailLink, &CLinkLabel::Clicked, this, &TForm2::EmailLinkClick);
    // A click on the link leaves the focus on OK, so Return still closes the window; Tab reaches the link.
    ui_->EmailLink->setFocusPolicy(Qt::TabFocus);
}

TForm2::~TForm2() = default;

void TForm2::Button1Click()
{
    close();
}

void TForm2::EmailLinkClick()
{
    const QString target = ui_->EmailLink->Link().trimmed();
    if (!target.isEmpty()) {
        dialogs_.OpenLink(QUrl(target));
    }
}

void TForm2::keyPressEvent(QKeyEvent* event)
{
    // Esc closes the window as OK does.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TForm2::showEvent(QShowEvent* event)
{
    // Centred each time it is shown by the program, not when the window manager restores it, and opened
    // with the focus on OK, so Enter or Space closes it.
    if (!event->spontaneous()) {
        CentreOnScreen(*this);
        ui_->Button1->setFocus();
    }
    QDialog::showEvent(event);
}
