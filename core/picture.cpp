#include "picture.h"

#include "builtinscreen.h"
#include "error.h"
#include "filesystem.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QScopeGuard>
#include <QtEndian>
#include <cstdlib>
#include <limits>
#include <optional>

namespace bootvane {

namespace {

const QString readOperation = QStringLiteral("read the picture");

// Whether reading failed on the way; bytes in memory never do.
bool readFailed(const QIODevice& device)
{
    const auto* file = qobject_cast<const QFileDevice*>(&device);
    return file && file->error() != QFileDevice::NoError;
}

quint16 u16At(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

quint32 u32At(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

struct BmpHeader {
    qint64 width = 0;
    qint64 height = 0;
    qint64 dataOffset = 0;
    int bitsPerPixel = 0;
    quint32 compression = 0;
    quint32 imageSize = 0;
    quint32 infoSize = 0;
    quint32 coloursUsed = 0;
    qint32 dotsPerMeterX = 0;
    qint32 dotsPerMeterY = 0;
    std::optional<quint32> importantColours;
};

constexpr qsizetype bmpHeaderBytes = 54;

std::optional<BmpHeader> readBmpHeader(const QByteArray& bytes)
{
    if (bytes.size() < 26 || !bytes.startsWith("BM"))
        return std::nullopt;
    BmpHeader header;
    header.dataOffset = u32At(bytes, 10);
    const quint32 infoSize = u32At(bytes, 14);
    header.infoSize = infoSize;
    // OS/2's core header: 16-bit sizes, no compression. Qt reads every header shorter than
    // Windows' so, and filled a picture of whatever size it then said from a file of a few
    // bytes, unchecked.
    if (infoSize < 40) {
        header.width = u16At(bytes, 18);
        header.height = u16At(bytes, 20);
        header.bitsPerPixel = u16At(bytes, 24);
        return header;
    }
    if (bytes.size() < bmpHeaderBytes || infoSize < 40)
        return std::nullopt;
    header.width = qint32(u32At(bytes, 18));
    header.height = qint32(u32At(bytes, 22));
    header.bitsPerPixel = u16At(bytes, 28);
    header.compression = u32At(bytes, 30);
    header.imageSize = u32At(bytes, 34);
    header.dotsPerMeterX = qint32(u32At(bytes, 38));
    header.dotsPerMeterY = qint32(u32At(bytes, 42));
    header.coloursUsed = u32At(bytes, 46);
    header.importantColours = u32At(bytes, 50);
    return header;
}

// a * b, or the largest qint64 where that would not fit: a header may claim any size.
qint64 saturatedProduct(qint64 a, qint64 b)
{
    qint64 product = 0;
    return qMulOverflow(a, b, &product) ? std::numeric_limits<qint64>::max() : product;
}

// The size a BMP file must at least have for the pixels its header announces. Qt's reader
// does not check it and fills the missing rows silently.
qint64 bmpBytesNeeded(const BmpHeader& header)
{
    constexpr quint32 uncompressed = 0, bitFields = 3, alphaBitFields = 6;
    const bool rawRows = header.compression == uncompressed || header.compression == bitFields ||
                         header.compression == alphaBitFields;
    if (!rawRows)
        return header.dataOffset + header.imageSize;
    const qint64 rowBytes = (qAbs(header.width) * header.bitsPerPixel + 31) / 32 * 4;
    const qint64 pixelBytes = saturatedProduct(rowBytes, qAbs(header.height));
    return pixelBytes > std::numeric_limits<qint64>::max() - header.dataOffset
               ? std::numeric_limits<qint64>::max()
               : header.dataOffset + pixelBytes;
}

constexpr quint32 runLength8 = 1, runLength4 = 2;

// How many palette entries a BMP of at most 8 bits declares, and how many fit between its
// header and its pixels.
qint64 declaredPaletteEntries(const BmpHeader& header)
{
    return header.coloursUsed == 0 ? qint64(1) << header.bitsPerPixel : qint64(header.coloursUsed);
}

qint64 fittingPaletteEntries(const BmpHeader& header)
{
    return qMax(qint64(0), (header.dataOffset - 14 - qint64(header.infoSize)) / 4);
}

// The BMP that Windows 95 shows as a screen as it is: Windows' own header, uncompressed,
// 8 bits per pixel, 320 x 400 pixels stored bottom-up, its palette whole before its pixels.
// Such a file is written over a system file with the very bytes it has; one whose palette
// runs into its pixels is read as its header places them and written anew, so that what
// Bootvane shows is what goes on the drive.
bool isPlainScreenBmp(const BmpHeader& header, qint64 fileSize)
{
    // A screen is 129,078 bytes; more is some tool's trailing junk, not worth carrying.
    constexpr qint64 largestPlainScreen = 256 * 1024;
    return header.infoSize == 40 && header.width == 320 && header.height == 400 &&
           header.bitsPerPixel == 8 && header.compression == 0 && fileSize <= largestPlainScreen &&
           declaredPaletteEntries(header) <= fittingPaletteEntries(header);
}

bool isRunLengthCoded(const BmpHeader& header)
{
    return (header.compression == runLength8 && header.bitsPerPixel == 8) ||
           (header.compression == runLength4 && header.bitsPerPixel == 4);
}

const QString damagedCode =
    QStringLiteral("the file is damaged: its pixels end before the picture does");

// Decodes a run-length coded BMP. Qt's reader leaves the pixels that the code skips (with
// a jump or an early end of row) as whatever memory held, so one file read twice gave two
// pictures; here they are colour 0, the background. It also fills the picture up silently
// when the code stops early, and the header need not give the code's length: a code that
// the end of the file cuts before the end mark and the last row is refused as damaged.
QImage decodeRunLength(QIODevice& file, const BmpHeader& header, const QString& path)
{
    constexpr qint64 largestSide = std::numeric_limits<int>::max();
    if (header.width < 1 || header.height == 0 || qAbs(header.height) > largestSide ||
        header.width > largestSide) {
        fail(readOperation, path,
             QStringLiteral("it is not a picture that can be read (its size is %1 x %2 pixels)")
                 .arg(header.width)
                 .arg(header.height));
    }
    // The palette has the entries the header gives, as far as they fit before the pixels.
    const qint64 paletteAt = 14 + qint64(header.infoSize);
    const qint64 declared =
        header.coloursUsed == 0 || header.coloursUsed > quint32(1 << header.bitsPerPixel)
            ? 1 << header.bitsPerPixel
            : qint64(header.coloursUsed);
    const int paletteSize =
        int(qBound(qint64(0), qMin(declared, (header.dataOffset - paletteAt) / 4), qint64(256)));
    if (!file.seek(paletteAt))
        fail(readOperation, path, file.errorString());
    const QByteArray paletteBytes = file.read(qint64(paletteSize) * 4);
    if (paletteBytes.size() < qint64(paletteSize) * 4)
        fail(readOperation, path, QStringLiteral("the file is damaged: its palette is cut short"));
    QList<QRgb> palette;
    for (int i = 0; i < paletteSize; ++i)
        palette.append(qRgb(uchar(paletteBytes[4 * i + 2]), uchar(paletteBytes[4 * i + 1]),
                            uchar(paletteBytes[4 * i])));

    const int width = int(qAbs(header.width));
    const int height = int(qAbs(header.height));
    // No sane code takes more than two bytes a pixel and two a row; a longer one is not read,
    // whatever size the file has.
    const qint64 longestCode = saturatedProduct(2 * qint64(width) + 2, height) + 2;
    if (!file.seek(header.dataOffset))
        fail(readOperation, path, file.errorString());
    // Reading reserves what it is asked for: never more than the file holds.
    const QByteArray code =
        file.read(qMin(longestCode, qMax(qint64(0), file.size() - header.dataOffset)));
    if (readFailed(file))
        fail(readOperation, path, file.errorString());
    const bool codeCut = file.size() - header.dataOffset > code.size();
    // Zeroed memory, as the system gives it: the pages the code never paints cost nothing,
    // where a code of a few bytes may declare 256 MiB of background.
    const qsizetype bytesPerLine = (qsizetype(width) + 3) / 4 * 4;
    auto* pixels = static_cast<uchar*>(std::calloc(size_t(bytesPerLine), size_t(height)));
    QImage picture = pixels ? QImage(pixels, width, height, bytesPerLine, QImage::Format_Indexed8,
                                     std::free, pixels)
                            : QImage();
    if (picture.isNull()) {
        std::free(pixels);
        fail(readOperation, path, QStringLiteral("there is not enough memory for the picture"));
    }
    picture.setColorTable(palette);
    picture.setDotsPerMeterX(header.dotsPerMeterX);
    picture.setDotsPerMeterY(header.dotsPerMeterY);

    const bool topDown = header.height < 0;
    qint64 x = 0;
    qint64 y = 0; // rows in the order of the code
    int highest = 0;
    auto put = [&](uchar index) {
        if (x < width && y < height) {
            picture.scanLine(int(topDown ? y : height - 1 - y))[x] = index;
            highest = qMax(highest, int(index));
        }
        ++x;
    };
    const bool fourBits = header.compression == runLength4;
    const auto endOfCode = [&] {
        if (codeCut)
            fail(readOperation, path,
                 QStringLiteral("it is not a picture that can be read (its run-length code is "
                                "longer than any picture of its size needs)"));
        fail(readOperation, path, damagedCode);
    };
    qsizetype at = 0;
    while (y < height) {
        if (at + 2 > code.size())
            endOfCode();
        const uchar count = uchar(code[at]);
        const uchar command = uchar(code[at + 1]);
        at += 2;
        if (count > 0) { // count pixels of one colour, or of two alternating ones
            for (int i = 0; i < count; ++i)
                put(fourBits ? (i % 2 == 0 ? command >> 4 : command & 0x0f) : command);
        } else if (command == 0) { // end of a row
            x = 0;
            ++y;
        } else if (command == 1) { // end of the picture
            break;
        } else if (command == 2) { // a jump right and up
            if (at + 2 > code.size())
                endOfCode();
            x += uchar(code[at]);
            y += uchar(code[at + 1]);
            at += 2;
        } else { // command pixels given one by one, padded to an even number of bytes
            const qsizetype bytes = fourBits ? (command + 1) / 2 : command;
            if (at + bytes > code.size())
                endOfCode();
            for (int i = 0; i < command; ++i) {
                const uchar byte = uchar(code[at + (fourBits ? i / 2 : i)]);
                put(fourBits ? (i % 2 == 0 ? byte >> 4 : byte & 0x0f) : byte);
            }
            at += bytes + (bytes & 1);
        }
    }
    // Indexes beyond the palette show black, as coverEveryIndex has them for Qt's pictures.
    // It would scan every pixel, and a code of a few bytes can make 256 MiB of them.
    if (!palette.isEmpty() && highest >= palette.size()) {
        palette.resize(highest + 1, qRgb(0, 0, 0));
        picture.setColorTable(palette);
    }
    return picture;
}

// What Qt lets one picture take in memory, in bytes; none when the limit was switched off.
std::optional<qint64> allocationLimit()
{
    const int megabytes = QImageReader::allocationLimit();
    if (megabytes <= 0)
        return std::nullopt;
    return qint64(megabytes) * 1024 * 1024;
}

void refuseOversized(qint64 width, qint64 height, int bytesPerPixel, const QString& path)
{
    const std::optional<qint64> limit = allocationLimit();
    const qint64 bytesToHold = saturatedProduct(saturatedProduct(width, height), bytesPerPixel);
    if (limit && bytesToHold > *limit) {
        fail(readOperation, path,
             QStringLiteral("the picture is too large to load (%1 x %2 pixels; the largest "
                            "Bootvane loads in this format is %3 megapixels)")
                 .arg(width)
                 .arg(height)
                 .arg(*limit / bytesPerPixel / 1000000));
    }
}

// No screen, box or view shows more of a picture than this, so a photo larger than it is
// decoded at a fraction of its size where its format does that cheaply: libjpeg decodes a
// half, a quarter or an eighth of each side of a JPEG for a fraction of the work and memory.
constexpr qint64 largestDecodedPixels = 16 * 1000 * 1000;
// The largest photos a camera makes; a JPEG that claims more is refused before decoding.
constexpr qint64 largestPhotoPixels = 200 * 1000 * 1000;
// A progressive JPEG keeps every coefficient of the whole picture in memory (about three bytes
// a pixel), whatever the scale it is decoded at: above this it is refused.
constexpr qint64 largestProgressivePixels = 48 * 1000 * 1000;

// Whether the JPEG in file from start is progressive (SOF2, SOF6, SOF10, SOF14), as the frame
// header libjpeg takes says. It is looked for as libjpeg does: past every segment before it,
// however long, and past any byte that is no marker. Every byte is hostile; a file in which
// none can be found counts as progressive, which is refused sooner. The file is left where it
// was.
bool isProgressiveJpeg(QIODevice& file, qint64 start)
{
    const qint64 was = file.pos();
    const auto back = qScopeGuard([&] { file.seek(was); });
    if (file.isSequential() || !file.seek(start))
        return true;
    uchar byte = 0;
    const auto next = [&] {
        char c = 0;
        const bool read = file.getChar(&c);
        byte = uchar(c);
        return read;
    };
    if (!next() || byte != 0xff || !next() || byte != 0xd8)
        return true;
    for (;;) {
        do { // anything before the next 0xFF, then its fill bytes
            if (!next())
                return true;
        } while (byte != 0xff);
        do {
            if (!next())
                return true;
        } while (byte == 0xff);
        const uchar marker = byte;
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7))
            continue; // no segment follows
        if (marker == 0xd8 || marker == 0xd9 || marker == 0xda)
            return true; // no frame before the image ends or its data begins
        const bool frame =
            marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame)
            return marker == 0xc2 || marker == 0xc6 || marker == 0xca || marker == 0xce;
        if (!next())
            return true;
        qint64 length = qint64(byte) << 8;
        if (!next())
            return true;
        length |= byte;
        if (length < 2 || !file.seek(file.pos() + length - 2))
            return true;
    }
}

// A BMP may use palette indexes beyond its palette. Qt shows them black, but some of its
// own code (comparing two pictures, for one) then reads past the colour table; the table is
// made to cover every index, with the black they show.
void coverEveryIndex(QImage& picture)
{
    if (picture.format() != QImage::Format_Indexed8 || picture.colorCount() == 0 ||
        picture.colorCount() >= 256)
        return;
    int highest = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const uchar* line = picture.constScanLine(y);
        for (int x = 0; x < picture.width(); ++x)
            highest = qMax(highest, int(line[x]));
    }
    if (highest >= picture.colorCount()) {
        QList<QRgb> table = picture.colorTable();
        table.resize(highest + 1, qRgb(0, 0, 0));
        picture.setColorTable(table);
    }
}

