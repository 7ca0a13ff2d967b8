#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

namespace bootvane {

// Attribute bits as DOS reports them; only these two matter here.
inline constexpr int attributeHidden = 2;
inline constexpr int attributeFolder = 16;

// Lists the entries that match pattern, a path whose last part may hold * and ?. A pattern
// that ends in a separator lists the whole folder, "." and ".." first. Plain files are
// always listed, folders only when mask has attributeFolder; hidden entries (on this
// platform also every name that starts with ".") never are. Names come sorted without
// regard to case, as a Windows file system returns them. Names are matched with the case
// rule of the platform's file system.
QStringList listFolder(const QString& pattern, int mask);

// The first entry listFolder gives, or "" when nothing matches.
QString firstMatch(const QString& pattern, int mask);

int fileAttributes(const QString& path);

void makeFolder(const QString& path);

// Copies source to destination byte for byte and forces the copy to disk. The destination
// must not exist yet.
void copyFile(const QString& source, const QString& destination);

// Replaces path with bytes so that it holds either all of its old bytes or all of the new
// ones, whatever fails: the bytes go to a temporary file beside it, which is flushed to
// disk and then renamed over it. A file that may not be written is refused.
void replaceFileAtomically(const QString& path, const QByteArray& bytes);

// Whether nothing is at path: neither the entry nor a folder on the way to it exists.
bool isAbsent(const QString& path);

// Removes the file at path in one step, so that it is either whole or gone; a file that is
// already absent is fine. Fails for a folder.
void removeFile(const QString& path);

// The bytes of a plain file no longer than maxBytes, or nothing when path is absent, no
// plain file, longer or unreadable. Never waits on a pipe or a device.
std::optional<QByteArray> readSmallFile(const QString& path, qint64 maxBytes);

// Renames a file or folder, failing rather than replacing anything already at destination.
void renameWithoutReplacing(const QString& source, const QString& destination);

// A hidden folder in which something is built before it gets its real name, so that no
// one ever sees it half-made. Unless committed it is removed with all it holds.
class StagingFolder {
public:
    explicit StagingFolder(const QString& parentFolder);
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    QString filePath(const QString& name) const;

    // Flushes the folder to disk and renames it to destination in one step.
    void commitAs(const QString& destination);

private:
    QTemporaryDir m_folder;
    QString m_parent;
};

} // namespace bootvane
