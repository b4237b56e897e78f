#include "bevel_panel.h"

#include <QPainter>

#include "accessible_kinds.h"

namespace orvik {

namespace {

// Light on the top and left edges and shadow on the bottom and right make a raised edge; swapped, a lowered one.
void drawBevel(QPainter& painter, const QRect& r, Bevel bevel, const QPalette& palette)
{
    if (bevel == Bevel::None) return;
    const QColor light = palette.color(QPalette::Light);
    const QColor shadow = palette.color(QPalette::Dark);
    const QColor& topLeft = bevel == Bevel::Raised ? light : shadow;
    const QColor& bottomRight = bevel == Bevel::Raised ? shadow : light;
    painter.setPen(topLeft);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}

} // namespace

BevelPanel::BevelPanel(QWidget* parent)
    : QWidget(parent)
{
    installAccessibleKinds();
    setFocusPolicy(Qt::NoFocus);
    updateMargins();
}

void BevelPanel::setCaption(const QString& caption)
{
    if (caption == m_caption) return;
    m_caption = caption;
    update();
    announceNameChange(this);
}

void BevelPanel::setBevelOuter(Bevel bevel)
{
    m_outer = bevel;
    updateMargins();
}

void BevelPanel::setBevelInner(Bevel bevel)
{
    m_inner = bevel;
    updateMargins();
}

void BevelPanel::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void BevelPanel::setTextColor(const QColor& color)
{
    m_textColor = color;
    update();
}

// The bevels are the panel's frame: aligned children are laid out inside them.
void BevelPanel::updateMargins()
{
    const int width = (m_outer != Bevel::None ? 1 : 0) + (m_inner != Bevel::None ? 1 : 0);
    setContentsMargins(width, width, width, width);
    update();
}

void BevelPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_color.isValid() ? m_color : palette().color(QPalette::Window));
    QRect r = rect();
    drawBevel(painter, r, m_outer, palette());
    if (m_outer != Bevel::None) r.adjust(1, 1, -1, -1);
    drawBevel(painter, r, m_inner, palette());
    if (m_caption.isEmpty()) return;
    painter.setPen(m_textColor.isValid() ? m_textColor : palette().color(QPalette::WindowText));
    painter.setFont(font());
    painter.drawText(contentsRect(), Qt::AlignCenter | Qt::TextSingleLine, m_caption);
}

} // namespace orvik
