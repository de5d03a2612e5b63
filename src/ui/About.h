#pragma once

#include <QDialog>

#include <memory>

class Dialogs;

namespace Ui {
class TForm2;
}

// The About window: name, version and contact details. Created once, hidden; shown modally.
class TForm2 : public QDialog {
    Q_OBJECT

  public:
    explicit TForm2(Dialogs& dialogs, QWidget* parent = nullptr);
    ~TForm2() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void Button1Click();
    void EmailLinkClick();

    Dialogs& dialogs_;
    std::unique_ptr<Ui::TForm2> ui_;
};
