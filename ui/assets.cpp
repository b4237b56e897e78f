#include "assets.h"

#include <QFile>

#include "jpeg_decoder.h"

namespace orvik {

namespace {

QImage decodeResource(const char* path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly)) throw ImageError(std::string("built-in picture missing: ") + path);
    return decodeJpeg(file.readAll());
}

} // namespace

QImage portraitPicture()
{
    static const QImage picture = decodeResource(kPortraitResource);
    return picture;
}

QImage landscapePicture()
{
    static const QImage picture = decodeResource(kLandscapeResource);
    return picture;
}

QIcon windowIcon()
{
    return QIcon(QString::fromLatin1(kIconResource));
}

} // namespace orvik
