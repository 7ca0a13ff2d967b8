#pragma once

#include "screenslots.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace bootvane {

// The screen in use for slot: its system file on drive C, or the built-in placeholder when
// there is no such file. Throws when the file is there but is no picture that can be read.
QImage loadSystemScreen(const ScreenSlot& slot);

// A screen file of a set. In "Originals" an absent file records that the system had none,
// so absentMeansBuiltIn gives the placeholder for it; in any other set it is an error, and
// so it is when the folder itself is gone.
QImage loadSetScreen(const QString& path, const ScreenSlot& slot, bool absentMeansBuiltIn);

// What one system file becomes when a screen is applied: the picture the image of the
// screen in use then shows, and the bytes written, or none to remove the file so that
// Windows uses its built-in screen.
struct ScreenUpdate {
    QImage shown;
    QByteArray bytes;
    bool removesFile = false;
};

// Reads the screen file at path and prepares what goes over the slot's system file. A BMP
// that Windows already shows as it is goes over it byte for byte; anything else is encoded,
// converted first where Windows could not show it.
ScreenUpdate prepareScreenUpdate(const QString& path, const ScreenSlot& slot,
                                 bool absentMeansBuiltIn);

// Writes or removes the slot's system file, so that it holds all its old bytes or all
// its new ones whatever fails.
void installScreen(const ScreenSlot& slot, const ScreenUpdate& update);

// Whether C:\MSDOS.SYS turns the start-up screen off (Logo=0 under [Options]). Bootvane
// only reads it; an absent or unreadable file turns nothing off.
bool startupScreenSwitchedOff();

} // namespace bootvane
