#include "status_bar.h"

#include <QPainter>

#include "accessible_kinds.h"

namespace orvik {

namespace {
// Space between the bar's edge and the panel, and between the panel's edge and its text.
constexpr int kPanelInset = 2;
constexpr int kTextInset = 3;
} // namespace

StatusBar::StatusBar(QWidget* parent)
    : QWidget(parent)
{
    installAccessibleKinds();
    setFocusPolicy(Qt::NoFocus);
}

QString StatusBar::panelText(int index) const
{
    return index == 0 ? m_text : QString();
}

void StatusBar::setPanelText(int index, const QString& text)
{
    if (index != 0 || text == m_text) return;
    m_text = text;
    update();
    announceNameChange(this);
}

void StatusBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const QRect panel = rect().adjusted(0, kPanelInset, 0, 0);
    // A sunken 1 px frame: shadow on the top and left, light on the bottom and right.
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(panel.topLeft(), panel.topRight());
    painter.drawLine(panel.topLeft(), panel.bottomLeft());
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(panel.bottomLeft(), panel.bottomRight());
    painter.drawLine(panel.topRight(), panel.bottomRight());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    const QRect textRect = panel.adjusted(kTextInset, 1, -kTextInset, -1);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_text);
}

} // namespace orvik
