// The public BMP test suite: good files must load and survive a save, questionable and bad
// ones must load or be refused with a clear error, and nothing may crash.

#include "error.h"
#include "picture.h"
#include "tempdrive.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace bootvane;
using namespace bootvane::testing;

namespace {

QString suiteFolder()
{
    const QString corpus = qEnvironmentVariable("BOOTVANE_CORPUS");
    return corpus.isEmpty() ? QString() : corpus + QStringLiteral("/bmpsuite");
}

QStringList suiteFiles(const QString& group)
{
    return QDir(suiteFolder() + QLatin1Char('/') + group)
        .entryList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name);
}

void addFileRows(const QString& group)
{
    QTest::addColumn<QString>("path");
    for (const QString& name : suiteFiles(group)) {
        const QString row = group + QLatin1Char('/') + name;
        QTest::newRow(qPrintable(row)) << suiteFolder() + QLatin1Char('/') + row;
    }
}

quint16 u16At(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

quint32 u32At(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

int colourCount(const QImage& picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            colours.insert(line[x] | 0xff000000u);
    }
    return int(colours.size());
}

// Loads path, which may be refused; a refusal must say what failed, where and why.
void loadOrRefuseClearly(const QString& path)
{
    try {
        const QImage picture = loadPicture(path);
        QVERIFY(!picture.isNull());
        QVERIFY(picture.width() > 0 && picture.height() > 0);
    } catch (const Error& error) {
        QVERIFY2(!error.reason().trimmed().isEmpty(), qPrintable(error.message()));
        QCOMPARE(error.path(), path);
        QVERIFY2(error.message().contains(QDir::toNativeSeparators(path)),
                 qPrintable(error.message()));
        QVERIFY2(error.message().contains(error.reason()), qPrintable(error.message()));
    }
}

} // namespace

class TestCorpus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void goodFilesLoadAndSurviveASave_data() { addFileRows(QStringLiteral("g")); }
    void goodFilesLoadAndSurviveASave();
    void goodFilesCutShortAreRefusedAsDamaged_data() { addFileRows(QStringLiteral("g")); }
    void goodFilesCutShortAreRefusedAsDamaged();
    void variantsOfOnePictureDecodeAlike_data();
    void variantsOfOnePictureDecodeAlike();
    void questionableFilesLoadOrAreRefusedClearly_data() { addFileRows(QStringLiteral("q")); }
    void questionableFilesLoadOrAreRefusedClearly();
    void filesThatLoadSurviveASave_data();
    void filesThatLoadSurviveASave();
    void badFilesLoadOrAreRefusedClearly_data() { addFileRows(QStringLiteral("b")); }
    void badFilesLoadOrAreRefusedClearly();
    void everyFileDecodesTheSameEveryTime_data();
    void everyFileDecodesTheSameEveryTime();
    void runLengthCodeWithoutALengthIsCheckedToo_data();
    void runLengthCodeWithoutALengthIsCheckedToo();
    void aPaletteShorterThanDeclaredStillLoads_data();
    void aPaletteShorterThanDeclaredStillLoads();
    void truncatedFilesAreRefusedAsDamaged_data();
    void truncatedFilesAreRefusedAsDamaged();
    void absurdSizesAreRefused();

private:
    QTemporaryDir m_out;
};

void TestCorpus::initTestCase()
{
    if (suiteFolder().isEmpty())
        QFAIL("BOOTVANE_CORPUS is not set: it must name the folder that holds bmpsuite/");
    if (!QFileInfo(suiteFolder()).isDir())
        QFAIL(qPrintable(
            QStringLiteral("The BMP suite is missing: no folder %1 (from BOOTVANE_CORPUS)")
                .arg(suiteFolder())));
    // The suite as shipped: a silently shrunk copy would let every data-driven test pass.
    QCOMPARE(suiteFiles(QStringLiteral("g")).size(), 23);
    QCOMPARE(suiteFiles(QStringLiteral("q")).size(), 22);
    QCOMPARE(suiteFiles(QStringLiteral("b")).size(), 14);
    QVERIFY(m_out.isValid());
}

