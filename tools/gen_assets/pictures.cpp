#include "pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace orvik::assets {

namespace {

const QColor kLaser(230, 40, 40);
const QColor kCopperA(240, 200, 60); // RS-485 A wire
const QColor kCopperB(90, 170, 240); // RS-485 B wire

QFont pictureFont(int pixelSize, bool bold = false)
{
    QFont f;
    f.setFamilies({ QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei") });
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

void drawText(QPainter& p, const QRectF& r, const QString& text, int px, const QColor& color, bool bold = false,
    int flags = Qt::AlignCenter)
{
    p.setFont(pictureFont(px, bold));
    p.setPen(color);
    p.drawText(r, flags, text);
}

// A silver sensor housing whose lens faces the given direction (right or down) from the housing's front side.
void drawSensor(QPainter& p, const QRectF& body, bool facingDown)
{
    QLinearGradient metal(body.topLeft(), facingDown ? body.topRight() : body.bottomLeft());
    metal.setColorAt(0, QColor(232, 236, 240));
    metal.setColorAt(1, QColor(130, 140, 150));
    p.setPen(QPen(QColor(60, 66, 72), 1.2));
    p.setBrush(metal);
    p.drawRoundedRect(body, 5, 5);
    const qreal face = facingDown ? body.height() * 0.22 : body.width() * 0.16;
    const QRectF front = facingDown ? QRectF(body.left() + 3, body.bottom() - face, body.width() - 6, face)
                                    : QRectF(body.right() - face, body.top() + 3, face, body.height() - 6);
    p.setBrush(QColor(38, 44, 52));
    p.drawRoundedRect(front, 2, 2);
    const QPointF lens = front.center();
    const qreal r = std::min(front.width(), front.height()) * 0.42;
    QRadialGradient glass(lens - QPointF(r / 3, r / 3), r * 1.2);
    glass.setColorAt(0, QColor(170, 230, 255));
    glass.setColorAt(1, QColor(20, 60, 110));
    p.setPen(QPen(QColor(200, 205, 210), 1));
    p.setBrush(glass);
    p.drawEllipse(lens, r, r);
}

// A laser beam with a soft glow around its core.
void drawBeam(QPainter& p, QPointF from, QPointF to)
{
    for (int glow = 4; glow >= 1; --glow) {
        QColor c = kLaser;
        c.setAlpha(40 * (5 - glow));
        p.setPen(QPen(c, glow * 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(from, to);
    }
    p.setPen(QPen(QColor(255, 200, 200), 1.0));
    p.drawLine(from, to);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 90, 90, 200));
    p.drawEllipse(to, 3.0, 3.0);
}

void drawHatched(QPainter& p, const QRectF& r, const QColor& fill, const QColor& hatch)
{
    p.setPen(QPen(hatch, 1));
    p.setBrush(fill);
    p.drawRect(r);
    p.save();
    p.setClipRect(r);
    for (qreal x = r.left() - r.height(); x < r.right(); x += 6)
        p.drawLine(QPointF(x, r.bottom()), QPointF(x + r.height(), r.top()));
    p.restore();
}

// A horizontal measuring arrow with end ticks and its value above it.
void drawDimension(QPainter& p, qreal x1, qreal x2, qreal y, const QString& value, const QColor& color)
{
    p.setPen(QPen(color, 1));
    p.drawLine(QPointF(x1, y - 6), QPointF(x1, y + 6));
    p.drawLine(QPointF(x2, y - 6), QPointF(x2, y + 6));
    p.drawLine(QPointF(x1, y), QPointF(x2, y));
    p.setBrush(color);
    const QPointF left[3] = { { x1, y }, { x1 + 7, y - 3 }, { x1 + 7, y + 3 } };
    const QPointF right[3] = { { x2, y }, { x2 - 7, y - 3 }, { x2 - 7, y + 3 } };
    p.drawPolygon(left, 3);
    p.drawPolygon(right, 3);
    drawText(p, QRectF(x1, y - 22, x2 - x1, 18), value, 13, color, true);
}

// Two wires twisted around each other from top down to the bus: A ends on the line at yA, B on the line at yB.
void drawTwistedPair(QPainter& p, qreal xA, qreal xB, qreal top, qreal yA, qreal yB)
{
    const qreal mid = (xA + xB) / 2;
    const qreal amplitude = (xB - xA) / 2;
    for (int wire = 0; wire < 2; ++wire) {
        QPainterPath path(QPointF(wire == 0 ? xA : xB, top));
        for (qreal y = top; y <= yA; y += 1) {
            const qreal phase = (y - top) / (yA - top) * 4 * M_PI;
            path.lineTo(mid + (wire == 0 ? -1 : 1) * amplitude * std::cos(phase), y);
        }
        if (wire == 1) path.lineTo(xB, yB);
        p.setPen(QPen(wire == 0 ? kCopperA : kCopperB, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kCopperA);
    p.drawEllipse(QPointF(xA, yA), 3.2, 3.2);
    p.setBrush(kCopperB);
    p.drawEllipse(QPointF(xB, yB), 3.2, 3.2);
}

// Two bus lines, A above B, ending in a 120 ohm terminating resistor at the right.
void drawBus(QPainter& p, qreal left, qreal right, qreal yA, qreal yB, const QColor& labelColor)
{
    p.setPen(QPen(kCopperA, 2.4));
    p.drawLine(QPointF(left, yA), QPointF(right, yA));
    p.setPen(QPen(kCopperB, 2.4));
    p.drawLine(QPointF(left, yB), QPointF(right, yB));
    const QRectF resistor(right - 8, yA + 3, 8, yB - yA - 6);
    p.setPen(QPen(labelColor, 1));
    p.setBrush(QColor(210, 180, 140));
    p.drawRect(resistor);
    drawText(p, QRectF(right - 60, yB + 4, 60, 14), QStringLiteral("120 Ω"), 10, labelColor, false,
        Qt::AlignRight | Qt::AlignVCenter);
}

void drawTerminalBlock(QPainter& p, const QRectF& block, const QStringList& names)
{
    p.setPen(QPen(QColor(20, 70, 30), 1.2));
    p.setBrush(QColor(46, 125, 50));
    p.drawRoundedRect(block, 3, 3);
    const qreal pitch = block.width() / names.size();
    for (int i = 0; i < names.size(); ++i) {
        const QPointF screw(block.left() + pitch * (i + 0.5), block.top() + 14);
        p.setPen(QPen(QColor(90, 90, 90), 1));
        p.setBrush(QColor(200, 200, 205));
        p.drawEllipse(screw, 7, 7);
        p.drawLine(screw - QPointF(5, 0), screw + QPointF(5, 0));
        drawText(p, QRectF(screw.x() - pitch / 2, block.bottom() - 16, pitch, 14), names[i], 11, Qt::white, true);
    }
}

} // namespace

QImage drawPortrait()
{
    QImage image(276, 480, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 480);
    sky.setColorAt(0, QColor(32, 52, 74));
    sky.setColorAt(1, QColor(12, 26, 38));
    p.fillRect(image.rect(), sky);
    drawText(p, QRectF(0, 18, 276, 34), QStringLiteral("Orvik Monitor"), 28, Qt::white, true);
    drawText(p, QRectF(0, 54, 276, 18), QStringLiteral("Modbus RTU  ·  RS-485"), 13, QColor(120, 210, 210));
    p.setPen(QPen(QColor(80, 130, 150), 1));
    p.drawLine(QPointF(30, 84), QPointF(246, 84));

    // The sensor on its bracket, measuring the distance to a wall.
    drawHatched(p, QRectF(14, 116, 10, 84), QColor(90, 100, 110), QColor(150, 160, 170));
    drawSensor(p, QRectF(24, 126, 104, 64), false);
    drawText(p, QRectF(30, 134, 70, 16), QStringLiteral("ORVIK"), 11, QColor(40, 50, 60), true);
    drawHatched(p, QRectF(238, 104, 16, 120), QColor(110, 100, 90), QColor(170, 160, 150));
    drawBeam(p, QPointF(128, 158), QPointF(238, 158));
    drawDimension(p, 128, 238, 218, QStringLiteral("1.235 m"), QColor(235, 235, 235));

    // The cable from the sensor's back down to the terminal block, and the pair onward to the line.
    const QStringList terminals { QStringLiteral("24V"), QStringLiteral("GND"), QStringLiteral("A"),
        QStringLiteral("B") };
    const QRectF block(36, 292, 204, 48);
    const QColor wires[4] = { QColor(170, 90, 50), QColor(70, 110, 230), kCopperA, kCopperB };
    QPainterPath cable(QPointF(60, 190));
    cable.cubicTo(60, 230, 110, 240, 138, 262);
    p.setPen(QPen(QColor(25, 25, 28), 9, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cable);
    for (int i = 0; i < 4; ++i) {
        const qreal x = block.left() + block.width() / 4 * (i + 0.5);
        p.setPen(QPen(wires[i], 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(138, 262), QPointF(x, 292));
    }
    drawTerminalBlock(p, block, terminals);
    const qreal xA = block.left() + block.width() / 4 * 2.5;
    const qreal xB = block.left() + block.width() / 4 * 3.5;
    drawBus(p, 10, 266, 400, 414, QColor(200, 210, 220));
    drawTwistedPair(p, xA, xB, 340, 400, 414);
    drawText(p, QRectF(12, 376, 120, 18), QStringLiteral("RS-485  A / B"), 12, QColor(200, 210, 220), true,
        Qt::AlignLeft | Qt::AlignVCenter);
    drawText(p, QRectF(0, 446, 276, 16), QStringLiteral("600 – 115200 baud  ·  16 sensors"), 11, QColor(150, 170, 185));
    return image;
}

QImage drawLandscape()
{
    QImage image(360, 270, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, 0, 270);
    back.setColorAt(0, QColor(240, 245, 249));
    back.setColorAt(1, QColor(208, 220, 232));
    p.fillRect(image.rect(), back);
    const QColor ink(40, 55, 70);
    drawText(p, QRectF(0, 8, 360, 22), QStringLiteral("One line, up to 16 sensors"), 15, ink, true);

    // The master: a monitor showing the program.
    p.setPen(QPen(ink, 1.5));
    p.setBrush(QColor(32, 52, 74));
    p.drawRoundedRect(QRectF(14, 44, 76, 52), 4, 4);
    drawText(p, QRectF(14, 44, 76, 52), QStringLiteral("Orvik\nMonitor"), 11, Qt::white, true);
    p.setBrush(QColor(150, 160, 170));
    p.drawRect(QRectF(44, 96, 16, 10));
    p.drawRoundedRect(QRectF(32, 106, 40, 6), 2, 2);
    drawText(p, QRectF(10, 112, 84, 14), QStringLiteral("Master"), 11, ink);

    drawBus(p, 40, 350, 150, 160, ink);
    drawTwistedPair(p, 46, 58, 126, 150, 160);

    // Sensors hang from the line and measure down to objects of different heights.
    const qreal floor = 252;
    const qreal xs[4] = { 126, 186, 246, 318 };
    const qreal objectTop[4] = { 226, 214, 236, 204 };
    const char* ids[4] = { "ID 1", "ID 2", "ID 3", "ID 16" };
    for (int i = 0; i < 4; ++i) {
        const qreal x = xs[i];
        p.setPen(QPen(kCopperA, 1.6));
        p.drawLine(QPointF(x - 3, 150), QPointF(x - 3, 176));
        p.setPen(QPen(kCopperB, 1.6));
        p.drawLine(QPointF(x + 3, 160), QPointF(x + 3, 176));
        drawSensor(p, QRectF(x - 17, 176, 34, 24), true);
        drawBeam(p, QPointF(x, 200), QPointF(x, objectTop[i]));
        drawHatched(
            p, QRectF(x - 16, objectTop[i], 32, floor - objectTop[i]), QColor(190, 170, 140), QColor(150, 130, 100));
        drawText(p, QRectF(x - 30, 128, 60, 16), QString::fromLatin1(ids[i]), 11, ink, true);
    }
    drawText(p, QRectF(270, 178, 24, 20), QStringLiteral("…"), 16, ink, true);
    p.setPen(QPen(ink, 2));
    p.drawLine(QPointF(100, floor), QPointF(350, floor));
    return image;
}

QImage drawIcon()
{
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient body(0, 2, 0, 62);
    body.setColorAt(0, QColor(30, 170, 170));
    body.setColorAt(1, QColor(10, 90, 100));
    p.setPen(QPen(QColor(6, 60, 66), 1.5));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(2.5, 2.5, 59, 59), 13, 13);
    // The sensor's lens on the left, its beam's waves spreading to the right.
    const QPointF lens(20, 32);
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(QColor(14, 40, 52));
    p.drawEllipse(lens, 9, 9);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(lens + QPointF(-3, -3), 2.5, 2.5);
    for (int i = 0; i < 3; ++i) {
        const qreal r = 17 + i * 8;
        p.setPen(QPen(QColor(255, 255, 255, 255 - i * 60), 3.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(lens.x() - r, lens.y() - r, 2 * r, 2 * r), -40 * 16, 80 * 16);
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace orvik::assets
