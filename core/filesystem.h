#pragma once

#include "error.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
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

// The attributes of path, or nothing when there is no such entry: another program may
// delete an entry between a listing and this.
std::optional<int> fileAttributesIfPresent(const QString& path);

void makeFolder(const QString& path);

// Copies source to destination byte for byte and forces the copy to disk. The destination
// must not exist yet. Only a plain file is copied: a pipe or device is refused without
// waiting on it, also one that took the file's place a moment ago.
void copyFile(const QString& source, const QString& destination);

// Writes bytes to a new file at path and forces it to disk; fails when anything is at path
// already. A file that fails half-way is taken away again.
void writeNewFile(const QString& path, const QByteArray& bytes);

// The real path of what writing path changes: the file a link leads to, or path itself with
// every folder on the way resolved. For a path that leads nowhere, its folder resolved and
// its own name.
QString realWriteTarget(const QString& path);

// path as an absolute path, links left as they are: Qt's own way loses the bytes of a relative
// name that is not UTF-8.
QString absoluteFileName(const QString& path);

// Whether path, a real path (realWriteTarget), is folder, a real path too, or lies below it:
// by its path or, where another path leads to the same folder (a bind mount, a file system
// that ignores case), by device and inode.
bool liesWithin(const QString& path, const QString& folder);

// Whether changing the file at path, a real path (realWriteTarget), changes the working
// folder or anything in it: the file's folder lies within it (liesWithin), or is one of the
// working folder's own by its inode.
bool changesWorkingFolder(const QString& path, const QString& workingFolder);

// Replaces path with bytes so that it holds either all of its old bytes or all of the new
// ones, whatever fails, a crash included: the bytes go to a temporary file beside it, which
// is flushed to disk and then renamed over it. A file that may not be written is refused.
// The file keeps its name as path spells it and its mode. A link stays a link, and the file it
// leads to is replaced, unless links is ReplaceLink: then the link gives way to the new file.
enum class LinkHandling { Follow, ReplaceLink };
void replaceFileAtomically(const QString& path, const QByteArray& bytes,
                           LinkHandling links = LinkHandling::Follow);

// Opens the plain file at path for reading into file. It is opened without waiting and
// judged by what was opened, not by its name beforehand: a folder is refused with the
// system's reason, and a pipe, device or socket, which could block or never end, as
// notAFile. Throws naming operation and path.
void openPlainFile(QFile& file, const QString& path, const QString& operation,
                   const QString& notAFile);

// Whether nothing is at path: neither the entry nor a folder on the way to it exists.
bool isAbsent(const QString& path);

// What the entry at path is itself, a link not followed. Other also when it cannot be told.
enum class EntryType { Absent, File, Folder, Link, Other };
EntryType entryType(const QString& path);

// Removes the folder at path, which Bootvane made, and in it only the files named: each is
// removed in the folder as it was opened, a link among them as a link, and the folder goes
// once it is empty. A link at path, a folder among names and anything else in the folder
// stay, and so then does the folder. Whether path is gone.
bool removeMadeFolder(const QString& path, const QStringList& names);

// Removes, as removeMadeFolder does, every folder of folder whose name starts with prefix,
// hidden ones included.
void removeMadeFolders(const QString& folder, const QString& prefix, const QStringList& names);

// Removes the file at path in one step, so that it is either whole or gone; a file that is
// already absent is fine. Fails for a folder.
void removeFile(const QString& path);

// The bytes of a plain file no longer than maxBytes, or nothing when path is absent, no
// plain file, longer or unreadable. Never waits on a pipe or a device.
std::optional<QByteArray> readSmallFile(const QString& path, qint64 maxBytes);
// The same, of the file at path itself: nothing when path is a link, whatever it leads to
// (a link among Bootvane's own copies may lead to any file of the user's).
std::optional<QByteArray> readSmallFileNotLink(const QString& path, qint64 maxBytes);

// Renames a file or folder, failing rather than replacing anything already at destination.
void renameWithoutReplacing(const QString& source, const QString& destination);

// A hidden folder in which something is built before it gets its real name, so that no
// one ever sees it half-made. Unless committed it is removed with all it holds. It is
// locked while it exists, so that removeAbandonedWork() can tell it from the staging folder
// of a process that died.
class StagingFolder {
public:
    // operation says in the user's words what is built in parentFolder, as in `make the new set
    // "Sunset" in`: a failure of the staging folder itself is told the user as that operation
    // failing on parentFolder, never in terms of a hidden folder they have never heard of.
    explicit StagingFolder(const QString& parentFolder,
                           const QString& operation = QStringLiteral("make a folder in"));
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    QString filePath(const QString& name) const;

    // Rethrows the error being handled: told as the operation failing when it concerns the
    // staging folder or a file in it, as it is otherwise (a file copied into it, say).
    [[noreturn]] void rethrowInUsersWords(const Error& error) const;

    // Flushes the folder to disk and renames it to destination in one step. False, with
    // nothing renamed, when destination exists already: someone else made it meanwhile.
    [[nodiscard]] bool commitAs(const QString& destination);

private:
    [[noreturn]] void failWith(const QString& reason) const;

    QString m_path;
    QString m_parent;
    QString m_operation;
    int m_lock = -1;
};

// Removes from folder the staging folders and temporary files that a Bootvane killed while
// writing left behind, and nothing that a running one still holds. What cannot be removed
// stays: it is hidden and harms nothing. Beside the system files on drive C Bootvane only ever
// makes temporary files, so there (TemporaryFilesOnly) a folder is the user's, whatever its name.
enum class AbandonedWork { StagingFoldersAndFiles, TemporaryFilesOnly };
void removeAbandonedWork(const QString& folder,
                         AbandonedWork kinds = AbandonedWork::StagingFoldersAndFiles);

} // namespace bootvane
