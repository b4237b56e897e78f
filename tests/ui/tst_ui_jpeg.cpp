// The JPEG decoder on the built-in pictures and on damaged data, and the built-in icon.
#include <QFile>
#include <QTest>

#include "assets.h"
#include "jpeg_decoder.h"

using namespace orvik;

namespace {

QByteArray resource(const char* path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray fromHex(const char* wire)
{
    return QByteArray::fromHex(QByteArray(wire).replace(' ', ""));
}

// The frame header of a progressive picture: FF C2, length, precision, height, width, components, then per
// component its id, sampling factors (high nibble horizontal, low vertical) and quantisation table.
struct FrameHeader {
    bool progressive = false;
    int precision = 0;
    int height = 0;
    int width = 0;
    QList<int> sampling;
};

FrameHeader frameHeader(const QByteArray& data)
{
    FrameHeader header;
    const int at = data.indexOf(fromHex("FF C2"));
    if (at < 0) return header;
    const auto byte = [&](int i) { return static_cast<unsigned char>(data.at(at + i)); };
    header.progressive = true;
    header.precision = byte(4);
    header.height = byte(5) << 8 | byte(6);
    header.width = byte(7) << 8 | byte(8);
    for (int c = 0; c < byte(9); ++c)
        header.sampling.append(byte(11 + 3 * c));
    return header;
}

// Replaces the bytes at the first occurrence of marker, from offset bytes past it.
QByteArray patched(QByteArray data, const char* marker, int offset, const char* bytes)
{
    const QByteArray replacement = fromHex(bytes);
    data.replace(data.indexOf(fromHex(marker)) + offset, replacement.size(), replacement);
    return data;
}

} // namespace

class TestJpeg : public QObject {
    Q_OBJECT

private slots:
    void builtInPictures_data();
    void builtInPictures();
    void damagedDataThrows_data();
    void damagedDataThrows();
    void iconHasAlpha();
};

void TestJpeg::builtInPictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("portrait") << kPortraitResource << QSize(276, 480);
    QTest::newRow("landscape") << kLandscapeResource << QSize(360, 270);
}

void TestJpeg::builtInPictures()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QByteArray data = resource(qPrintable(path));
    QVERIFY(!data.isEmpty());
    const FrameHeader header = frameHeader(data);
    QVERIFY(header.progressive);
    QCOMPARE(header.precision, 8);
    QCOMPARE(QSize(header.width, header.height), size);
    QCOMPARE(header.sampling, QList<int>({ 0x11, 0x11, 0x11 }));

    const QImage decoded = decodeJpeg(data);
    QCOMPARE(decoded.size(), size);
    // Qt's own reader decodes the same data with the same library: a swapped channel or a shifted row shows here.
    const QImage reference = QImage::fromData(data, "JPG").convertToFormat(decoded.format());
    if (reference.isNull()) QSKIP("Qt's JPEG reader is not installed");
    int worst = 0;
    for (int y = 0; y < size.height(); y += 7) {
        for (int x = 0; x < size.width(); x += 5) {
            const QColor a = decoded.pixelColor(x, y);
            const QColor b = reference.pixelColor(x, y);
            worst = std::max(
                { worst, std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue()) });
        }
    }
    QVERIFY2(worst <= 8, qPrintable(QString("largest channel difference %1").arg(worst)));
}

void TestJpeg::damagedDataThrows_data()
{
    const QByteArray good = resource(kPortraitResource);
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a JPEG") << QByteArray("GIF89a, or any text that is not a picture");
    QTest::newRow("start marker only") << fromHex("FF D8");
    QTest::newRow("cut inside the headers") << good.left(60);
    QTest::newRow("cut after the first scan") << good.left(good.indexOf(fromHex("FF DA"), 1000));
    QTest::newRow("cut halfway") << good.left(good.size() / 2);
    QTest::newRow("end marker missing") << good.left(good.size() - 2);
    QTest::newRow("no components") << patched(good, "FF C2", 9, "00");
    QTest::newRow("height zero") << patched(good, "FF C2", 5, "00 00");
    QTest::newRow("huge picture") << patched(good, "FF C2", 5, "FF F0 FF F0");
    QTest::newRow("start marker broken") << patched(good, "FF D8", 0, "FF 00");
}

// Every failure must arrive as ImageError; an abort or exit() inside libjpeg would end the test run here.
void TestJpeg::damagedDataThrows()
{
    QFETCH(QByteArray, data);
    QVERIFY_THROWS_EXCEPTION(ImageError, decodeJpeg(data));
}

void TestJpeg::iconHasAlpha()
{
    const QImage icon(QString::fromLatin1(kIconResource));
    QCOMPARE(icon.size(), QSize(64, 64));
    QVERIFY(icon.hasAlphaChannel());
    QCOMPARE(icon.depth(), 32);
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(icon.pixel(32, 32)), 255);
    QVERIFY(!windowIcon().isNull());
}

QTEST_MAIN(TestJpeg)
#include "tst_ui_jpeg.moc"
