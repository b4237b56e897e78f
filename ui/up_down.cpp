#include "up_down.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOption>
#include <QStylePainter>
#include <algorithm>

#include "accessible_kinds.h"

namespace orvik {

namespace {

constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 80;

} // namespace

UpDown::UpDown(QWidget* parent)
    : QWidget(parent)
{
    installAccessibleKinds();
    setFocusPolicy(Qt::NoFocus);
    resize(kWidth, kHeight);
    m_repeat.setInterval(kRepeatIntervalMs);
    connect(&m_repeat, &QTimer::timeout, this, [this] {
        m_repeat.setInterval(kRepeatIntervalMs);
        step(m_pressed);
    });
}

QSize UpDown::sizeHint() const
{
    return { kWidth, kHeight };
}

void UpDown::setRange(int min, int max)
{
    m_min = min;
    m_max = std::max(min, max);
    m_position = std::clamp(m_position, m_min, m_max);
}

int UpDown::position()
{
    if (m_edit) {
        bool ok = false;
        const int value = m_edit->text().toInt(&ok);
        if (ok && value >= m_min && value <= m_max) m_position = value;
    }
    return m_position;
}

void UpDown::setPosition(int position)
{
    m_position = std::clamp(position, m_min, m_max);
    if (m_edit) m_edit->setText(QString::number(m_position));
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, m_position);
        QAccessible::updateAccessibility(&event);
    }
}

void UpDown::setAssociate(QLineEdit* edit)
{
    if (m_edit) m_edit->removeEventFilter(this);
    m_edit = edit;
    if (m_edit) m_edit->installEventFilter(this);
}

void UpDown::step(int delta)
{
    setPosition(position() + delta);
}

bool UpDown::eventFilter(QObject* watched, QEvent* event)
{
    // The type is checked first: while the edit is being destroyed it is no longer a QLineEdit, and m_edit must
    // not be read.
    if (event->type() == QEvent::KeyPress && watched == m_edit && isEnabled()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpDown::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    m_pressed = event->position().y() < height() / 2.0 ? 1 : -1;
    step(m_pressed);
    m_repeat.start(kRepeatDelayMs);
    update();
}

void UpDown::mouseReleaseEvent(QMouseEvent*)
{
    m_repeat.stop();
    m_pressed = 0;
    update();
}

void UpDown::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    const int half = height() / 2;
    const QRect halves[2] = { QRect(0, 0, width(), half), QRect(0, half, width(), height() - half) };
    for (int i = 0; i < 2; ++i) {
        QStyleOptionButton button;
        button.initFrom(this);
        button.rect = halves[i];
        const bool down = m_pressed == (i == 0 ? 1 : -1);
        button.state |= down ? QStyle::State_Sunken : QStyle::State_Raised;
        painter.drawPrimitive(QStyle::PE_PanelButtonBevel, button);
        QStyleOption arrow;
        arrow.initFrom(this);
        arrow.rect = halves[i].adjusted(5, 2, -5, -2);
        painter.drawPrimitive(i == 0 ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown, arrow);
    }
}

} // namespace orvik
