// The window's colours, fonts and flags, in one place.
#pragma once

#include <QColor>
#include <QFont>
#include <QStringList>

namespace orvik::style {

constexpr int kClientWidth = 981;
constexpr int kClientHeight = 512;

constexpr Qt::WindowFlags kWindowFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
    | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint;

constexpr QRgb kTeal = qRgb(0, 128, 128);
constexpr QRgb kSensorHeaderBlue = qRgb(0, 128, 255);
constexpr QRgb kGreen = qRgb(0, 128, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);

// Character heights in pixels.
constexpr int kWindowFontPx = 11;
constexpr int kStatusFontPx = 12;
constexpr int kFieldFontPx = 13;
constexpr int kHeaderFontPx = 16;
constexpr int kUnitFontPx = 19;
constexpr int kSensorHeaderFontPx = 24;

// The window face first; where it is missing, or lacks a glyph, a face with the Chinese characters.
inline QFont font(int pixelSize, bool bold = false)
{
    QFont f;
    f.setFamilies({ QStringLiteral("MS Sans Serif"), QStringLiteral("WenQuanYi Micro Hei"),
        QStringLiteral("Noto Sans CJK SC"), QStringLiteral("SimSun") });
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

} // namespace orvik::style
