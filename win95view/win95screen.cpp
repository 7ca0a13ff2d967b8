#include "win95screen.h"

#include "builtinscreen.h"
#include "error.h"
#include "picture.h"
#include "screenformat.h"

namespace bootvane {

Win95Screen::Win95Screen(const QImage& picture, const ScreenSlot& slot)
{
    if (isBuiltInScreen(picture)) {
        m_builtIn = picture.convertToFormat(QImage::Format_RGB32);
        return;
    }
    const QImage written = screenAsWritten(picture);
    // Read back from the very bytes that go over the system file: only there does a
    // picture that is not indexed get the palette order and indexes Windows will see.
    m_indexes = QImage::fromData(encodeBmp(written), "BMP");
    if (m_indexes.format() != QImage::Format_Indexed8) {
        fail(QStringLiteral("show the screen as Windows 95 does"), QString(),
             QStringLiteral("there is not enough memory"));
    }
    QList<QRgb> table = m_indexes.colorTable();
    table.resize(windowsPaletteSize, qRgb(0, 0, 0));
    m_palette.reserve(windowsPaletteSize);
    for (const QRgb colour : std::as_const(table))
        m_palette.append(vgaColour(colour));
    // A single entry has nothing to trade places with.
    const int first = slot.cyclesColours ? cyclingStart(written) : 0;
    m_firstCycling = first < windowsPaletteSize - 1 ? first : 0;
}

QList<QRgb> Win95Screen::palette(qint64 steps) const
{
    if (!cycles())
        return m_palette;
    const qint64 length = windowsPaletteSize - m_firstCycling;
    const qint64 shift = steps % length;
    QList<QRgb> shown = m_palette;
    for (int entry = m_firstCycling; entry < windowsPaletteSize; ++entry)
        shown[entry] = m_palette[m_firstCycling + (entry - m_firstCycling + shift) % length];
    return shown;
}

QRgb vgaColour(QRgb colour)
{
    auto sixBits = [](int channel) { return (channel & 0xfc) | (channel >> 6); };
    return qRgb(sixBits(qRed(colour)), sixBits(qGreen(colour)), sixBits(qBlue(colour)));
}

} // namespace bootvane
