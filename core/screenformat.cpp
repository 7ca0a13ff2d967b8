#include "screenformat.h"

#include "builtinscreen.h"
#include "error.h"
#include "picture.h"
#include "picturescaling.h"

#include <QPainter>
#include <QSet>
#include <libimagequant.h>
#include <memory>
#include <vector>

namespace bootvane {

namespace {

// The 4:3 screen on which Windows 95 shows its 320 x 400 screens, in square pixels.
constexpr QSize shownSize(640, 480);

bool isIndexed(const QImage& picture)
{
    const QImage::Format format = picture.format();
    return format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
           format == QImage::Format_MonoLSB;
}

// How many colours the picture has, counted up to limit + 1.
int colourCount(const QImage& picture, int limit)
{
    if (isIndexed(picture))
        return qMax(picture.colorCount(), picture.format() == QImage::Format_Indexed8 ? 1 : 2);
    // A band at a time: a photo has passed the limit within its first rows, and a whole
    // copy in true colour would cost more than the count.
    constexpr int bandHeight = 64;
    QSet<QRgb> seen;
    for (int top = 0; top < picture.height(); top += bandHeight) {
        const QImage band =
            picture.copy(0, top, picture.width(), bandHeight).convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < band.height() && top + y < picture.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(band.constScanLine(y));
            for (int x = 0; x < band.width(); ++x) {
                seen.insert(line[x] | 0xff000000u);
                if (seen.size() > limit)
                    return limit + 1;
            }
        }
    }
    return int(seen.size());
}

// The size the picture takes on the 320 x 400 screen once fitted, in the screen's pixels,
// which show twice as wide as they are tall, before the 4:3 fit.
QSize fittedSize(QSize source)
{
    // A picture of the screen's own size was made for it (only its colours are too many).
    if (source == windowsScreenSize)
        return source;
    const double scale = qMin(double(shownSize.width()) / source.width(),
                              double(shownSize.height()) / source.height());
    return {
        qBound(1, qRound(source.width() * scale * windowsScreenSize.width() / shownSize.width()),
               windowsScreenSize.width()),
        qBound(1, qRound(source.height() * scale * windowsScreenSize.height() / shownSize.height()),
               windowsScreenSize.height())};
}

struct LiqDeleter {
    void operator()(liq_attr* attr) const { liq_attr_destroy(attr); }
    void operator()(liq_image* image) const { liq_image_destroy(image); }
    void operator()(liq_result* result) const { liq_result_destroy(result); }
};
template <typename T> using LiqPointer = std::unique_ptr<T, LiqDeleter>;

[[noreturn]] void conversionFailed(liq_error error)
{
    fail(QStringLiteral("convert the picture"), QString(),
         error == LIQ_OUT_OF_MEMORY
             ? QStringLiteral("there is not enough memory")
             : QStringLiteral("the quantiser refused it (error %1)").arg(int(error)));
}

} // namespace

QImage quantisedForVga(const QImage& screen, int colours)
{
    QImage rgba = screen.convertToFormat(QImage::Format_RGBA8888);
    LiqPointer<liq_attr> attr(liq_attr_create());
    if (!attr)
        conversionFailed(LIQ_OUT_OF_MEMORY);
    liq_set_max_colors(attr.get(), colours);
    // The VGA keeps 6 bits of each channel: finer steps would be lost on the way, so the
    // quantiser spends its colours on differences the screen can show.
    liq_set_min_posterization(attr.get(), 2);

    std::vector<void*> rows(size_t(rgba.height()));
    for (int y = 0; y < rgba.height(); ++y)
        rows[size_t(y)] = rgba.scanLine(y);
    LiqPointer<liq_image> image(
        liq_image_create_rgba_rows(attr.get(), rows.data(), rgba.width(), rgba.height(), 0));
    if (!image)
        conversionFailed(LIQ_OUT_OF_MEMORY);
    liq_result* rawResult = nullptr;
    if (const liq_error error = liq_image_quantize(image.get(), attr.get(), &rawResult);
        error != LIQ_OK)
        conversionFailed(error);
    LiqPointer<liq_result> result(rawResult);
    liq_set_dithering_level(result.get(), 1.0f);

    QImage indexed(rgba.size(), QImage::Format_Indexed8);
    if (indexed.isNull())
        conversionFailed(LIQ_OUT_OF_MEMORY);
    std::vector<unsigned char*> indexRows(size_t(indexed.height()));
    for (int y = 0; y < indexed.height(); ++y)
        indexRows[size_t(y)] = indexed.scanLine(y);
    if (const liq_error error =
            liq_write_remapped_image_rows(result.get(), image.get(), indexRows.data());
        error != LIQ_OK)
        conversionFailed(error);

    // Read after remapping, which may still refine the palette.
    const liq_palette* palette = liq_get_palette(result.get());
    QList<QRgb> table;
    for (unsigned i = 0; i < palette->count; ++i)
        table.append(qRgb(palette->entries[i].r, palette->entries[i].g, palette->entries[i].b));
    indexed.setColorTable(table);
    return indexed;
}

bool showableAsIs(const QImage& picture)
{
    return !picture.isNull() && !isBuiltInScreen(picture) && picture.size() == windowsScreenSize &&
           colourCount(picture, windowsPaletteSize) <= windowsPaletteSize;
}

