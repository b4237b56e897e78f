// Reduced lines painted in device pixels: a column's samples as one vertical stroke from its lowest to its highest
// value (a dot when they are equal), and a line from one column's last value to the next one's first unless a poll
// went unanswered between them.
#pragma once

#include "column_reduction.h"

#include <QColor>
#include <QPointF>
#include <QRect>
#include <algorithm>
#include <limits>

class QPainter;

namespace orvik {

struct ChartGeometry {
    QRect plot; // device pixels; column c is the plot's pixel column c
    ColumnSpan span;
    qint32 low; // 0.1 mm at the plot's bottom and top row
    qint32 high;

    // A column's pixel and the pixel row a value falls in, in whole pixels: with a thin pen and no antialiasing that is
    // the pixel painted (a half would fall on a boundary that engines round either way); an antialiased painter
    // shifts by half a pixel to the centres.
    QPointF at(qint64 column, qint32 value) const;
};

// With the painter's pen; the painter's transform maps device pixels.
void paintReducedLine(QPainter& painter, const ReducedLine& line, const ChartGeometry& geometry);

// Whether the two lines paint the same pixels: the same columns and breaks, every value on the same pixel row.
bool samePicture(const ReducedLine& a, const ReducedLine& b, const ChartGeometry& geometry);

// Six colours that reach 3:1 on white and stay apart (CIELAB ΔE over 10) under simulated protanopia, deuteranopia and
// tritanopia: the Okabe–Ito set's black, blue, vermillion, bluish green and reddish purple, and its sky blue darkened
// to 3.5:1. Slaves 7 to 12 add a hollow square every so often, 13 to 16 a cross.
QColor slaveColour(int index);
enum class SlaveMarker { None, Square, Cross };
SlaveMarker slaveMarker(int index);
void paintMarkers(QPainter& painter, const ReducedLine& line, const ChartGeometry& geometry, SlaveMarker marker,
    int spacingPx, int phasePx);

} // namespace orvik