// An OS/2 1.x BMP rewritten with the Windows header. Its palette has as many entries as fit
// before the pixels, but Qt reads a full one whatever the header leaves room for, and so
// takes palette entries for pixels: every row came out shifted, the last one unfinished.
QByteArray asWindowsBmp(QIODevice& file, const BmpHeader& header, const QString& path)
{
    constexpr qint64 coreHeaderEnd = 14 + 12;
    const int paletteSize = header.bitsPerPixel > 8
                                ? 0
                                : int(qBound(qint64(0), (header.dataOffset - coreHeaderEnd) / 3,
                                             qint64(1) << header.bitsPerPixel));
    const qint64 pixelBytes = bmpBytesNeeded(header) - header.dataOffset;
    const QByteArray palette = file.peek(coreHeaderEnd + 3 * paletteSize).mid(coreHeaderEnd);
    if (!file.seek(header.dataOffset))
        fail(readOperation, path, file.errorString());
    const QByteArray pixels = file.read(pixelBytes);
    if (readFailed(file))
        fail(readOperation, path, file.errorString());

    const qint64 dataOffset = 14 + 40 + 4 * qint64(paletteSize);
    QByteArray bytes(dataOffset, '\0');
    char* out = bytes.data();
    out[0] = 'B';
    out[1] = 'M';
    qToLittleEndian<quint32>(quint32(dataOffset + pixels.size()), out + 2);
    qToLittleEndian<quint32>(quint32(dataOffset), out + 10);
    qToLittleEndian<quint32>(40, out + 14);
    qToLittleEndian<qint32>(qint32(header.width), out + 18);
    qToLittleEndian<qint32>(qint32(header.height), out + 22);
    qToLittleEndian<quint16>(1, out + 26);
    qToLittleEndian<quint16>(quint16(header.bitsPerPixel), out + 28);
    qToLittleEndian<quint32>(quint32(paletteSize), out + 46);
    // Entry by entry: three bytes each here, four in a Windows palette.
    for (int i = 0; i < paletteSize && 3 * i + 2 < palette.size(); ++i) {
        for (int channel = 0; channel < 3; ++channel)
            out[54 + 4 * i + channel] = palette[3 * i + channel];
    }
    return bytes + pixels;
}

