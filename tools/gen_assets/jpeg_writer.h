// Writes a picture as progressive JPEG: 8 bits per sample, three components, no chroma subsampling.
#pragma once

#include <QByteArray>
#include <QImage>

namespace orvik::assets {

QByteArray encodeProgressiveJpeg(const QImage& image, int quality);

} // namespace orvik::assets
