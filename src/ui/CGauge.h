#pragma once

#include <QWidget>

// The progress gauge: a black frame, a blue bar growing from the left and the percentage in the middle,
// drawn inverted over whatever lies beneath it. It repaints at once when its percentage changes, so it
// keeps moving while the GUI thread is busy with a run.
class CGauge : public QWidget {
    Q_OBJECT

  public:
    explicit CGauge(QWidget* parent = nullptr);

    int Progress() const { return progress_; }
    // Kept within 0..100.
    void SetProgress(int value);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int progress_ = 0;
};
