// Reading and writing screen pictures: what a save writes must read back as the same
// picture, in the BMP layout Windows 95 shows, and every file that cannot be a picture must
// be refused with the system's reason, without a crash or a huge allocation.

#include "error.h"
#include "picture.h"
#include "tempdrive.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace bootvane;
using namespace bootvane::testing;

namespace {

quint16 u16At(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

quint32 u32At(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

QList<QRgb> colours(int count)
{
    QList<QRgb> table;
    for (int i = 0; i < count; ++i)
        table.append(qRgb((i * 97) & 0xff, (i * 57 + 13) & 0xff, (i * 31 + 200) & 0xff));
    return table;
}

QImage indexedPicture(QSize size, int colourCount)
{
    QImage picture(size, QImage::Format_Indexed8);
    picture.setColorTable(colours(colourCount));
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.scanLine(y)[x] = uchar((x * 7 + y * 3) % colourCount);
    return picture;
}

QImage rgbPicture(QSize size, int colourCount, QImage::Format format = QImage::Format_RGB32)
{
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            // Distinct colours that 16-bit formats hold exactly.
            const int n = (x + y * size.width()) % colourCount;
            picture.setPixel(x, y, qRgb(n % 32 * 8, n / 32 % 64 * 4, n / 2048 * 8));
        }
    return picture.convertToFormat(format);
}

// A BMP header that announces width x height pixels, followed by no pixels at all.
QByteArray bmpHeaderOnly(qint32 width, qint32 height, quint16 bits)
{
    QByteArray bytes(54, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    qToLittleEndian<quint32>(54, bytes.data() + 2);
    qToLittleEndian<quint32>(54, bytes.data() + 10);
    qToLittleEndian<quint32>(40, bytes.data() + 14);
    qToLittleEndian<qint32>(width, bytes.data() + 18);
    qToLittleEndian<qint32>(height, bytes.data() + 22);
    qToLittleEndian<quint16>(1, bytes.data() + 26);
    qToLittleEndian<quint16>(bits, bytes.data() + 28);
    return bytes;
}

quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngHeaderOnly(quint32 width, quint32 height, quint8 bitDepth = 8)
{
    // A real PNG of one pixel whose IHDR is then made to claim the given size.
    QImage one(1, 1, QImage::Format_RGB32);
    one.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    one.save(&buffer, "PNG");
    qToBigEndian<quint32>(width, bytes.data() + 16);
    qToBigEndian<quint32>(height, bytes.data() + 20);
    bytes[24] = char(bitDepth);
    qToBigEndian<quint32>(crc32(bytes.mid(12, 17)), bytes.data() + 29); // type and data
    return bytes;
}

QByteArray encoded(const QImage& picture, const char* format, const QString& text = {})
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!text.isEmpty())
        writer.setText(QLatin1String(bmpImportantColoursKey), text);
    writer.write(picture);
    return bytes;
}

long peakMemoryKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

class TestPicture : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void savedPicturesReadBackTheSame_data();
    void savedPicturesReadBackTheSame();
    void indexedPicturesKeepPaletteOrderAndIndexes();
    void sixteenColoursAreWrittenAsAFullScreenFile();
    void importantColoursAreCarriedFromABmp_data();
    void importantColoursAreCarriedFromABmp();
    void formatComesFromTheContent_data();
    void formatComesFromTheContent();
    void unreadableFilesAreRefusedWithTheReason_data();
    void unreadableFilesAreRefusedWithTheReason();
    void unreadableFileForAnOrdinaryUser();
    void aPipeIsRefusedWithoutWaiting();
    void aHugePictureCostsNothing();
    void switchingOffTheLimitStillLoads();
    void emptyNameAndHandles();
    void aFailedSaveKeepsTheOldFile();
    void nothingToSaveIsRefused();

private:
    std::optional<QTemporaryDir> m_dir; // a fresh one for every test function
    QString path(const QString& name) const { return m_dir->filePath(name); }
};

void TestPicture::init()
{
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
}

void TestPicture::cleanup()
{
    m_dir.reset();
}

