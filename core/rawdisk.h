#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace bootvane {

class QemuExport;

// The raw disk inside an emulator's disk image file, as a file that mtools reads and writes.
// A raw image, a fixed VHD, and an HDI or HDX (a raw disk behind a header) are their own
// file. Every other format is opened in place, in its own format, by QEMU's block layer:
// qemu-storage-daemon opens the image, with its format named from the image's own bytes, and
// exports its disk as a raw file over FUSE, in a private folder. Writes then go where the
// emulator's go: to the image itself, or to a qcow2 overlay and never to its base or a
// snapshot. Bootvane has no container code of its own.
//
// The export lives only while Bootvane reads or writes, so that no lock is held on the image
// while nothing happens and an emulator can start meanwhile: it is made at the first read or
// write of a user's action and ends when control returns to the event loop (or with this
// object). No mount and no daemon outlives Bootvane: a guard started with the daemon ends both
// when Bootvane dies, once no command it started still writes through the export, and the
// first export of a process sweeps away what copies that died with their guard left.
class RawDisk {
public:
    explicit RawDisk(QString image);
    ~RawDisk();
    RawDisk(const RawDisk&) = delete;
    RawDisk& operator=(const RawDisk&) = delete;

    struct View {
        QString file;
        qint64 offset = 0; // where the disk begins in file
    };
    // Where the disk can be read and written raw now. Throws, saying what to do, when the image
    // cannot be opened so (QEMU or FUSE missing, a format QEMU cannot read fully).
    View view();

    // Why nothing may be written to the image now, or nothing: one of its files (a VMDK's
    // extents too) is read-only, or another program writes to it or holds a lock on it (QEMU
    // locks the images it runs). Bootvane's own daemon does not count. A qcow2 overlay's base
    // does not count either: QEMU only reads it, and writes go to the overlay.
    std::optional<QString> whyNotWritable();
    // The same, before this copy writes: nothing, once it holds the image's lock, which another
    // copy of Bootvane sees as the image in use (programWritingTo) until control returns to the
    // event loop, so for the whole of one action of the user. A copy that cannot take it learns
    // who holds it. Bootvane's own lock does not count for itself.
    std::optional<QString> holdForWriting();

private:
    void release();

    QString m_image;
    QStringList m_files; // of a container: the image's real path and every file written with it
    std::unique_ptr<QemuExport> m_export;
    QObject m_releaseContext; // ends a pending release with this object
    QElapsedTimer m_seenFree; // since the image was last found free
    int m_hold = -1;          // the image, open to hold its lock while this copy writes
};

// The folder in which this user's containers are exported as raw disks, each in a private
// folder of its own: $XDG_RUNTIME_DIR/bootvane, else a folder of the user's in the temporary
// folder. It may not exist yet.
QString containerExportsFolder();

// Removes what the exports of copies of Bootvane that died with their guards left: daemons,
// mounts, folders. Done once in each process, at its start and before its first export.
void sweepAbandonedExports();

// Why a container cannot be opened on this machine (qemu-storage-daemon or FUSE missing),
// naming the package to install; nothing when it can.
std::optional<QString> whyContainersCannotBeOpened();

// Why nothing may write the file at path now, naming what holds it: a program that has it
// open for writing ("qemu-system-i386 (process 1234)"), a loop device it is attached to, or a
// lock on it (flock, POSIX or open-file record locks; QEMU locks its images), with what to do.
// Nothing when the file is free. Only this user's open files can be seen; every lock can. The
// process ownDaemon, Bootvane's own qemu-storage-daemon holding the image, does not count, nor
// do the locks that name no process while it holds them, nor this process's own locks.
std::optional<QString> programWritingTo(const QString& path, qint64 ownDaemon = 0);

} // namespace bootvane
