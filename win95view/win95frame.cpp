#include "win95frame.h"

#include "error.h"
#include "screenformat.h"

#include <vector>

namespace bootvane {

namespace {

[[noreturn]] void noMemoryForFrame()
{
    fail(QStringLiteral("show the screen as Windows 95 does"), QString(),
         QStringLiteral("there is not enough memory"));
}

// For each of count frame pixels along one side, the screen pixel under its centre.
std::vector<int> pixelsUnderCentres(int count, int screenPixels)
{
    std::vector<int> under(count);
    for (int i = 0; i < count; ++i)
        under[i] = int((2 * qint64(i) + 1) * screenPixels / (2 * qint64(count)));
    return under;
}

} // namespace

Win95Frame::Win95Frame(const Win95Screen& screen, QSize size) : m_screen(screen)
{
    if (size.isEmpty())
        return;
    m_image = QImage(size, QImage::Format_RGB32);
    if (m_image.isNull())
        noMemoryForFrame();
    const QImage& builtIn = screen.builtIn();
    const QImage& shown = builtIn.isNull() ? screen.indexes() : builtIn;
    const std::vector<int> columns = pixelsUnderCentres(size.width(), shown.width());
    const std::vector<int> rows = pixelsUnderCentres(size.height(), shown.height());
    if (builtIn.isNull()) {
        drawIndexed(columns, rows);
        return;
    }
    for (int y = 0; y < size.height(); ++y) {
        const auto* screenLine = reinterpret_cast<const QRgb*>(builtIn.constScanLine(rows[y]));
        auto* line = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = screenLine[columns[x]];
    }
}

void Win95Frame::drawIndexed(const std::vector<int>& columns, const std::vector<int>& rows)
{
    m_indexes = QImage(m_image.size(), QImage::Format_Grayscale8);
    if (m_indexes.isNull())
        noMemoryForFrame();
    const QImage& screen = m_screen.indexes();
    const QList<QRgb> palette = m_screen.palette(0);
    const int firstCycling = m_screen.cycles() ? m_screen.firstCycling() : windowsPaletteSize;
    int left = m_image.width(), right = -1, top = m_image.height(), bottom = -1;
    for (int y = 0; y < m_image.height(); ++y) {
        const uchar* screenLine = screen.constScanLine(rows[y]);
        uchar* indexLine = m_indexes.scanLine(y);
        auto* line = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        for (int x = 0; x < m_image.width(); ++x) {
            const uchar entry = screenLine[columns[x]];
            indexLine[x] = entry;
            line[x] = palette[entry];
            if (entry >= firstCycling) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = y;
            }
        }
    }
    if (right >= 0)
        m_cyclingArea = QRect(QPoint(left, top), QPoint(right, bottom));
}

QRect Win95Frame::showStep(qint64 steps)
{
    if (m_cyclingArea.isEmpty())
        return {};
    const QList<QRgb> palette = m_screen.palette(steps);
    const int firstCycling = m_screen.firstCycling();
    for (int y = m_cyclingArea.top(); y <= m_cyclingArea.bottom(); ++y) {
        const uchar* indexLine = m_indexes.constScanLine(y);
        auto* line = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        for (int x = m_cyclingArea.left(); x <= m_cyclingArea.right(); ++x) {
            if (indexLine[x] >= firstCycling)
                line[x] = palette[indexLine[x]];
        }
    }
    return m_cyclingArea;
}

} // namespace bootvane
