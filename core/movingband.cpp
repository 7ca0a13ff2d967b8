#include "movingband.h"

#include "picture.h"
#include "screenformat.h"

#include <cstring>

namespace bootvane {

namespace {

// Each entry paints a stripe this many of the screen's columns wide: the 20 entries then go
// round twice across the screen, and a step of the rotation moves the band 8 columns, a calm
// pace at the 18 steps a second that we guess Windows takes.
constexpr int stripeWidth = 8;

QRgb mixed(const QColor& from, const QColor& to, double share)
{
    auto channel = [share](int a, int b) { return qRound(a + (b - a) * share); };
    return qRgb(channel(from.red(), to.red()), channel(from.green(), to.green()),
                channel(from.blue(), to.blue()));
}

// The colour of the band's entry (0 to 19) on the loop around the stops, spaced evenly.
QRgb loopColour(const QList<QColor>& stops, int entry)
{
    if (stops.isEmpty())
        return qRgb(0, 0, 0);
    const double place = double(entry) * stops.size() / bandEntryCount;
    const int from = int(place);
    return mixed(stops[from], stops[(from + 1) % stops.size()], place - from);
}

// The band entry (0 to 19) of a column. Windows gives each cycling entry the colour of the
// one above it, so a colour moves to the entry below: for the band to flow right, the
// entries must count down from left to right.
int bandEntryOfColumn(int x, BandFlow flow)
{
    const int stripe = (x / stripeWidth) % bandEntryCount;
    return flow == BandFlow::Left ? stripe : (bandEntryCount - stripe) % bandEntryCount;
}

} // namespace

QList<BandColours> namedBandColours()
{
    return {
        {QStringLiteral("Windows Blue"),
         {QColor(0, 24, 120), QColor(40, 110, 230), QColor(236, 244, 255)}},
        {QStringLiteral("Rainbow"),
         {Qt::red, Qt::yellow, Qt::green, Qt::cyan, Qt::blue, Qt::magenta}},
        {QStringLiteral("Sunset"),
         {QColor(60, 20, 100), QColor(220, 60, 50), QColor(255, 190, 60)}},
        {QStringLiteral("Greys"), {QColor(40, 40, 40), QColor(220, 220, 220)}},
    };
}

QImage bandBackground(const QImage& picture)
{
    // Windows shows no transparency, and the picture takes the place applying would give it.
    return quantisedForVga(fitToScreen(overBlack(picture)), bandFirstEntry);
}

QImage paintMovingBand(const QImage& background, const MovingBand& band)
{
    QImage screen = background.copy();
    QList<QRgb> palette = screen.colorTable();
    palette.resize(bandFirstEntry, qRgb(0, 0, 0));
    for (int entry = 0; entry < bandEntryCount; ++entry)
        palette.append(loopColour(band.stops, entry));
    screen.setColorTable(palette);

    QByteArray row(screen.width(), '\0');
    for (int x = 0; x < screen.width(); ++x)
        row[x] = char(bandFirstEntry + bandEntryOfColumn(x, band.flow));
    const int height = qBound(lowestBandHeight, band.height, highestBandHeight);
    const int top = band.position == BandPosition::Top ? 0 : screen.height() - height;
    for (int y = top; y < top + height; ++y)
        std::memcpy(screen.scanLine(y), row.constData(), size_t(row.size()));

    screen.setText(QLatin1String(bmpImportantColoursKey), QString::number(bandFirstEntry));
    return screen;
}

QImage withMovingBand(const QImage& picture, const MovingBand& band)
{
    return paintMovingBand(bandBackground(picture), band);
}

} // namespace bootvane