// A Windows BMP whose palette, as its header declares it, runs into the pixels. Qt reads the
// whole declared palette and then the pixels from where it stopped, so every row came out
// shifted; the copy it gets declares only the entries that fit.
std::optional<QByteArray> withPaletteThatFits(QIODevice& file, const BmpHeader& header,
                                              const QString& path)
{
    if (header.infoSize < 40 || header.bitsPerPixel > 8 || header.compression != 0)
        return std::nullopt;
    const qint64 fits = fittingPaletteEntries(header);
    if (declaredPaletteEntries(header) <= fits)
        return std::nullopt;
    QByteArray bytes = file.read(bmpBytesNeeded(header));
    if (readFailed(file))
        fail(readOperation, path, file.errorString());
    qToLittleEndian<quint32>(quint32(fits), bytes.data() + 46);
    return bytes;
}

// The BMPs Qt misreads, rewritten so that it reads them right; nothing for the others.
std::optional<QByteArray> rewrittenForQt(QIODevice& file, const std::optional<BmpHeader>& bmp,
                                         const QString& path)
{
    if (!bmp)
        return std::nullopt;
    if (bmp->infoSize == 12)
        return asWindowsBmp(file, *bmp, path);
    return withPaletteThatFits(file, *bmp, path);
}

QImage readWithQt(QIODevice& file, const QString& path)
{
    const qint64 start = file.pos(); // before the reader moves through the file
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    QSize decoded = size;
    if (size.isValid()) {
        if (reader.format() == "jpeg") {
            const qint64 pixels = qint64(size.width()) * size.height();
            const bool progressive = isProgressiveJpeg(file, start);
            const qint64 largest = progressive ? largestProgressivePixels : largestPhotoPixels;
            if (pixels > largest)
                fail(readOperation, path,
                     QStringLiteral("the photo is too large to load (%1 x %2 pixels; the largest "
                                    "Bootvane loads is %3 megapixels%4)")
                         .arg(size.width())
                         .arg(size.height())
                         .arg(largest / 1000000)
                         .arg(progressive ? QStringLiteral(" for a progressive JPEG") : QString()));
            // Halves rounded down: Qt's reader lets libjpeg decode at a half only where each
            // side is at least twice the size asked for, and decoded an odd-sized photo whole.
            while (qint64(decoded.width()) * decoded.height() > largestDecodedPixels)
                decoded = QSize(qMax(1, decoded.width() / 2), qMax(1, decoded.height() / 2));
            if (decoded != size)
                reader.setScaledSize(decoded);
        }
        // A 16-bit PNG, for one, takes 8 bytes a pixel.
        const QImage::Format format = reader.imageFormat();
        const int bits =
            format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
        refuseOversized(decoded.width(), decoded.height(), qMax(1, bits / 8), path);
    }

    QImage picture = reader.read();
    if (!picture.isNull()) {
        picture.setText(QLatin1String(storedFormKey), QString::fromLatin1(reader.format()));
        picture.setText(QLatin1String(decodedFromKey),
                        decoded == size
                            ? QString()
                            : QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
    }
    if (picture.isNull()) {
        if (readFailed(file))
            fail(readOperation, path, file.errorString());
        fail(readOperation, path,
             QStringLiteral("it is not a picture that can be read (%1)").arg(reader.errorString()));
    }
    coverEveryIndex(picture);
    return picture;
}

} // namespace

