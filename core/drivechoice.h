#pragma once

#include "drive.h"

#include <QString>
#include <memory>

class QSettings;

namespace bootvane {

// Opens drive C at path: a disk image file, or a folder that is the root of a drive C (a
// mounted disk, a CF card). Throws saying what path holds instead.
std::unique_ptr<Drive> openDrive(const QString& path);

// Wine's drive C, the default one (on Windows, C:\ itself).
std::unique_ptr<Drive> defaultDrive();
// The same where Wine maps a drive C (its link leads to a folder), else nothing: a user of
// emulators may have no Wine at all.
std::unique_ptr<Drive> mappedWineDrive();

// Throws, naming it, when drive is a folder that is the sets folder base or lies inside it:
// drive C there would keep its originals and history among the sets it holds.
void refuseDriveAmongSets(const Drive& drive, const QString& base);
// Whether drive may be a Windows drive C: a disk image is taken as one, a folder when it holds
// C:\MSDOS.SYS, a Windows folder or C:\LOGO.SYS (the other two screens are in the Windows
// folder). A folder picked by mistake (the home folder, a folder of pictures) holds none.
bool looksLikeDriveC(const Drive& drive);

// Bootvane remembers the drive last used with each working folder, so that starting it there
// again, from the menu for one, opens the same drive. The drive is remembered by what reached
// it: the image file or folder, or nothing for the default drive.
void rememberDrive(QSettings& settings, const QString& base, const Drive& drive);
// The drive last used with the working folder base, or nothing for the default drive (or
// when none is remembered). Throws when it cannot be opened any more, naming it as the drive
// last used there.
std::unique_ptr<Drive> recallDrive(QSettings& settings, const QString& base);

// Where Open Disk Image starts: the folder of the disk image opened last, however it was
// opened, while that folder is there; else the home folder. The sets folder holds no images.
QString imageFolder(QSettings& settings);
// Notes drive as the disk image opened last, when it is one.
void noteImageOpened(QSettings& settings, const Drive& drive);

} // namespace bootvane
