// Received bytes are kept only as text: each byte as two capital hex digits and one blank ("01 03 A0 ").
// The same text is the store of the frame being received and the line the debug log shows.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace orvik {

// Two capital hex digits, high digit first, then one blank: 0x0A gives "0A ".
void appendHexByte(QString& rxText, quint8 byte);

// Appends the first `count` bytes of `data` to rxText and counts them in rxCount. Only `count` bytes are taken, the
// number the port reported before the data was read: bytes that arrived in between are dropped. When the data holds
// fewer bytes than that, only those present are taken; nothing when count <= 0. Returns how many were appended.
int appendReceived(QString& rxText, qint32& rxCount, int count, const QByteArray& data);

} // namespace orvik
