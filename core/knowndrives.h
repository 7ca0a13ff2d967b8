#pragma once

#include "drive.h"
#include "originals.h"

#include <QString>

namespace bootvane {

// Which of the drives the working folder keeps records of a drive C is. A folder is told by its
// identity alone, which holds its path. A copy of a disk image (or a card copied with dd) has
// the identity of the disk it was copied from, its FAT volume's serial number and label, and stays
// one drive with it while both show the same screens: the originals and the history are then true
// of both. Once their screens differ, each is a drive of its own, with its own originals and
// history. To tell them apart the working folder remembers, for each drive, the places it was met
// at (image files, folders) and the screens it showed when Bootvane last read or wrote them.
struct DriveRecognition {
    QString recordKey;
    // The place of the drive this one was copied from, when it was just told apart from it.
    QString copyOf;
    // Whether this drive took along copies of the originals and history it shared with the
    // one it was copied from (rather than having its screens saved as its own originals).
    bool keptApart = false;
};

// Tells which drive it is, showing screens now, and makes drive keep the records of that one
// (Drive::setRecordKey). Remembers this place and these screens for it. A drive met for the
// first time goes by its identity, as does one whose records cannot be read. Throws when the
// records of a copy being told apart cannot be copied: the drive then still shares them.
DriveRecognition recognizeDrive(const QString& base, Drive& drive, const ScreensInUse& screens);

// Remembers screens as what drive shows now that Bootvane wrote them, so that a copy of it that
// still shows the old ones is told apart. Best effort: a record that cannot be written only
// means that a copy is told apart later.
void rememberScreensInUse(const QString& base, const Drive& drive, const ScreensInUse& screens);

} // namespace bootvane
