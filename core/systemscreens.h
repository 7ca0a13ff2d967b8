#pragma once

#include "drive.h"
#include "msdossys.h"
#include "screenslots.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <array>

namespace bootvane {

// The screen in use for slot: its system file on drive C, or the built-in placeholder when
// there is no such file, which says so when a folder stands there. Throws when the file is
// there but is no picture that can be read. windows names the Windows the placeholder speaks of.
QImage loadSystemScreen(const Drive& drive, const ScreenSlot& slot,
                        const QString& windows = QLatin1String(defaultWindows));
// The same from what readFiles gave for the slot's system file on drive.
QImage systemScreen(const Drive& drive, const DriveFile& file, const ScreenSlot& slot,
                    const QString& windows = QLatin1String(defaultWindows));

// A screen file of a set. When the set records that the drive had no such file (originals
// do), recordedAbsent gives the placeholder for an absent file; otherwise an absent file is
// an error, and so it is when the folder itself is gone.
QImage loadSetScreen(const QString& path, const ScreenSlot& slot, bool recordedAbsent,
                     const QString& windows = QLatin1String(defaultWindows));

// What one system file becomes when a screen is applied: the picture the image of the
// screen in use then shows, and the bytes written, or none to remove the file so that
// Windows uses its built-in screen.
struct ScreenUpdate {
    QImage shown;
    QByteArray bytes;
    bool removesFile = false;
};

// How a screen file goes over its system file. A set's goes as Windows can show it: byte for
// byte when Windows shows it as it is, else encoded anew, converted first where Windows could
// not show it. The user's originals go byte for byte whatever they hold: restoring gives back
// what the drive had, as Undo does.
enum class Writing { ForWindows, ByteForByte };

// Reads the screen file at path and prepares what goes over the slot's system file, written
// as writing says. The picture shown is read from the very bytes written.
ScreenUpdate prepareScreenUpdate(const QString& path, const ScreenSlot& slot, bool recordedAbsent,
                                 const QString& windows = QLatin1String(defaultWindows),
                                 Writing writing = Writing::ForWindows);

// Fails, naming the file, when one of updates could not be written on drive.
void checkScreenChanges(const Drive& drive, const std::array<ScreenUpdate, slotCount>& updates);

// Writes or removes the three system files in slot order, each so that it holds all its old
// bytes or all its new ones whatever fails. A file that must not be written stops it before
// the first one changes.
void installScreens(Drive& drive, const std::array<ScreenUpdate, slotCount>& updates);
// The same, once checkScreenChanges has passed: on a disk image each check lists a folder.
void installCheckedScreens(Drive& drive, const std::array<ScreenUpdate, slotCount>& updates);

} // namespace bootvane
