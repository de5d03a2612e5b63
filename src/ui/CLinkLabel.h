#pragma once

#include <QLabel>

// A label that reads as a link: underlined, with a hand pointer, blue, and red while the pointer is over
// it. A click, or Enter or Space while it has the focus, emits Clicked(); what the link opens is up to
// the window. Assistive technology sees a link that can be pressed.
class CLinkLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString link READ Link WRITE SetLink)

  public:
    explicit CLinkLabel(QWidget* parent = nullptr);

    QString Link() const { return link_; }
    void SetLink(const QString& link) { link_ = link; }

    static QColor LinkColour() { return QColor(0, 0, 255); }
    static QColor HoverColour() { return QColor(255, 0, 0); }
    void Activate() { emit Clicked(); }

  signals:
    void Clicked();

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void SetHot(bool hot);

    QString link_;
    bool pressed_ = false;
};
