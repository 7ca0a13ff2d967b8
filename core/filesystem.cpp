#include "filesystem.h"

#include "error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#ifndef Q_OS_WIN
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace bootvane {

namespace fs = std::filesystem;

namespace {

fs::path toFsPath(const QString& path)
{
#ifdef Q_OS_WIN
    return fs::path(path.toStdWString());
#else
    return fs::path(QFile::encodeName(path).toStdString());
#endif
}

QString reasonOf(const std::error_code& error)
{
    return QString::fromLocal8Bit(error.message().c_str());
}

bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QDir::separator();
}

constexpr Qt::CaseSensitivity fileSystemCase =
#ifdef Q_OS_WIN
    Qt::CaseInsensitive;
#else
    Qt::CaseSensitive;
#endif

// Forces what was written to fd to disk; what a rename later makes visible must be there.
void syncToDisk(int fd, const QString& path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(fd);
    Q_UNUSED(path);
#else
    if (::fdatasync(fd) != 0)
        fail(QStringLiteral("write"), path, systemReason(errno));
#endif
}

// Makes a rename inside folder durable.
void syncFolder(const QString& folder)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        fail(QStringLiteral("open the folder"), folder, systemReason(errno));
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0)
        fail(QStringLiteral("write the folder"), folder, systemReason(error));
#else
    Q_UNUSED(folder);
#endif
}

// Writes every byte of bytes to file, or fails with the system's reason.
void writeAll(QFileDevice& file, const QByteArray& bytes, const QString& path)
{
#ifdef Q_OS_WIN
    if (file.write(bytes) != bytes.size() || !file.flush())
        fail(QStringLiteral("write"), path, file.errorString());
#else
    const int fd = file.handle();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            fail(QStringLiteral("write"), path, systemReason(errno));
        if (written == 0)
            fail(QStringLiteral("write"), path, systemReason(EIO));
        done += written;
    }
#endif
}

// A name pattern as DOS reads it: * is any run of characters, ? any one character, and
// everything else, brackets included, stands for itself.
QRegularExpression dosWildcard(const QString& pattern)
{
    QString expression;
    QString literalRun;
    for (const QChar c : pattern) {
        if (c != QLatin1Char('*') && c != QLatin1Char('?')) {
            literalRun += c;
            continue;
        }
        expression += QRegularExpression::escape(literalRun);
        literalRun.clear();
        expression += c == QLatin1Char('*') ? QLatin1String(".*") : QLatin1String(".");
    }
    expression += QRegularExpression::escape(literalRun);
    return QRegularExpression(QRegularExpression::anchoredPattern(expression),
                              fileSystemCase == Qt::CaseInsensitive
                                  ? QRegularExpression::CaseInsensitiveOption |
                                        QRegularExpression::DotMatchesEverythingOption
                                  : QRegularExpression::DotMatchesEverythingOption);
}

// Calls visit(name, isFolder) for every entry of folder that is not hidden, "." and ".."
// aside; isFolder() tells, following links, whether the entry is a folder, and is asked only
// when needed. Throws when the folder cannot be listed.
#ifdef Q_OS_WIN
QString fromFsName(const fs::path& name)
{
    return QString::fromStdWString(name.wstring());
}
#endif

template <typename Visit> void forEachVisibleEntry(const QString& folder, Visit visit)
{
#ifdef Q_OS_WIN
    std::error_code error;
    fs::directory_iterator it(toFsPath(folder), error);
    if (error)
        fail(QStringLiteral("list the folder"), folder, reasonOf(error));
    for (; it != fs::directory_iterator(); it.increment(error)) {
        const QString name = fromFsName(it->path().filename());
        if (QFileInfo(fromFsName(it->path())).isHidden())
            continue;
        visit(name, [&it] {
            std::error_code typeError;
            return it->is_directory(typeError);
        });
    }
    if (error)
        fail(QStringLiteral("list the folder"), folder, reasonOf(error));
#else
    // readdir directly: a large working folder is listed at every rebuild of the tree.
    const QByteArray encodedFolder = QFile::encodeName(folder);
    DIR* dir = ::opendir(encodedFolder.constData());
    if (!dir)
        fail(QStringLiteral("list the folder"), folder, systemReason(errno));
    const int dirFd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        if (entry->d_name[0] == '.')
            continue; // hidden here, and "." and ".." too
        const unsigned char type = entry->d_type;
        const char* rawName = entry->d_name;
        visit(QFile::decodeName(rawName), [type, dirFd, rawName] {
            if (type != DT_UNKNOWN && type != DT_LNK)
                return type == DT_DIR;
            struct stat info {};
            return ::fstatat(dirFd, rawName, &info, 0) == 0 && S_ISDIR(info.st_mode);
        });
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0)
        fail(QStringLiteral("list the folder"), folder, systemReason(error));