void TestPicture::savedPicturesReadBackTheSame_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<int>("bits");

    QTest::newRow("indexed, 256 colours") << screenPicture(3) << 8;
    QTest::newRow("indexed, 16 colours") << indexedPicture({33, 17}, 16) << 8;
    QTest::newRow("indexed, one pixel") << indexedPicture({1, 1}, 2) << 8;

    QImage noTable(9, 5, QImage::Format_Indexed8);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x)
            noTable.scanLine(y)[x] = uchar(x * 28 + y);
    QTest::newRow("indexed without a colour table (grey levels)") << noTable << 8;

    QImage badIndexes = indexedPicture({10, 4}, 5);
    badIndexes.scanLine(2)[3] = 9; // beyond the table: Qt shows black
    badIndexes.scanLine(3)[7] = 255;
    QTest::newRow("indexed, indexes beyond the table") << badIndexes << 8;

    QImage mono(13, 6, QImage::Format_Mono);
    mono.setColorTable({qRgb(200, 10, 10), qRgb(10, 10, 200)});
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 13; ++x)
            mono.setPixel(x, y, (x + y) % 2);
    QTest::newRow("mono") << mono << 8;
    QTest::newRow("mono, LSB first") << mono.convertToFormat(QImage::Format_MonoLSB) << 8;
    QImage monoNoTable(11, 3, QImage::Format_Mono);
    monoNoTable.setColorTable({});
    monoNoTable.fill(0);
    monoNoTable.setPixel(4, 1, 1);
    QTest::newRow("mono without a colour table") << monoNoTable << 8;
    QImage monoOneColour(7, 2, QImage::Format_Mono);
    monoOneColour.setColorTable({qRgb(0, 128, 0)});
    monoOneColour.fill(0);
    monoOneColour.setPixel(1, 1, 1);
    QTest::newRow("mono with one colour") << monoOneColour << 8;

    QTest::newRow("RGB32, 200 colours") << rgbPicture({41, 23}, 200) << 8;
    QTest::newRow("RGB32, 256 colours") << rgbPicture({64, 8}, 256) << 8;
    QTest::newRow("RGB32, 257 colours") << rgbPicture({64, 8}, 257) << 24;
    QTest::newRow("RGB32, many colours, odd width") << rgbPicture({101, 37}, 3000) << 24;
    QTest::newRow("RGB16, many colours") << rgbPicture({30, 30}, 900, QImage::Format_RGB16) << 24;
    QTest::newRow("RGB888, few colours") << rgbPicture({31, 9}, 40, QImage::Format_RGB888) << 8;
    QTest::newRow("opaque ARGB32 premultiplied, many colours")
        << rgbPicture({50, 20}, 1000, QImage::Format_ARGB32_Premultiplied) << 24;
    QTest::newRow("grey levels") << rgbPicture({20, 20}, 256, QImage::Format_Grayscale8) << 8;
    QTest::newRow("64-bit colour, many colours")
        << rgbPicture({40, 40}, 1600, QImage::Format_RGBX64) << 24;
}

void TestPicture::savedPicturesReadBackTheSame()
{
    QFETCH(QImage, picture);
    QFETCH(int, bits);
    const QString file = path(QStringLiteral("logo.sys"));
    savePicture(picture, file);
    const QByteArray bytes = fileBytes(file);

    QCOMPARE(bytes.left(2), QByteArray("BM"));
    QCOMPARE(int(u16At(bytes, 28)), bits);
    QCOMPARE(u32At(bytes, 30), 0u); // uncompressed
    const qint64 paletteBytes = bits == 8 ? 1024 : 0;
    const qint64 rowBytes = (qint64(picture.width()) * bits / 8 + 3) / 4 * 4;
    QCOMPARE(qint64(bytes.size()), 54 + paletteBytes + rowBytes * picture.height());
    QCOMPARE(qint64(u32At(bytes, 2)), qint64(bytes.size()));
    QCOMPARE(qint64(u32At(bytes, 10)), 54 + paletteBytes);

    // A screen file has no transparency: it keeps the colour Qt shows for every pixel.
    const QImage back = loadPicture(file);
    QCOMPARE(back.size(), picture.size());
    QVERIFY2(samePixels(picture.convertToFormat(QImage::Format_RGB32), back),
             "the file read back shows other pixels");
}

