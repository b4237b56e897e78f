// Helpers that turn one row of the layout tables into one control.
#pragma once

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <QString>

#include "bevel_panel.h"
#include "combo_box.h"
#include "up_down.h"

namespace orvik::layout {

// The layout tables hold UTF-8 literals.
inline QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// Creates a W on parent under its fixed name at the given geometry.
template <class W> W* place(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    auto* widget = new W(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

// A label that sizes itself to its caption, trailing blanks included.
QLabel* autoLabel(QWidget* parent, const char* name, int x, int y, const char* caption);
QLabel* autoLabel(QWidget* parent, const char* name, int x, int y, const char* caption, const QFont& font);
// A label that keeps the given size and clips its caption.
QLabel* fixedLabel(QWidget* parent, const char* name, const QRect& geometry, const char* caption);

BevelPanel* panel(
    QWidget* parent, const char* name, const QRect& geometry, Bevel outer, Bevel inner, const char* caption = "");
// A coloured title strip: lowered outer bevel, caption in the given font and colour.
BevelPanel* header(QWidget* parent, const char* name, const QRect& geometry, const char* caption, QRgb color,
    const QFont& font, const QColor& textColor);

// items is a '|'-separated list; an empty string means no items.
ComboBox* comboBox(QWidget* parent, const char* name, const QRect& geometry, const char* items, int selected);
QPushButton* button(QWidget* parent, const char* name, const QRect& geometry, const char* caption);
QLineEdit* edit(QWidget* parent, const char* name, const QRect& geometry, const char* value);
// An up-down placed right of edit, stepping it within min to max, starting at position.
UpDown* upDown(QWidget* parent, const char* name, QLineEdit* edit, int min, int max, int position);

} // namespace orvik::layout