QRect areaOnScreen(QSize size, QSize box)
{
    const QSize fitted = fittedSize(size);
    if (fitted == windowsScreenSize)
        return QRect(QPoint(0, 0), box);
    const QSize area(
        qMax(1, qRound(double(box.width()) * fitted.width() / windowsScreenSize.width())),
        qMax(1, qRound(double(box.height()) * fitted.height() / windowsScreenSize.height())));
    return {QPoint((box.width() - area.width()) / 2, (box.height() - area.height()) / 2), area};
}

QImage fitToScreen(const QImage& picture)
{
    const QRect area = areaOnScreen(picture.size(), windowsScreenSize);
    const QImage scaled = scaledSmoothly(picture, area.size());
    if (area.size() == windowsScreenSize && !scaled.hasAlphaChannel())
        return scaled;
    QImage screen(windowsScreenSize, QImage::Format_RGB32);
    if (screen.isNull())
        conversionFailed(LIQ_OUT_OF_MEMORY);
    screen.fill(Qt::black);
    QPainter painter(&screen);
    painter.drawImage(area.topLeft(), scaled);
    return screen;
}

QImage overBlack(const QImage& picture)
{
    if (!picture.hasAlphaChannel())
        return picture;
    if (picture.format() == QImage::Format_Indexed8) {
        // Blended entry by entry, so that the pixels keep their indexes and the palette its order.
        QImage opaque = picture;
        QList<QRgb> table = opaque.colorTable();
        for (QRgb& colour : table) {
            const int alpha = qAlpha(colour);
            colour = qRgb(qRed(colour) * alpha / 255, qGreen(colour) * alpha / 255,
                          qBlue(colour) * alpha / 255);
        }
        opaque.setColorTable(table);
        return opaque;
    }
    QImage opaque(picture.size(), QImage::Format_RGB32);
    if (opaque.isNull())
        conversionFailed(LIQ_OUT_OF_MEMORY);
    opaque.fill(Qt::black);
    {
        QPainter painter(&opaque);
        painter.drawImage(0, 0, picture);
    }
    for (const QString& key : picture.textKeys())
        opaque.setText(key, picture.text(key));
    return opaque;
}

QImage screenAsWritten(const QImage& picture)
{
    // Windows shows no transparency: what a transparent pixel hides is no part of the screen.
    const QImage opaque = overBlack(picture);
    return showableAsIs(opaque) ? opaque : quantisedForVga(fitToScreen(opaque));
}

int cyclingStart(const QImage& picture)
{
    return int(picture.text(QLatin1String(bmpImportantColoursKey)).toUInt() & 0xff);
}

QString describeScreen(const QImage& picture, const ScreenSlot& slot, ScreenPlace place,
                       const QString& windows)
{
    if (picture.isNull())
        return {};
    if (isBuiltInScreen(picture)) {
        const QString folder = folderInPlace(picture);
        return QStringLiteral("No %1: %2%3")
            .arg(QLatin1String(slot.setFileName),
                 folder.isEmpty()
                     ? QString()
                     : QStringLiteral("a folder, %1, stands where the file would be, and ")
                           .arg(folder),
                 QString::fromLatin1(slot.builtInBehaviour).arg(windows));
    }

    const int colours = colourCount(picture, windowsPaletteSize);
    const QSize size = pictureSize(picture);
    QString text = QStringLiteral("%1 x %2, ").arg(size.width()).arg(size.height());
    if (colours > windowsPaletteSize)
        text += QStringLiteral("true colour");
    else
        text +=
            colours == 1 ? QStringLiteral("1 colour") : QStringLiteral("%1 colours").arg(colours);
    // A picture of the right size and colours still goes over a system file as it is only
    // when its file is the BMP Windows reads: any other is written anew when applied.
    const QString form = picture.text(QLatin1String(storedFormKey));
    const bool bytesAsTheyAre = form.isEmpty() || form == QLatin1String(screenBmpForm);
    const bool bmp = form == QLatin1String("bmp") || form == QLatin1String(runLengthForm);
    if (form == QLatin1String(runLengthForm))
        text += QStringLiteral(", run-length coded");
    else if (!bytesAsTheyAre && !bmp)
        text += QStringLiteral(", ") + form.toUpper();
    const bool showable = showableAsIs(picture);
    if (showable && slot.cyclesColours && cyclingStart(picture) != 0)
        text += QStringLiteral(", colours cycle from entry %1").arg(cyclingStart(picture));

    if (showable && bytesAsTheyAre)
        return text + QStringLiteral(": %1 shows it as it is").arg(windows);
    if (place == ScreenPlace::InOriginals)
        return text + QStringLiteral(": restored byte for byte, as the drive had it");
    // Only a BMP can be a screen, and what Windows makes of another kind of BMP is not known.
    if (place == ScreenPlace::OnDrive)
        return text + (showable && bmp ? QStringLiteral(": %1 may not show this kind of BMP")
                                       : QStringLiteral(": %1 cannot show the file on the drive"))
                          .arg(windows);
    if (showable)
        return text + QStringLiteral(": written anew as an uncompressed 8-bit BMP when applied");
    return text + QStringLiteral(": converted to %1 x %2, %3 colours when applied")
                      .arg(windowsScreenSize.width())
                      .arg(windowsScreenSize.height())
                      .arg(windowsPaletteSize);
}

} // namespace bootvane