void TestPicture::indexedPicturesKeepPaletteOrderAndIndexes()
{
    // A palette whose order means something (Windows 95 cycles entries of it) and a colour
    // used twice: neither may be sorted or merged away.
    QImage picture = indexedPicture({21, 11}, 40);
    QList<QRgb> table = picture.colorTable();
    std::reverse(table.begin(), table.end());
    table[5] = table[30];
    picture.setColorTable(table);

    const QByteArray bytes = encodeBmp(picture);
    for (int i = 0; i < 256; ++i) {
        const QRgb expected = i < table.size() ? table[i] : qRgb(0, 0, 0);
        const QRgb written = qRgb(uchar(bytes[54 + 4 * i + 2]), uchar(bytes[54 + 4 * i + 1]),
                                  uchar(bytes[54 + 4 * i]));
        QCOMPARE(written, expected);
    }
    const int rowBytes = 24;
    for (int y = 0; y < picture.height(); ++y) { // rows are stored bottom-up
        const QByteArray row = bytes.mid(1078 + (picture.height() - 1 - y) * rowBytes, 21);
        QCOMPARE(row, QByteArray(reinterpret_cast<const char*>(picture.constScanLine(y)), 21));
    }

    const QString file = path(QStringLiteral("logow.sys"));
    savePicture(picture, file);
    const QImage back = loadPicture(file);
    QCOMPARE(back.format(), QImage::Format_Indexed8);
    QCOMPARE(back.colorTable().mid(0, table.size()), table);
    for (int y = 0; y < picture.height(); ++y)
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(back.constScanLine(y)), 21),
                 QByteArray(reinterpret_cast<const char*>(picture.constScanLine(y)), 21));
}

void TestPicture::sixteenColoursAreWrittenAsAFullScreenFile()
{
    for (const QImage& picture : {indexedPicture({320, 400}, 16), rgbPicture({320, 400}, 16)}) {
        const QString file = path(QStringLiteral("logos.sys"));
        savePicture(picture, file);
        const QByteArray bytes = fileBytes(file);
        QCOMPARE(bytes.size(), 129078);
        QCOMPARE(int(u16At(bytes, 28)), 8);
        QCOMPARE(u32At(bytes, 30), 0u);
        QCOMPARE(u32At(bytes, 18), 320u);
        QCOMPARE(u32At(bytes, 22), 400u); // positive: bottom-up rows, as Windows 95 expects
        QVERIFY(samePixels(loadPicture(file), picture));
    }
}

void TestPicture::importantColoursAreCarriedFromABmp_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<quint32>("expected");

    QByteArray bmp = encodeBmp(screenPicture(5));
    bmp[50] = char(0x14);
    QTest::newRow("8-bit BMP, 0x14") << bmp << quint32(0x14);
    bmp[50] = char(0xff);
    bmp[51] = char(0x01);
    QTest::newRow("8-bit BMP, a value above one byte") << bmp << quint32(0x1ff);
    QByteArray trueColour = encodeBmp(rgbPicture({40, 30}, 1000));
    trueColour[50] = char(0x20);
    QTest::newRow("24-bit BMP") << trueColour << quint32(0x20);
    QTest::newRow("8-bit BMP, zero") << encodeBmp(screenPicture(6)) << quint32(0);
    // Another format's text is no BMP field, even under the key the program uses.
    QTest::newRow("PNG claiming the field")
        << encoded(screenPicture(7), "PNG", QStringLiteral("20")) << quint32(0);
}

void TestPicture::importantColoursAreCarriedFromABmp()
{
    QFETCH(QByteArray, source);
    QFETCH(quint32, expected);
    const QString from = path(QStringLiteral("source.sys"));
    writeFile(from, source);
    const QString to = path(QStringLiteral("copy.sys"));
    savePicture(loadPicture(from), to);
    QCOMPARE(u32At(fileBytes(to), 50), expected);
    QCOMPARE(u32At(encodeBmp(loadPicture(from)), 50), expected);
}

