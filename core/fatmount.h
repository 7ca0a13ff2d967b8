#pragma once

#include "diskimage.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace bootvane {

// The FAT volume mounted at folder (a CF card, a USB disk), told from mountInfo, the kernel's
// table of mounts in the form of /proc/self/mountinfo: nothing when folder is not the root of a
// FAT file system. The volume's boot sector is read from its device; where that cannot be read
// (a device only its group may read), the serial number comes from the file system itself and
// the label from the names udev gives the disk. So one volume is one drive, whichever device it
// comes up as, and whether it is reached as a folder or, copied with dd, as a disk image.
std::optional<FatVolume> fatVolumeMountedAt(const QString& folder, const QByteArray& mountInfo);

// The same, from this system's own table of mounts.
std::optional<FatVolume> fatVolumeMountedAt(const QString& folder);

} // namespace bootvane
