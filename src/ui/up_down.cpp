#include "up_down.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

namespace darvelon::ui {

UpDown::UpDown(QLineEdit* buddy, int minimum, int maximum, int position, QWidget* parent)
    : QWidget(parent), m_buddy(buddy), m_min(minimum), m_max(maximum), m_position(position) {
    m_up = new QToolButton(this);
    m_up->setArrowType(Qt::UpArrow);
    m_up->setAutoRepeat(true);
    m_up->setFocusPolicy(Qt::NoFocus);
    m_down = new QToolButton(this);
    m_down->setArrowType(Qt::DownArrow);
    m_down->setAutoRepeat(true);
    m_down->setFocusPolicy(Qt::NoFocus);
    connect(m_up, &QToolButton::clicked, this, &UpDown::stepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDown::stepDown);
    connect(m_buddy, &QLineEdit::textEdited, this, [this] { emit positionChanged(this->position()); });
    m_buddy->setText(QString::number(m_position));
    // Up/down keys in the edit box step the number, as on the arrows.
    m_buddy->installEventFilter(this);
    setFocusPolicy(Qt::TabFocus);
}

int UpDown::position() {
    bool ok = false;
    const int typed = m_buddy->text().trimmed().toInt(&ok);
    if (ok && typed >= m_min && typed <= m_max) m_position = typed;
    return m_position;
}

void UpDown::setPosition(int value) {
    m_position = std::clamp(value, m_min, m_max);
    m_buddy->setText(QString::number(m_position));
    emit positionChanged(m_position);
}

void UpDown::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}

}  // namespace darvelon::ui

namespace darvelon::ui {

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_buddy && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up) return stepUp(), true;
        if (key == Qt::Key_Down) return stepDown(), true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace darvelon::ui