void TestCorpus::goodFilesLoadAndSurviveASave()
{
    QFETCH(QString, path);
    QImage picture;
    try {
        picture = loadPicture(path);
    } catch (const Error& error) {
        QFAIL(qPrintable(error.message()));
    }
    QVERIFY(!picture.isNull());

    const QByteArray bytes = encodeBmp(picture);
    QVERIFY(bytes.size() >= 54);
    QCOMPARE(bytes.left(2), QByteArray("BM"));
    QCOMPARE(qint64(u32At(bytes, 2)), qint64(bytes.size()));
    QCOMPARE(u32At(bytes, 14), 40u);
    QCOMPARE(qint64(u32At(bytes, 18)), qint64(picture.width()));
    QCOMPARE(qint64(u32At(bytes, 22)), qint64(picture.height()));
    QCOMPARE(u32At(bytes, 30), 0u); // uncompressed
    const int expectedBits = colourCount(picture) <= 256 ? 8 : 24;
    QCOMPARE(int(u16At(bytes, 28)), expectedBits);

    const QString copy =
        m_out.filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".sys"));
    QFile::remove(copy);
    try {
        savePicture(picture, copy);
        QCOMPARE(fileBytes(copy), bytes);
        const QImage back = loadPicture(copy);
        QVERIFY2(samePixels(picture, back), "the saved picture shows other pixels");
        if (picture.format() == QImage::Format_Indexed8) {
            QCOMPARE(back.format(), QImage::Format_Indexed8);
            QCOMPARE(back.colorTable().mid(0, picture.colorCount()), picture.colorTable());
            for (int y = 0; y < picture.height(); ++y)
                QCOMPARE(
                    QByteArray(reinterpret_cast<const char*>(back.constScanLine(y)), back.width()),
                    QByteArray(reinterpret_cast<const char*>(picture.constScanLine(y)),
                               picture.width()));
        }
    } catch (const Error& error) {
        QFAIL(qPrintable(error.message()));
    }
}

void TestCorpus::goodFilesCutShortAreRefusedAsDamaged()
{
    QFETCH(QString, path);
    const QByteArray whole = fileBytes(path);
    const qsizetype pixelsAt = qsizetype(u32At(whole, 10));
    QVERIFY(pixelsAt < whole.size());
    const QString cut = m_out.filePath(QStringLiteral("cut-") + QFileInfo(path).fileName());
    writeFile(cut, whole.left(pixelsAt + (whole.size() - pixelsAt) / 2));
    try {
        loadPicture(cut);
        QFAIL("a file cut off in the middle of its pixels was loaded");
    } catch (const Error& error) {
        QCOMPARE(error.path(), cut);
        QVERIFY2(error.reason().contains(QLatin1String("damaged")), qPrintable(error.message()));
    }
}

// The suite draws one picture in many encodings; those that keep every colour must decode
// to exactly the same pixels, whatever their header, row order or compression.
void TestCorpus::variantsOfOnePictureDecodeAlike_data()
{
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QString>("variant");
    const QList<std::pair<const char*, const char*>> pairs = {
        {"g/pal8.bmp", "g/pal8-0.bmp"},
        {"g/pal8.bmp", "g/pal8topdown.bmp"},
        {"g/pal8.bmp", "g/pal8rle.bmp"},
        {"g/pal8.bmp", "g/pal8os2.bmp"},
        {"g/pal8.bmp", "g/pal8v4.bmp"},
        {"g/pal8.bmp", "g/pal8v5.bmp"},
        {"g/pal4.bmp", "g/pal4rle.bmp"},
        {"g/rgb24.bmp", "g/rgb24pal.bmp"},
        {"g/rgb24.bmp", "g/rgb32.bmp"},
        {"g/rgb24.bmp", "g/rgb32bf.bmp"},
        {"g/rgb16-565.bmp", "g/rgb16-565pal.bmp"},
        {"g/pal8.bmp", "q/pal8os2v2.bmp"},
        {"g/pal8.bmp", "q/pal8offs.bmp"},
        {"g/pal8.bmp", "q/pal8os2sp.bmp"},
        {"g/rgb24.bmp", "q/rgb24largepal.bmp"},
    };
    for (const auto& [reference, variant] : pairs)
        QTest::newRow(variant) << QString::fromLatin1(reference) << QString::fromLatin1(variant);
}

