#include "layout_helpers.h"

#include <QFontMetrics>

namespace orvik::layout {

QLabel* autoLabel(QWidget* parent, const char* name, int x, int y, const char* caption)
{
    return autoLabel(parent, name, x, y, caption, parent->font());
}

QLabel* autoLabel(QWidget* parent, const char* name, int x, int y, const char* caption, const QFont& font)
{
    const QString value = text(caption);
    const QFontMetrics metrics(font);
    // horizontalAdvance() counts trailing blanks, which belong to the caption and widen the label.
    auto* label = place<QLabel>(parent, name, x, y, metrics.horizontalAdvance(value), metrics.height());
    label->setFont(font);
    label->setText(value);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* fixedLabel(QWidget* parent, const char* name, const QRect& geometry, const char* caption)
{
    auto* label = place<QLabel>(parent, name, geometry.x(), geometry.y(), geometry.width(), geometry.height());
    label->setText(text(caption));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

BevelPanel* panel(
    QWidget* parent, const char* name, const QRect& geometry, Bevel outer, Bevel inner, const char* caption)
{
    auto* result = place<BevelPanel>(parent, name, geometry.x(), geometry.y(), geometry.width(), geometry.height());
    result->setBevelOuter(outer);
    result->setBevelInner(inner);
    result->setCaption(text(caption));
    return result;
}

BevelPanel* header(QWidget* parent, const char* name, const QRect& geometry, const char* caption, QRgb color,
    const QFont& font, const QColor& textColor)
{
    BevelPanel* result = panel(parent, name, geometry, Bevel::Lowered, Bevel::None, caption);
    result->setColor(QColor(color));
    result->setFont(font);
    result->setTextColor(textColor);
    return result;
}

ComboBox* comboBox(QWidget* parent, const char* name, const QRect& geometry, const char* items, int selected)
{
    auto* result = place<ComboBox>(parent, name, geometry.x(), geometry.y(), geometry.width(), geometry.height());
    const QString list = items ? text(items) : QString();
    if (!list.isEmpty()) result->addItems(list.split(QLatin1Char('|')));
    result->setItemIndex(selected);
    return result;
}

QPushButton* button(QWidget* parent, const char* name, const QRect& geometry, const char* caption)
{
    auto* result = place<QPushButton>(parent, name, geometry.x(), geometry.y(), geometry.width(), geometry.height());
    result->setText(text(caption));
    return result;
}

QLineEdit* edit(QWidget* parent, const char* name, const QRect& geometry, const char* value)
{
    auto* result = place<QLineEdit>(parent, name, geometry.x(), geometry.y(), geometry.width(), geometry.height());
    result->setText(text(value));
    return result;
}

UpDown* upDown(QWidget* parent, const char* name, QLineEdit* edit, int min, int max, int position)
{
    auto* result
        = place<UpDown>(parent, name, edit->geometry().right() + 1, edit->y(), UpDown::kWidth, UpDown::kHeight);
    result->setAssociate(edit);
    result->setRange(min, max);
    result->setPosition(position);
    return result;
}

} // namespace orvik::layout
