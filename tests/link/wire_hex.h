// Test helpers: bytes written and compared as wire hex ("FF 03 00 11 00 06 80 13").
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstddef>

inline QByteArray fromWireHex(const QString& hex)
{
    return QByteArray::fromHex(hex.toLatin1());
}

inline QString toWireHex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

template <std::size_t N> QString toWireHex(const std::array<quint8, N>& bytes, std::size_t count = N)
{
    return toWireHex(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(count)));
}

template <std::size_t N> std::array<quint8, N> arrayFromWireHex(const QString& hex)
{
    std::array<quint8, N> out {};
    const QByteArray bytes = fromWireHex(hex);
    for (qsizetype i = 0; i < bytes.size() && static_cast<std::size_t>(i) < N; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<quint8>(bytes[i]);
    return out;
}
