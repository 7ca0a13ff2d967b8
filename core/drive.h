#pragma once

#include "msdossys.h"
#include "screenslots.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace bootvane {

enum class FileChange { Replace, Remove };

// What stands where a file of drive C is looked for.
struct DriveFile {
    // The file's bytes; nothing when there is no such file, or a folder stands in its place.
    std::optional<QByteArray> bytes;
    // A folder stands where the file would be. It is the user's: Windows finds no file there,
    // and Bootvane never reads it as a file, writes into it, renames it or removes it.
    bool isFolder = false;
};

// Drive C of the Windows whose screens Bootvane changes, its files named by DOS paths
// ("C:\Windows\logow.sys"). The windows know only this interface; where the drive lives (a
// folder, Wine's drive C, a disk image) is the business of the backend behind it. Names are
// matched without regard to case, as DOS does. Every operation that fails throws an Error
// naming the file and the reason.
class Drive {
public:
    virtual ~Drive() = default;

    // How the window title names the drive: empty for the default one, Wine's drive C.
    virtual QString title() const = 0;

    // The image file or folder that reaches the drive, as given; empty for the default one.
    virtual QString source() const = 0;

    // What tells this drive from every other, however it is reached: the same drive reached
    // through another path gives the same identity. Throws when the drive cannot be reached.
    virtual QString identity() const = 0;

    // The identities an earlier Bootvane knew this drive by, if it told it apart otherwise:
    // what it kept under those stays this drive's.
    virtual QStringList formerIdentities() const { return {}; }

    // Where the drive was reached: the real path of the image file or of the root folder, so
    // that openDrive() reaches it again. Two copies of one disk have one identity but two places.
    virtual QString place() const = 0;

    // The name under which the working folder keeps what belongs to this drive (its originals,
    // its history): its identity, unless the drive was told apart from a copy of it that has
    // the same identity (see recognizeDrive()).
    QString recordKey() const { return m_recordKey.isEmpty() ? identity() : m_recordKey; }
    void setRecordKey(const QString& key) { m_recordKey = key; }

    // What C:\MSDOS.SYS says, read at the first need and kept: another program may change it,
    // so the window reads it again whenever it comes back (rereadMsdosSys()).
    const MsdosSys& msdosSys() const;
    const MsdosSys& rereadMsdosSys() const;

    // The DOS path of the slot's system file: C:\logo.sys, and the Waiting and Shutoff screens
    // in the Windows folder that C:\MSDOS.SYS names. Throws, saying why, when MSDOS.SYS names a
    // folder that cannot be used: writing where Windows does not look would only seem to work.
    QString systemFile(const ScreenSlot& slot) const;

    // No screen file comes near this; a larger file is refused, never read into memory.
    static constexpr qint64 largestRead = 256 * 1024 * 1024;

    // What stands at each of dosPaths, in that order. Throws when a file is there but cannot
    // be read, or is larger than maxBytes. Reading several files at once spares work: a disk
    // image's folders are listed once for all of them.
    virtual std::vector<DriveFile> readFiles(const QStringList& dosPaths,
                                             qint64 maxBytes = largestRead) const = 0;

    // The bytes of the file, or nothing when there is no such file or a folder stands there.
    std::optional<QByteArray> read(const QString& dosPath, qint64 maxBytes = largestRead) const
    {
        return readFiles({dosPath}, maxBytes).front().bytes;
    }

    // The name under which messages show the file.
    virtual QString displayPath(const QString& dosPath) const = 0;

    // Whether writing the file at path, a real path (realWriteTarget), would change the drive:
    // a file on it, or the file that holds it. A drive that cannot be reached now has no file
    // to change.
    virtual bool changedByWriting(const QString& path) const = 0;

    // Throws, naming the file and why, when the change must not be tried. Called for every
    // file an operation will change before the first of them changes, so that a refusal
    // leaves the drive as it was. A folder where the file would be is refused, named.
    virtual void checkChange(const QString& dosPath, FileChange change) const = 0;
    // The same for several files; a disk image's folders are listed once for all of them.
    virtual void checkChanges(const std::vector<std::pair<QString, FileChange>>& changes) const
    {
        for (const auto& [dosPath, change] : changes)
            checkChange(dosPath, change);
    }

    // Makes the file hold bytes: all its old bytes or all its new ones, whatever fails.
    virtual void replace(const QString& dosPath, const QByteArray& bytes) = 0;

    // Removes the file in one step; a file that is already absent is fine.
    virtual void remove(const QString& dosPath) = 0;

    // Removes what copies of Bootvane killed while writing these files left behind, and
    // nothing that a running copy still holds: never a folder, which is the user's.
    virtual void removeAbandonedWork(const QStringList& dosPaths) = 0;

private:
    QString m_recordKey;
    mutable std::optional<MsdosSys> m_msdosSys;
};

// The DOS paths of the three system files of drive, in slot order.
QStringList systemFiles(const Drive& drive);

} // namespace bootvane