void TestPicture::formatComesFromTheContent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QImage>("expected"); // null for a lossy format: only the size counts
    const QImage picture = screenPicture(9, {64, 40});
    QTest::newRow("PNG as .sys") << "logo.sys" << encoded(picture, "PNG") << picture;
    QTest::newRow("JPEG as .sys") << "logow.sys" << encoded(picture, "JPEG") << QImage();
    // A phone's photo: more than Qt lets one picture take decoded, unless it is scaled.
    QImage photo(8000, 6000, QImage::Format_RGB888);
    photo.fill(QColor(40, 90, 160));
    QTest::newRow("48-megapixel JPEG") << "photo.jpg" << encoded(photo, "JPEG") << QImage();
    QTest::newRow("BMP as .png") << "picture.png" << encodeBmp(picture) << picture;
    QTest::newRow("PNG as .bmp") << "picture.bmp" << encoded(picture, "PNG") << picture;
    QTest::newRow("BMP without a name ending") << "LOGO" << encodeBmp(picture) << picture;

    // A GIF of 2 x 1 pixels, red and blue (Qt reads GIF but does not write it).
    const QByteArray gif =
        QByteArray::fromHex("47494638396102000100800000" // header, 2-colour table
                            "ff00000000ff"               // red, blue
                            "2c000000000200010000"       // image descriptor
                            "0202440a00"                 // code: 0, 1
                            "3b");
    QImage twoPixels(2, 1, QImage::Format_RGB32);
    twoPixels.setPixel(0, 0, qRgb(255, 0, 0));
    twoPixels.setPixel(1, 0, qRgb(0, 0, 255));
    QTest::newRow("GIF as .sys") << "logos.sys" << gif << twoPixels;
}

void TestPicture::formatComesFromTheContent()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QImage, expected);
    QVERIFY(!bytes.isEmpty());
    writeFile(path(name), bytes);
    const QImage back = loadPicture(path(name));
    if (expected.isNull()) {
        // A lossy picture is told by its size, the size its file has however it was decoded.
        QCOMPARE(pictureSize(back), QImageReader(path(name)).size());
    } else {
        QCOMPARE(back.size(), expected.size());
        QVERIFY(samePixels(back, expected));
    }
}

void TestPicture::unreadableFilesAreRefusedWithTheReason_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing file") << "missing"
                                  << "No such file or directory";
    QTest::newRow("folder") << "folder"
                            << "Is a directory";
    QTest::newRow("dangling link") << "dangling"
                                   << "No such file or directory";
    QTest::newRow("link loop") << "loop"
                               << "Too many levels of symbolic links";
    QTest::newRow("below a plain file") << "belowfile"
                                        << "Not a directory";
    QTest::newRow("empty file") << "empty"
                                << "not a picture";
    QTest::newRow("text file") << "text"
                               << "not a picture";
    QTest::newRow("BMP cut short") << "short"
                                   << "damaged";
    QTest::newRow("BMP whose pixels start inside its header") << "pixels in header"
                                                              << "damaged";
    QTest::newRow("run-length BMP of 64 bytes claiming 2^26 pixels") << "rle"
                                                                     << "damaged";
    QTest::newRow("BMP of 60000 x 60000 pixels") << "bigbmp"
                                                 << "too large";
    QTest::newRow("BMP of 60000 x 60000 pixels, 24-bit") << "bigbmp24"
                                                         << "too large";
    QTest::newRow("BMP of 60000 x 60000 pixels, top-down") << "bigtopdown"
                                                           << "too large";
    QTest::newRow("BMP of 2^31-1 x 2^31-1 pixels") << "maxbmp"
                                                   << "too large";
    QTest::newRow("PNG of 60000 x 60000 pixels") << "bigpng"
                                                 << "too large";
    QTest::newRow("16-bit PNG just too large at 8 bytes a pixel") << "deeppng"
                                                                  << "too large";
    QTest::newRow("56-megapixel progressive JPEG, its frame after 512 KB") << "progressive"
                                                                           << "too large";
}