#endif
}

} // namespace

QStringList listFolder(const QString& pattern, int mask)
{
    QString folder;
    QString namePattern;
    const bool wholeFolder = !pattern.isEmpty() && isSeparator(pattern.back());
    if (wholeFolder) {
        folder = pattern;
    } else {
        qsizetype cut = pattern.size() - 1;
        while (cut >= 0 && !isSeparator(pattern[cut]))
            --cut;
        folder = cut >= 0 ? pattern.left(cut + 1) : QStringLiteral(".");
        namePattern = pattern.mid(cut + 1);
    }

    const bool literal =
        !namePattern.contains(QLatin1Char('*')) && !namePattern.contains(QLatin1Char('?'));
    const QRegularExpression matcher = dosWildcard(namePattern);
    // As on DOS, "name.*" also matches "name" itself: a name without a dot has an empty
    // extension, which ".*" matches.
    const bool anyExtension = namePattern.endsWith(QLatin1String(".*"));
    const QRegularExpression withoutExtension =
        anyExtension ? dosWildcard(namePattern.chopped(2)) : QRegularExpression();

    auto matches = [&](const QString& name) {
        if (wholeFolder)
            return true;
        return literal ? name.compare(namePattern, fileSystemCase) == 0
                       : matcher.match(name).hasMatch() ||
                             (anyExtension && !name.contains(QLatin1Char('.')) &&
                              withoutExtension.match(name).hasMatch());
    };

    // Sorted by a key folded once per name: folding inside every comparison made the sort
    // the dearest part of listing a large folder.
    struct Entry {
        QByteArray key; // folded, in UTF-8, whose byte order is the order of the characters
        QString name;
    };
    std::vector<Entry> entries;
    forEachVisibleEntry(folder, [&](const QString& name, const auto& isFolder) {
        if (matches(name) && ((mask & attributeFolder) || !isFolder()))
            entries.push_back({name.toCaseFolded().toUtf8(), name});
    });
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.key != b.key ? a.key < b.key : a.name < b.name;
    });

    QStringList names;
    names.reserve(qsizetype(entries.size()) + 2);
    for (Entry& entry : entries)
        names.append(std::move(entry.name));
    // "." and ".." are folders too: listed only when folders are asked for.
    if (wholeFolder && (mask & attributeFolder))
        names.prepend(QStringLiteral("..")), names.prepend(QStringLiteral("."));
    return names;
}

QString firstMatch(const QString& pattern, int mask)
{
    const QStringList names = listFolder(pattern, mask);
    return names.isEmpty() ? QString() : names.first();
}

int fileAttributes(const QString& path)
{
    int attributes = 0;
#ifdef Q_OS_WIN
    std::error_code error;
    fs::file_status status = fs::status(toFsPath(path), error);
    if (error) {
        // A link whose target is gone is still an entry of its folder, and no folder: the
        // listing gives it, so asking for its attributes must not fail.
        std::error_code linkError;
        const fs::file_status link = fs::symlink_status(toFsPath(path), linkError);
        if (linkError || !fs::is_symlink(link))
            fail(QStringLiteral("read the attributes of"), path, reasonOf(error));
        status = link;
    }
    if (fs::is_directory(status))
        attributes |= attributeFolder;
    if (QFileInfo(path).isHidden())
        attributes |= attributeHidden;
#else
    // stat directly: the tree asks this of every entry of the working folder.
    const QByteArray encoded = QFile::encodeName(path);
    struct stat info {};
    if (::stat(encoded.constData(), &info) != 0) {
        const int error = errno;
        // A link whose target is gone is still an entry of its folder, and no folder: the
        // listing gives it, so asking for its attributes must not fail.
        struct stat link {};
        if (::lstat(encoded.constData(), &link) != 0 || !S_ISLNK(link.st_mode))
            fail(QStringLiteral("read the attributes of"), path, systemReason(error));
    } else if (S_ISDIR(info.st_mode)) {
        attributes |= attributeFolder;
    }
    if (path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).startsWith(QLatin1Char('.')))
        attributes |= attributeHidden;
#endif
    return attributes;
}

void makeFolder(const QString& path)
{
    std::error_code error;
    if (!fs::create_directory(toFsPath(path), error)) {
        fail(QStringLiteral("make the folder"), path,
             error ? reasonOf(error) : systemReason(EEXIST));
    }
}

