#pragma once

#include "drive.h"

#include <memory>

namespace bootvane {

// Drive C as a folder of this system: the one Wine maps, a mounted disk or a CF card. On
// Windows it is C:\ itself.
class FolderDrive final : public Drive {
public:
    // Wine's drive C: the folder that $WINEPREFIX/dosdevices/c: points to (WINEPREFIX
    // defaults to ~/.wine), read from the environment now. The link is followed anew at every
    // operation, so that a drive mapped meanwhile is found; an unmapped one is an error
    // naming the link.
    static std::unique_ptr<FolderDrive> wine();
    // The drive whose root is folder.
    static std::unique_ptr<FolderDrive> atFolder(const QString& folder);

    // The file that dosPath names here. Each name below the drive is matched without regard
    // to case, as DOS does, so "c:\windows\logow.sys" reaches WINDOWS/LOGOW.SYS on a mounted
    // disk, and a file about to be written replaces the one that is there in whatever case
    // it is spelt. Throws when the drive cannot be reached or dosPath is not on drive C.
    QString nativePath(const QString& dosPath) const;
    // The link that maps Wine's drive C, or the folder given; empty on Windows.
    const QString& mapping() const { return m_mapping; }

    QString title() const override;
    QString source() const override { return m_isWine ? QString() : m_mapping; }
    // A FAT volume mounted here (a CF card) is known by its serial number and label, as its
    // disk image is; any other folder by its real path, device and inode.
    QString identity() const override;
    QStringList formerIdentities() const override;
    QString place() const override { return root(); }
    std::vector<DriveFile> readFiles(const QStringList& dosPaths, qint64 maxBytes) const override;
    QString displayPath(const QString& dosPath) const override;
    bool changedByWriting(const QString& path) const override;
    void checkChange(const QString& dosPath, FileChange change) const override;
    void replace(const QString& dosPath, const QByteArray& bytes) override;
    void remove(const QString& dosPath) override;
    void removeAbandonedWork(const QStringList& dosPaths) override;

private:
    FolderDrive(QString mapping, bool isWine) : m_mapping(std::move(mapping)), m_isWine(isWine) {}
    // The drive's root folder, every link resolved.
    QString root() const;
    // What told the drive apart before FAT volumes were known by their own names.
    QString folderIdentity() const;

    QString m_mapping;
    bool m_isWine;
};

} // namespace bootvane