void TestPicture::unreadableFilesAreRefusedWithTheReason()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QString file = path(QStringLiteral("logo.sys"));
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(file));
    } else if (kind == QLatin1String("dangling")) {
        QVERIFY(QFile::link(path(QStringLiteral("gone.sys")), file));
    } else if (kind == QLatin1String("loop")) {
        QVERIFY(QFile::link(path(QStringLiteral("logo2.sys")), file));
        QVERIFY(QFile::link(file, path(QStringLiteral("logo2.sys"))));
    } else if (kind == QLatin1String("belowfile")) {
        writeFile(file, encodeBmp(screenPicture(1)));
        file += QStringLiteral("/logo.sys");
    } else if (kind == QLatin1String("empty")) {
        writeFile(file, {});
    } else if (kind == QLatin1String("text")) {
        writeFile(file, "C:\\logo.sys is the startup screen\r\n");
    } else if (kind == QLatin1String("short")) {
        writeFile(file, encodeBmp(screenPicture(2)).chopped(300));
    } else if (kind == QLatin1String("pixels in header")) {
        QByteArray bytes = bmpHeaderOnly(1, 1, 8);
        qToLittleEndian<quint32>(0, bytes.data() + 10);
        writeFile(file, bytes);
    } else if (kind == QLatin1String("rle")) {
        QByteArray bytes = bmpHeaderOnly(8192, 8192, 8);
        qToLittleEndian<quint32>(1, bytes.data() + 30);
        writeFile(file, bytes + QByteArray(10, '\x01'));
    } else if (kind == QLatin1String("bigbmp")) {
        writeFile(file, bmpHeaderOnly(60000, 60000, 8));
    } else if (kind == QLatin1String("bigbmp24")) {
        writeFile(file, bmpHeaderOnly(60000, 60000, 24));
    } else if (kind == QLatin1String("bigtopdown")) {
        writeFile(file, bmpHeaderOnly(60000, -60000, 8));
    } else if (kind == QLatin1String("maxbmp")) {
        writeFile(file, bmpHeaderOnly(0x7fffffff, 0x7fffffff, 0xffff));
    } else if (kind == QLatin1String("bigpng")) {
        writeFile(file, pngHeaderOnly(60000, 60000));
    } else if (kind == QLatin1String("deeppng")) {
        // Within the memory limit at 4 bytes a pixel, beyond it at the 8 it takes.
        const double limit = QImageReader::allocationLimit() * 1024.0 * 1024.0;
        const quint32 side = quint32(std::sqrt(limit / 6));
        writeFile(file, pngHeaderOnly(side, side, 16));
    } else if (kind == QLatin1String("progressive")) {
        QBuffer jpeg;
        QImageWriter writer(&jpeg, "jpeg");
        writer.setProgressiveScanWrite(true);
        QVERIFY(writer.write(screenPicture(3, {16, 16})));
        QByteArray bytes = jpeg.data();
        const qsizetype frame = bytes.indexOf("\xff\xc2");
        qToBigEndian<quint16>(7000, bytes.data() + frame + 5);
        qToBigEndian<quint16>(8000, bytes.data() + frame + 7);
        const QByteArray segment = QByteArray("\xff\xe1\xff\xff", 4) + QByteArray(0xfffd, '\0');
        writeFile(file, bytes.left(2) + segment.repeated(8) + bytes.mid(2));
    }

    try {
        loadPicture(file);
        QFAIL("the file was loaded");
    } catch (const Error& error) {
        QCOMPARE(error.path(), file);
        QVERIFY2(error.reason().contains(reason), qPrintable(error.message()));
        QCOMPARE(error.message(),
                 QStringLiteral("Cannot read the picture \"%1\": %2").arg(file, error.reason()));
    }
}

void TestPicture::unreadableFileForAnOrdinaryUser()
{
    if (::geteuid() == 0)
        QSKIP("running as root, which reads files whatever their mode; the dangling link and "
              "the link loop cover unreadable files here");
    const QString file = path(QStringLiteral("logo.sys"));
    writeFile(file, encodeBmp(screenPicture(1)));
    QVERIFY(QFile::setPermissions(file, {}));
    try {
        loadPicture(file);
        QFAIL("an unreadable file was loaded");
    } catch (const Error& error) {
        QCOMPARE(error.reason(), QStringLiteral("Permission denied"));
    }
}

