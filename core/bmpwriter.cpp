#include "picture.h"

#include <QHash>
#include <QtEndian>
#include <cstring>

// Writing BMP files that Windows 95 shows as screens; the rest of picture.h is picture.cpp.

namespace bootvane {

namespace {

class BmpWriter {
public:
    explicit BmpWriter(const QImage& picture) : m_picture(picture) {}

    QByteArray encode()
    {
        if (isIndexed() || collectPalette())
            return encodeIndexed();
        return encodeTrueColour();
    }

private:
    bool isIndexed() const
    {
        const QImage::Format format = m_picture.format();
        return format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
               format == QImage::Format_MonoLSB;
    }

    // Builds a palette in order of first appearance when the picture has at most 256
    // colours, and tells whether it had.
    bool collectPalette()
    {
        m_rgb = m_picture.convertToFormat(QImage::Format_RGB32);
        QHash<QRgb, uchar> indexOf;
        QRgb last = 0;
        bool haveLast = false;
        for (int y = 0; y < m_rgb.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(m_rgb.constScanLine(y));
            for (int x = 0; x < m_rgb.width(); ++x) {
                const QRgb colour = line[x] | 0xff000000u;
                if (haveLast && colour == last)
                    continue;
                last = colour;
                haveLast = true;
                if (indexOf.contains(colour))
                    continue;
                if (m_palette.size() == 256)
                    return false;
                indexOf.insert(colour, uchar(m_palette.size()));
                m_palette.append(colour);
            }
        }
        m_indexOf = std::move(indexOf);
        return true;
    }

    void writeHeaders(QByteArray& out, int bitsPerPixel, qint64 rowBytes, int paletteSize) const
    {
        const qint64 dataOffset = 14 + 40 + qint64(paletteSize) * 4;
        const qint64 imageBytes = rowBytes * m_picture.height();
        auto put16 = [&out](quint16 v) {
            v = qToLittleEndian(v);
            out.append(reinterpret_cast<const char*>(&v), 2);
        };
        auto put32 = [&out](quint32 v) {
            v = qToLittleEndian(v);
            out.append(reinterpret_cast<const char*>(&v), 4);
        };
        out.append("BM", 2);
        put32(quint32(dataOffset + imageBytes));
        put32(0);
        put32(quint32(dataOffset));
        put32(40);
        put32(quint32(m_picture.width()));
        put32(quint32(m_picture.height()));
        put16(1);
        put16(quint16(bitsPerPixel));
        put32(0); // uncompressed
        put32(quint32(imageBytes));
        put32(quint32(qMax(0, m_picture.dotsPerMeterX())));
        put32(quint32(qMax(0, m_picture.dotsPerMeterY())));
        put32(0); // every palette entry is used
        put32(m_picture.text(QLatin1String(bmpImportantColoursKey)).toUInt());
    }

    // The colour each index shows, as Qt itself draws the picture: a picture without a
    // table is grey levels, or black and white, and a mono picture with one colour has white
    // for its second. Indexes beyond the table show black, as the padding gives them.
    QList<QRgb> shownPalette() const
    {
        QList<QRgb> table = m_picture.colorTable();
        if (m_picture.format() != QImage::Format_Indexed8) {
            if (table.isEmpty())
                table.append(qRgb(0, 0, 0));
            if (table.size() < 2)
                table.append(qRgb(255, 255, 255));
        } else if (table.isEmpty()) {
            for (int i = 0; i < 256; ++i)
                table.append(qRgb(i, i, i));
        }
        return table;
    }

    QByteArray encodeIndexed() const
    {
        const bool fromTable = isIndexed();
        QList<QRgb> palette = fromTable ? shownPalette() : m_palette;
        palette.resize(256, qRgb(0, 0, 0));
        const qint64 rowBytes = (qint64(m_picture.width()) + 3) / 4 * 4;

        QByteArray out;
        out.reserve(14 + 40 + 1024 + rowBytes * m_picture.height());
        writeHeaders(out, 8, rowBytes, 256);
        for (const QRgb colour : palette) {
            const char entry[4] = {char(qBlue(colour)), char(qGreen(colour)), char(qRed(colour)),
                                   0};
            out.append(entry, 4);
        }
        QByteArray row(rowBytes, '\0');
        for (int y = m_picture.height() - 1; y >= 0; --y) {
            if (m_picture.format() == QImage::Format_Indexed8) {
                memcpy(row.data(), m_picture.constScanLine(y), size_t(m_picture.width()));
            } else if (fromTable) {
                for (int x = 0; x < m_picture.width(); ++x)
                    row[x] = char(m_picture.pixelIndex(x, y));
            } else {
                const auto* line = reinterpret_cast<const QRgb*>(m_rgb.constScanLine(y));
                for (int x = 0; x < m_picture.width(); ++x)
                    row[x] = char(m_indexOf.value(line[x] | 0xff000000u));
            }
            out.append(row);
        }
        return out;
    }

    QByteArray encodeTrueColour() const
    {
        const qint64 rowBytes = (qint64(m_picture.width()) * 3 + 3) / 4 * 4;
        QByteArray out;
        out.reserve(14 + 40 + rowBytes * m_picture.height());
        writeHeaders(out, 24, rowBytes, 0);
        QByteArray row(rowBytes, '\0');
        for (int y = m_picture.height() - 1; y >= 0; --y) {
            const auto* line = reinterpret_cast<const QRgb*>(m_rgb.constScanLine(y));
            for (int x = 0; x < m_picture.width(); ++x) {
                row[3 * x] = char(qBlue(line[x]));
                row[3 * x + 1] = char(qGreen(line[x]));
                row[3 * x + 2] = char(qRed(line[x]));
            }
            out.append(row);
        }
        return out;
    }

    const QImage& m_picture;
    QImage m_rgb;
    QList<QRgb> m_palette;
    QHash<QRgb, uchar> m_indexOf;
};

} // namespace

QByteArray encodeBmp(const QImage& picture)
{
    return BmpWriter(picture).encode();
}

} // namespace bootvane
