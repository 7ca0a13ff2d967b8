#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class QIODevice;

namespace bootvane {

// Where drive C lies in a disk image file, and what its FAT file system calls itself.
struct FatVolume {
    qint64 offset = 0; // of its boot sector, in bytes from the start of the file
    qint64 size = 0;   // in bytes, as its boot sector says
    int fatBits = 0;   // 12, 16 or 32
    quint32 serial = 0;
    QByteArray label; // as the boot sector spells it, blanks trimmed; empty when it has none
};

// How an image file holds its disk, as its own first bytes say. Every byte is taken as hostile.
struct ImageFormat {
    // The name of QEMU's driver for a container format ("qcow2", "vpc", "vhdx", "vdi",
    // "vmdk"); empty for a raw disk, which Bootvane reads itself.
    QString driver;
    QString description;   // "a qcow2 image", for messages
    qint64 diskOffset = 0; // where a raw disk begins: after an HDI's or HDX's header
    // A qcow2 overlay's base image as its header names it, and the base's format where the
    // header records it (empty where it does not, and QEMU would guess it).
    QByteArray backingFile;
    QByteArray backingFormat;
    // The files a VMDK descriptor names as its extents, as it spells them.
    QList<QByteArray> extents;
};

// Tells the format of the image at path from its own bytes, reading as far as QEMU reads to
// tell where the disk's data lies (a VMDK descriptor up to 1 MB, wherever a binary VMDK puts
// it). Throws, saying what to do, for what Bootvane cannot open: a differencing VHD or a VMDK
// delta (QEMU reads them without their parent, or guesses its format), a qcow2 that keeps its
// data in another file, a file too short to be a disk image.
ImageFormat imageFormat(QIODevice& image, const QString& path);

// Reads the first sector of the raw disk that begins diskOffset bytes into the file, drive C's
// boot sector and the file's last 512 bytes, and tells where drive C is: with an MBR, the
// active primary FAT partition, else the first primary FAT partition; in a disk of one bare
// FAT volume, the whole disk; in a fixed VHD the same, the footer aside. Every byte is taken
// as hostile. Anything else (a GPT or NTFS disk, an empty file, no FAT partition) throws an
// Error that says what was found and what to do, naming path. The offset of FatVolume is from
// the start of the file.
FatVolume locateDriveC(QIODevice& image, const QString& path, qint64 diskOffset = 0);

// What the first sector of a FAT volume says of it, or nothing when it is no FAT boot sector
// (its offset is 0).
std::optional<FatVolume> fatVolumeOfBootSector(const QByteArray& sector);

// What tells one FAT volume from another, wherever it is reached: its serial number and
// label, as the image drive and the folder drive both name it.
QString fatIdentity(const FatVolume& volume);

} // namespace bootvane