void TestPicture::aPipeIsRefusedWithoutWaiting()
{
    // Opening a pipe for reading waits for a writer; the program must not hang on one.
    const QString fifo = path(QStringLiteral("logo.sys"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::mutex mutex;
    std::condition_variable done;
    bool returned = false;
    std::atomic<bool> hadToRelease = false;
    std::thread releaser([&] {
        std::unique_lock lock(mutex);
        if (!done.wait_for(lock, std::chrono::seconds(5), [&] { return returned; })) {
            hadToRelease = true; // a writer that lets the blocked reader go on
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDWR);
            if (fd >= 0)
                ::close(fd);
        }
    });
    bool refused = false;
    try {
        loadPicture(fifo);
    } catch (const Error& error) {
        refused = true;
        QCOMPARE(error.path(), fifo);
    }
    {
        std::lock_guard lock(mutex);
        returned = true;
    }
    done.notify_one();
    releaser.join();
    QVERIFY2(!hadToRelease, "loading a pipe waited for a writer");
    QVERIFY(refused);
}

void TestPicture::aHugePictureCostsNothing()
{
    // A 60000 x 60000 BMP with all its pixel bytes (a sparse file: 3.6 GB that take no disk).
    const QString file = path(QStringLiteral("logo.sys"));
    writeFile(file, bmpHeaderOnly(60000, 60000, 8));
    QVERIFY(QFile::resize(file, 54 + qint64(60000) * 60000));
    const long before = peakMemoryKb();
    QElapsedTimer timer;
    timer.start();
    try {
        loadPicture(file);
        QFAIL("a 60000 x 60000 picture was loaded");
    } catch (const Error& error) {
        QVERIFY2(error.reason().contains(QLatin1String("too large")), qPrintable(error.message()));
    }
    QVERIFY2(peakMemoryKb() - before < 64 * 1024, "refusing the picture took a lot of memory");
    QVERIFY2(timer.elapsed() < 5000, "refusing the picture read the whole file");

    // A run-length coded 1000 x 1000 picture in a 4 GB file: its code (all "end of row")
    // makes a blank picture long before the file ends, and the rest is never read.
    QByteArray header = bmpHeaderOnly(1000, 1000, 8);
    qToLittleEndian<quint32>(1, header.data() + 30);
    qToLittleEndian<quint32>(54 + 1024, header.data() + 10);
    writeFile(file, header + QByteArray(1024, '\0'));
    QVERIFY(QFile::resize(file, qint64(4) << 30));
    timer.restart();
    const QImage blank = loadPicture(file);
    QCOMPARE(blank.size(), QSize(1000, 1000));
    QCOMPARE(blank.pixelIndex(500, 500), 0);
    QVERIFY2(peakMemoryKb() - before < 64 * 1024, "the whole file was read");
    QVERIFY2(timer.elapsed() < 5000, "the whole file was read");
}

void TestPicture::switchingOffTheLimitStillLoads()
{
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(0); // 0 means no limit, not "nothing fits"
    const QString file = path(QStringLiteral("logo.sys"));
    writeFile(file, encodeBmp(screenPicture(4)));
    QImage back;
    try {
        back = loadPicture(file);
    } catch (const Error& error) {
        QImageReader::setAllocationLimit(limit);
        QFAIL(qPrintable(error.message()));
    }
    QImageReader::setAllocationLimit(limit);
    QVERIFY(samePixels(back, screenPicture(4)));
}

void TestPicture::emptyNameAndHandles()
{
    const QImage empty = loadPicture(QString());
    QVERIFY(empty.isNull());
    QCOMPARE(pictureHandle(empty), 0);
    QCOMPARE(pictureHandle(QImage()), 0);

    writeFile(path(QStringLiteral("a.sys")), encodeBmp(screenPicture(1)));
    const QImage first = loadPicture(path(QStringLiteral("a.sys")));
    const QImage second = loadPicture(path(QStringLiteral("a.sys")));
    QVERIFY(pictureHandle(first) != 0);
    QVERIFY(pictureHandle(second) != 0);
    QVERIFY(pictureHandle(first) != pictureHandle(second));
    const QImage shared = first;
    QCOMPARE(pictureHandle(shared), pictureHandle(first));
}

void TestPicture::aFailedSaveKeepsTheOldFile()
{
    // A file size limit binds root too: the new bytes cannot all be written.
    const QString file = path(QStringLiteral("logo.sys"));
    const QByteArray old = encodeBmp(screenPicture(1, {40, 30}));
    writeFile(file, old);
    bool refused = false;
    QVERIFY(withFileSizeLimit(4096, [&] {
        try {
            savePicture(screenPicture(2), file);
        } catch (const Error& error) {
            refused = true;
            QCOMPARE(error.path(), file);
            QCOMPARE(error.reason(), QStringLiteral("File too large"));
        }
    }));
    QVERIFY2(refused, "a write that could not be finished was reported as done");
    QCOMPARE(fileBytes(file), old);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("logo.sys")});
}

void TestPicture::nothingToSaveIsRefused()
{
    const QString file = path(QStringLiteral("logo.sys"));
    const QByteArray old = encodeBmp(screenPicture(1, {8, 8}));
    writeFile(file, old);
    QVERIFY_THROWS_EXCEPTION(Error, savePicture(QImage(), file));
    QCOMPARE(fileBytes(file), old);
}

QTEST_GUILESS_MAIN(TestPicture)
#include "tst_picture.moc"