void copyFile(const QString& source, const QString& destination)
{
    const QFileInfo sourceInfo(source);
    if (sourceInfo.isDir())
        fail(QStringLiteral("copy"), source, systemReason(EISDIR));
    // Opening a pipe waits for a writer and a device may never end: only files are copied.
    if (sourceInfo.exists() && !sourceInfo.isFile())
        fail(QStringLiteral("copy"), source,
             QStringLiteral("it is a device, pipe or socket, not a file"));
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("copy"), source, in.errorString());

    QFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        fail(QStringLiteral("write"), destination, out.errorString());
    // The destination was made here, so a copy that fails half-way takes it away again
    // rather than leave a file that looks whole.
    try {
        constexpr qint64 chunkSize = 1 << 16;
        while (!in.atEnd()) {
            const QByteArray chunk = in.read(chunkSize);
            if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
                fail(QStringLiteral("copy"), source, in.errorString());
            if (chunk.isEmpty())
                break;
            writeAll(out, chunk, destination);
        }
        syncToDisk(out.handle(), destination);
    } catch (const Error&) {
        out.remove();
        throw;
    }
}

void replaceFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QFileInfo target(path);
    if (target.isDir())
        fail(QStringLiteral("write"), path, systemReason(EISDIR));
    if (target.exists() && !target.isWritable())
        fail(QStringLiteral("write"), path, systemReason(EACCES));

    // QSaveFile alone is not enough: in Qt 6.4 commit() reports success and installs a
    // truncated file when the last buffered write fails, and a failed write leaves it with no
    // reason to give ("Unknown error"). So the bytes go straight to its temporary file,
    // every one checked, and are synced before the commit.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("write"), path, file.errorString());
    writeAll(file, bytes, path);
    syncToDisk(file.handle(), path);
    if (!file.commit())
        fail(QStringLiteral("write"), path, file.errorString());
    // The folder is not synced after the rename: the file is whole, old or new, whatever
    // happens, and a crash that loses the rename only leaves the old screen in place.
}

bool isAbsent(const QString& path)
{
#ifdef Q_OS_WIN
    return !QFileInfo::exists(path) && !QFileInfo(path).isSymLink();
#else
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) != 0 &&
           (errno == ENOENT || errno == ENOTDIR);
#endif
}

void removeFile(const QString& path)
{
    if (QFileInfo(path).isDir())
        fail(QStringLiteral("remove"), path, systemReason(EISDIR));
    std::error_code error;
    fs::remove(toFsPath(path), error);
    if (error && error != std::errc::no_such_file_or_directory)
        fail(QStringLiteral("remove"), path, reasonOf(error));
}

std::optional<QByteArray> readSmallFile(const QString& path, qint64 maxBytes)
{
    QFile file;
#ifdef Q_OS_WIN
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
#endif
    if (file.size() > maxBytes)
        return std::nullopt;
    QByteArray bytes = file.read(maxBytes);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

void renameWithoutReplacing(const QString& source, const QString& destination)
{
#if defined(Q_OS_LINUX) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, QFile::encodeName(source).constData(), AT_FDCWD,
                    QFile::encodeName(destination).constData(), RENAME_NOREPLACE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS)
        fail(QStringLiteral("rename a folder to"), destination, systemReason(errno));
#endif
    // Where the file system cannot refuse by itself, look first; only a race can slip past.
    if (QFileInfo::exists(destination) || QFileInfo(destination).isSymLink())
        fail(QStringLiteral("rename a folder to"), destination, systemReason(EEXIST));
    std::error_code error;
    fs::rename(toFsPath(source), toFsPath(destination), error);
    if (error)
        fail(QStringLiteral("rename a folder to"), destination, reasonOf(error));
}

StagingFolder::StagingFolder(const QString& parentFolder)
    : m_folder(parentFolder + QStringLiteral("/.bootvane-staging-XXXXXX")), m_parent(parentFolder)
{
    if (!m_folder.isValid())
        fail(QStringLiteral("make a staging folder in"), parentFolder, m_folder.errorString());
}

StagingFolder::~StagingFolder()
{
    // A second try, so that one passing failure does not leave the staging folder behind.
    if (m_folder.autoRemove() && !m_folder.remove())
        m_folder.remove();
}

QString StagingFolder::filePath(const QString& name) const
{
    return m_folder.filePath(name);
}

void StagingFolder::commitAs(const QString& destination)
{
#ifndef Q_OS_WIN
    // A temporary folder is its owner's alone while it is built; the folder it becomes is an
    // ordinary one, with the mode every new folder gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::chmod(QFile::encodeName(m_folder.path()).constData(), 0777 & ~mask) != 0)
        fail(QStringLiteral("make the folder"), destination, systemReason(errno));
#endif
    syncFolder(m_folder.path());
    renameWithoutReplacing(m_folder.path(), destination);
    m_folder.setAutoRemove(false);
    syncFolder(m_parent);
}

} // namespace bootvane
