#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QString>

namespace bootvane {

// Windows 95 animates its Startup Screen by rotating the palette entries from the one that
// biClrImportant names up to 255. A band screen keeps the last 20 entries for a band that
// flows across the screen as they rotate, and the picture gets the other 236.
inline constexpr int bandFirstEntry = 236;
inline constexpr int bandEntryCount = 256 - bandFirstEntry;

// The band's height in the screen's 400 rows.
inline constexpr int lowestBandHeight = 4;
inline constexpr int highestBandHeight = 100;
inline constexpr int defaultBandHeight = 20;

enum class BandPosition { Bottom, Top };
enum class BandFlow { Right, Left };

// A loop of colours that the band's 20 entries go round: from each colour to the next, and
// from the last back to the first, so that the band flows without a seam.
struct BandColours {
    QString name; // as the user chooses it
    QList<QColor> stops;
};

// The named loops offered to the user, Windows' own blues and whites first.
QList<BandColours> namedBandColours();

struct MovingBand {
    BandPosition position = BandPosition::Bottom;
    int height = defaultBandHeight;
    QList<QColor> stops = namedBandColours().constFirst().stops;
    BandFlow flow = BandFlow::Right;
};

// The picture made into the background of a band screen: fitted to 320 x 400 as applying
// converts it, and quantised to entries 0 to 235. The slow half of a band screen, so a window
// that changes only the band makes it once. Throws when there is not memory enough.
QImage bandBackground(const QImage& picture);

// The band painted over a background from bandBackground in entries 236 to 255 alone, with
// biClrImportant 236, so that encodeBmp writes the Startup Screen that Windows animates. The
// band's 20 colours loop around the stops; each rotation of the entries moves them one stripe
// in the band's direction.
QImage paintMovingBand(const QImage& background, const MovingBand& band);

// The band screen of a picture: paintMovingBand over its bandBackground.
QImage withMovingBand(const QImage& picture, const MovingBand& band);

} // namespace bootvane