void TestCorpus::variantsOfOnePictureDecodeAlike()
{
    QFETCH(QString, reference);
    QFETCH(QString, variant);
    try {
        const QImage expected = loadPicture(suiteFolder() + QLatin1Char('/') + reference);
        const QImage picture = loadPicture(suiteFolder() + QLatin1Char('/') + variant);
        QVERIFY2(samePixels(expected, picture), "the variant decodes to other pixels");
    } catch (const Error& error) {
        QFAIL(qPrintable(error.message()));
    }
}

void TestCorpus::questionableFilesLoadOrAreRefusedClearly()
{
    QFETCH(QString, path);
    loadOrRefuseClearly(path);
}

void TestCorpus::filesThatLoadSurviveASave_data()
{
    addFileRows(QStringLiteral("q"));
    for (const QString& name : suiteFiles(QStringLiteral("b")))
        QTest::newRow(qPrintable(QStringLiteral("b/") + name))
            << suiteFolder() + QStringLiteral("/b/") + name;
}

void TestCorpus::filesThatLoadSurviveASave()
{
    QFETCH(QString, path);
    QImage picture;
    try {
        picture = loadPicture(path);
    } catch (const Error&) {
        QSKIP("refused when loading, which is allowed here");
    }
    const QString copy = m_out.filePath(
        QStringLiteral("copy-") + QFileInfo(path).completeBaseName() + QStringLiteral(".sys"));
    try {
        savePicture(picture, copy);
        const QImage back = loadPicture(copy);
        // A screen file has no transparency: what it keeps is the colour of each pixel.
        QVERIFY2(samePixels(picture.convertToFormat(QImage::Format_RGB32), back),
                 "the saved picture shows other pixels");
    } catch (const Error& error) {
        QFAIL(qPrintable(error.message()));
    }
}

void TestCorpus::badFilesLoadOrAreRefusedClearly()
{
    QFETCH(QString, path);
    loadOrRefuseClearly(path);
}

void TestCorpus::everyFileDecodesTheSameEveryTime_data()
{
    addFileRows(QStringLiteral("g"));
    for (const char* group : {"q", "b"}) {
        for (const QString& name : suiteFiles(QLatin1String(group))) {
            const QString row = QLatin1String(group) + QLatin1Char('/') + name;
            QTest::newRow(qPrintable(row)) << suiteFolder() + QLatin1Char('/') + row;
        }
    }
}

// Pixels that a decoder skips must not take whatever memory held: the same file must give
// the same picture however the memory was used before.
void TestCorpus::everyFileDecodesTheSameEveryTime()
{
    QFETCH(QString, path);
    QList<QImage> pictures;
    for (int round = 0; round < 3; ++round) {
        {
            // Freed just before the load, so that the picture is likely to get this memory.
            QByteArray noise(1 << 16, char(0x11 * (round + 3)));
            noise.detach();
        }
        try {
            pictures.append(loadPicture(path));
        } catch (const Error&) {
            if (round == 0)
                QSKIP("refused, which is allowed here; tested elsewhere");
            QFAIL("refused once, loaded another time");
        }
    }
    QCOMPARE(pictures[1], pictures[0]);
    QCOMPARE(pictures[2], pictures[0]);
}