namespace {

QImage decode(QIODevice& file, const QString& path, QByteArray* bytesAsTheyAre)
{
    const QByteArray head = file.peek(bmpHeaderBytes);
    if (readFailed(file))
        fail(readOperation, path, file.errorString());

    // Sizes are checked from the header before anything is decoded, so that a file that
    // claims a huge picture costs nothing. Qt's own BMP reader does not even report the
    // size of a picture this large, so the BMP header is read here.
    const std::optional<BmpHeader> bmp = readBmpHeader(head);
    if (bmp) {
        refuseOversized(qAbs(bmp->width), qAbs(bmp->height), bmp->bitsPerPixel <= 8 ? 1 : 4, path);
        if (bmp->dataOffset < 14 + qint64(bmp->infoSize))
            fail(readOperation, path,
                 QStringLiteral("the file is damaged: its pixels start inside its header"));
        if (file.size() < bmpBytesNeeded(*bmp)) {
            fail(readOperation, path,
                 QStringLiteral("the file is damaged: it is shorter than its header says"));
        }
    }
    QImage picture;
    if (bytesAsTheyAre && bmp && isPlainScreenBmp(*bmp, file.size())) {
        // Read once: the picture is decoded from the very bytes that will be written.
        *bytesAsTheyAre = file.read(file.size());
        if (readFailed(file))
            fail(readOperation, path, file.errorString());
        QBuffer buffer(bytesAsTheyAre);
        buffer.open(QIODevice::ReadOnly);
        picture = readWithQt(buffer, path);
    } else if (bmp && isRunLengthCoded(*bmp)) {
        picture = decodeRunLength(file, *bmp, path);
    } else if (std::optional<QByteArray> rewritten = rewrittenForQt(file, bmp, path)) {
        QBuffer buffer(&*rewritten);
        buffer.open(QIODevice::ReadOnly);
        picture = readWithQt(buffer, path);
    } else {
        picture = readWithQt(file, path);
    }
    if (bmp) {
        picture.setText(QLatin1String(storedFormKey),
                        QLatin1String(isPlainScreenBmp(*bmp, file.size()) ? screenBmpForm
                                      : isRunLengthCoded(*bmp)            ? runLengthForm
                                                                          : "bmp"));
    }
    // Only a BMP has the field; what another format's own text says is not taken for it.
    const QString key = QLatin1String(bmpImportantColoursKey);
    if (bmp && bmp->importantColours)
        picture.setText(key, QString::number(*bmp->importantColours));
    else if (!picture.text(key).isNull())
        picture.setText(key, QString());
    // A file's own text must never pass for the mark of a built-in screen, which applying
    // turns into removing the system file.
    if (!picture.text(QLatin1String(builtInScreenKey)).isNull())
        picture.setText(QLatin1String(builtInScreenKey), QString());
    return picture;
}

} // namespace

