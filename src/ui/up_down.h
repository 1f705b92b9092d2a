#pragma once
// An up-down spinner bound to a separate edit box: the arrows step the number shown there, and
// the position read back is the edit box's number when it is a whole number in range,
// otherwise the last valid position.
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace darvelon::ui {

class UpDown : public QWidget {
    Q_OBJECT
public:
    UpDown(QLineEdit* buddy, int minimum, int maximum, int position, QWidget* parent);
    int position();
    void setPosition(int value);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }

public slots:
    void stepUp() { setPosition(position() + 1); }
    void stepDown() { setPosition(position() - 1); }

signals:
    void positionChanged(int position);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_buddy;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_min;
    int m_max;
    int m_position;
};

}  // namespace darvelon::ui
