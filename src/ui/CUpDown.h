#pragma once

#include <QPointer>
#include <QWidget>

class QLineEdit;
class QToolButton;

// Up and down arrows beside an edit box (its buddy). Each step starts from the number the buddy shows,
// moves by one within the range without wrapping, and writes the new position into the buddy. The Up and
// Down arrow keys step it while the buddy has the focus. Unlike a spin box it leaves the buddy's typing
// alone: whatever is typed stays until the buddy's own change handler deals with it.
class CUpDown : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ Minimum WRITE SetMinimum)
    Q_PROPERTY(int maximum READ Maximum WRITE SetMaximum)
    Q_PROPERTY(int position READ Position WRITE SetPosition)

  public:
    explicit CUpDown(QWidget* parent = nullptr);

    void SetBuddy(QLineEdit* buddy);
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    int Position() const { return position_; }
    void SetMinimum(int value);
    void SetMaximum(int value);
    // Sets the position without writing it into the buddy.
    void SetPosition(int value);
    // One step up (+1) or down (-1), as a click on an arrow does.
    void Step(int direction);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QToolButton* up_;
    QToolButton* down_;
    QPointer<QLineEdit> buddy_;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
};