QImage loadPicture(const QString& path, QByteArray* bytesAsTheyAre)
{
    if (bytesAsTheyAre)
        bytesAsTheyAre->clear();
    if (path.isEmpty())
        return {};
    QFile file;
    openPlainFile(file, path, readOperation,
                  QStringLiteral("it is a device, pipe or socket, not a picture file"));
    return decode(file, path, bytesAsTheyAre);
}

QImage decodePicture(const QByteArray& bytes, const QString& name, QByteArray* bytesAsTheyAre)
{
    if (bytesAsTheyAre)
        bytesAsTheyAre->clear();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return decode(buffer, name, bytesAsTheyAre);
}

QImage loadPictureWithBytes(const QString& path, QByteArray& bytes)
{
    QFile file;
    openPlainFile(file, path, readOperation,
                  QStringLiteral("it is a device, pipe or socket, not a picture file"));
    bytes = file.readAll();
    if (readFailed(file))
        fail(readOperation, path, file.errorString());
    return decodePicture(bytes, path);
}

void savePicture(const QImage& picture, const QString& path)
{
    if (picture.isNull())
        fail(QStringLiteral("write the picture"), path,
             QStringLiteral("there is no picture to write"));
    replaceFileAtomically(path, encodeBmp(picture));
}

QSize pictureSize(const QImage& picture)
{
    const QStringList size = picture.text(QLatin1String(decodedFromKey)).split(QLatin1Char('x'));
    if (size.size() == 2 && size[0].toInt() > 0 && size[1].toInt() > 0)
        return {size[0].toInt(), size[1].toInt()};
    return picture.size();
}

qint64 pictureHandle(const QImage& picture)
{
    return picture.isNull() ? 0 : picture.cacheKey();
}

} // namespace bootvane