// A run-length coded BMP need not say how long its code is (biSizeImage 0): the code itself
// must then show where the picture ends, and a file cut before that is damaged.
void TestCorpus::runLengthCodeWithoutALengthIsCheckedToo_data()
{
    QTest::addColumn<QString>("path");
    for (const char* name :
         {"g/pal4rle.bmp", "g/pal8rle.bmp", "q/pal4rletrns.bmp", "q/pal8rletrns.bmp"})
        QTest::newRow(name) << suiteFolder() + QLatin1Char('/') + QLatin1String(name);
}

void TestCorpus::runLengthCodeWithoutALengthIsCheckedToo()
{
    QFETCH(QString, path);
    QByteArray bytes = fileBytes(path);
    QVERIFY(u32At(bytes, 30) == 1 || u32At(bytes, 30) == 2);
    qToLittleEndian<quint32>(0, bytes.data() + 34);
    const QString whole = m_out.filePath(QStringLiteral("whole-") + QFileInfo(path).fileName());
    writeFile(whole, bytes);
    try {
        QVERIFY(samePixels(loadPicture(whole), loadPicture(path)));
    } catch (const Error& error) {
        QFAIL(qPrintable(error.message()));
    }

    const qsizetype pixelsAt = qsizetype(u32At(bytes, 10));
    for (const qsizetype cutAt :
         {pixelsAt, pixelsAt + (bytes.size() - pixelsAt) / 2, bytes.size() - 3}) {
        const QString cut =
            m_out.filePath(QStringLiteral("cut-%1-").arg(cutAt) + QFileInfo(path).fileName());
        writeFile(cut, bytes.left(cutAt));
        try {
            loadPicture(cut);
            QFAIL(qPrintable(QStringLiteral("cut after %1 bytes, the file was loaded").arg(cutAt)));
        } catch (const Error& error) {
            QVERIFY2(error.reason().contains(QLatin1String("damaged")),
                     qPrintable(error.message()));
        }
    }
}

// biClrUsed 0 stands for a full palette, but the pixels may begin before 256 entries would
// end: the palette is what fits, and the pixels are where the header says.
void TestCorpus::aPaletteShorterThanDeclaredStillLoads_data()
{
    QTest::addColumn<QString>("path");
    for (const char* name : {"g/pal8.bmp", "g/pal8rle.bmp", "g/pal8v5.bmp"})
        QTest::newRow(name) << suiteFolder() + QLatin1Char('/') + QLatin1String(name);
}

void TestCorpus::aPaletteShorterThanDeclaredStillLoads()
{
    QFETCH(QString, path);
    QByteArray bytes = fileBytes(path);
    QCOMPARE(u32At(bytes, 46), 252u);
    qToLittleEndian<quint32>(0, bytes.data() + 46);
    const QString changed = m_out.filePath(QStringLiteral("full-") + QFileInfo(path).fileName());
    writeFile(changed, bytes);
    try {
        QVERIFY(samePixels(loadPicture(changed), loadPicture(path)));
    } catch (const Error& error) {
        QFAIL(qPrintable(error.message()));
    }
}

void TestCorpus::truncatedFilesAreRefusedAsDamaged_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("b/shortfile.bmp") << suiteFolder() + QStringLiteral("/b/shortfile.bmp");
}

void TestCorpus::truncatedFilesAreRefusedAsDamaged()
{
    QFETCH(QString, path);
    try {
        loadPicture(path);
        QFAIL("a file shorter than its header says was loaded");
    } catch (const Error& error) {
        QCOMPARE(error.path(), path);
        QVERIFY2(error.reason().contains(QLatin1String("damaged")), qPrintable(error.message()));
    }
}

void TestCorpus::absurdSizesAreRefused()
{
    // 3,000,000 x 2,000,000 pixels in a 24 KB file: refused before anything is allocated.
    const QString path = suiteFolder() + QStringLiteral("/b/reallybig.bmp");
    try {
        loadPicture(path);
        QFAIL("a picture of 3,000,000 x 2,000,000 pixels was loaded");
    } catch (const Error& error) {
        QVERIFY2(error.reason().contains(QLatin1String("too large")), qPrintable(error.message()));
    }
}

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"
