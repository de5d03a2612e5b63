#pragma once

#include "conversion/RunControls.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <vector>

namespace Ui {
class TForm3;
}

// The completion report: the totals of a run and the list of skipped files. Created once, hidden, and
// filled anew by every run.
class TForm3 : public QDialog {
    Q_OBJECT

  public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    // The three totals; the skipped files, each with why as its tooltip; the outputs not written; and the
    // list's last line, all in the user's language.
    void Fill(const quorvane::RunReport& report);
    // The receiver folder the run wrote into, as its box named it: the open-folder button opens it, and is
    // off when there is no such folder.
    void SetReceiver(const QString& folder);

  signals:
    // The open-folder button was pressed: the system's file manager should show this folder.
    void OpenFolder(const QString& folder);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void Button1Click();

    std::unique_ptr<Ui::TForm3> ui_;
    // Distances of the list's and the button's right and bottom edges to the window's, as designed.
    QSize memoMargin_;
    QSize buttonMargin_;
    // Where the numbers beside the captions stand as designed, their gap to the total's caption, and the
    // room right of them.
    int numbersX_ = 0;
    int numbersGap_ = 0;
    int numbersMargin_ = 0;
    std::vector<QString> reasons_; // by line of Memo1
    QString receiver_;             // absolute
};
