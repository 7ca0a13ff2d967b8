#pragma once

#include "screenslots.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

namespace bootvane {

// Windows 95 shows a screen only as a BMP of this size with a palette of at most 256
// colours. It stretches it to twice its width, so that it fills a 4:3 screen: each pixel is
// shown twice as wide as it is tall, before the 4:3 fit.
inline constexpr QSize windowsScreenSize(320, 400);
inline constexpr int windowsPaletteSize = 256;

// Whether Windows 95 can show the picture as it is: 320 x 400 with at most 256 colours.
bool showableAsIs(const QImage& picture);

// Where a picture of size lies on a screen of size box once fitted (fitToScreen): all of the
// box for a 4:3 picture or one of the screen's own size, else centred in it, the rest black.
QRect areaOnScreen(QSize size, QSize box);

// The picture fitted into a 320 x 400 true-colour screen in the shape the user will see it
// on the 4:3 screen: a 4:3 picture, or one of the screen's own size, fills it; another shape
// is fitted inside and centred on black. Transparency is blended over black.
QImage fitToScreen(const QImage& picture);

// What goes over a system file for this picture: the picture itself when Windows can show
// it as it is (the same pixels, palette and colour cycling), else its conversion: fitted to
// the screen and quantised to 256 colours for the VGA palette's 6 bits per channel,
// dithered, with no colours cycling. Throws when there is not memory enough.
QImage screenAsWritten(const QImage& picture);

// The screen in at most colours colours, chosen for it by libimagequant for the VGA's 6 bits
// a channel and dithered: an indexed picture whose pixels use entries 0 to colours - 1 alone.
// Throws when there is not memory enough.
QImage quantisedForVga(const QImage& screen, int colours = windowsPaletteSize);

// The first palette entry that Windows 95 cycles on the Startup Screen (the low byte of the
// BMP's biClrImportant), or 0 when no colours cycle.
int cyclingStart(const QImage& picture);

// The picture with every transparent pixel blended over black, as Windows 95 can show no
// transparency; an opaque picture comes back as it is.
QImage overBlack(const QImage& picture);

// Where a screen described to the user is: in a set, which applying converts where needed;
// the file in use on drive C, which Windows shows as it is or not at all; or among the
// user's originals, which restoring writes back byte for byte.
enum class ScreenPlace { InSet, OnDrive, InOriginals };

// One line for the user: the picture's size and colours, and what windows (the Windows that
// shows it) makes of it in this slot, judged from the file it was read from where that is
// known (storedFormKey): only the screen BMP goes over a system file as it is. Empty for the
// empty picture.
QString describeScreen(const QImage& picture, const ScreenSlot& slot,
                       ScreenPlace place = ScreenPlace::InSet,
                       const QString& windows = QLatin1String(defaultWindows));

} // namespace bootvane
