// Usage: orvik_gen_assets <output folder>. Writes portrait.jpg, landscape.jpg and icon.png there.
#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QSaveFile>
#include <cstdio>

#include "jpeg_writer.h"
#include "pictures.h"

namespace {

constexpr int kQuality = 90;

bool writeFile(const QString& path, const QByteArray& data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    return true;
}

QByteArray encodePng(const QImage& image)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

} // namespace

int main(int argc, char* argv[])
{
    // Text needs a font database, which needs the GUI application; no window is ever shown.
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    using namespace orvik::assets;
    const bool ok
        = writeFile(out.filePath(QStringLiteral("portrait.jpg")), encodeProgressiveJpeg(drawPortrait(), kQuality))
        && writeFile(out.filePath(QStringLiteral("landscape.jpg")), encodeProgressiveJpeg(drawLandscape(), kQuality))
        && writeFile(out.filePath(QStringLiteral("icon.png")), encodePng(drawIcon()));
    return ok ? 0 : 1;
}
