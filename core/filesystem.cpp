#include "filesystem.h"

#include "error.h"
#include "filenames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef Q_OS_WIN
#include <QSaveFile>
#else
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace bootvane {

namespace fs = std::filesystem;

namespace {

[[maybe_unused]] fs::path toFsPath(const QString& path)
{
#ifdef Q_OS_WIN
    return fs::path(path.toStdWString());
#else
    return fs::path(encodeFileName(path).toStdString());
#endif
}

[[maybe_unused]] QString reasonOf(const std::error_code& error)
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

// Names of the work in progress that removeAbandonedWork() may take away.
constexpr char stagingPrefix[] = ".bootvane-staging-";
constexpr char temporaryFilePrefix[] = ".bootvane-new-";

#ifndef Q_OS_WIN

// Forces what was written to fd to disk; what a rename later makes visible must be there.
void syncToDisk(int fd, const QString& path)
{
    if (::fdatasync(fd) != 0)
        fail(QStringLiteral("write"), path, systemReason(errno));
}

// Writes every byte of bytes to fd, or fails with the system's reason.
void writeAll(int fd, const char* bytes, qsizetype size, const QString& path)
{
    qsizetype done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, bytes + done, size_t(size - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            fail(QStringLiteral("write"), path, systemReason(errno));
        if (written == 0)
            fail(QStringLiteral("write"), path, systemReason(EIO));
        done += written;
    }
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // Hands the descriptor over to whoever closes it from now on.
    void release() { m_fd = -1; }

private:
    int m_fd;
};

// The folder part of a path in bytes: "." for a bare name, "/" for a name at the root.
QByteArray folderOf(const QByteArray& path)
{
    const qsizetype cut = path.lastIndexOf('/');
    if (cut < 0)
        return QByteArrayLiteral(".");
    return cut == 0 ? QByteArrayLiteral("/") : path.left(cut);
}

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    if (folder.isEmpty())
        return name;
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray randomSuffix()
{
    static constexpr char letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray suffix(6, '\0');
    for (char& c : suffix)
        c = letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
    return suffix;
}

// Makes a new entry named prefix + a random suffix in folder with make(path), which gives a
// descriptor or -1 with errno set, and locks it for as long as the descriptor stays open.
// Gives the descriptor and sets path, or -1 with errno set. Where the file system has no
// locks (some network file systems) the entry is unlocked, and then nothing ever takes it
// for abandoned.
template <typename Make>
int makeLocked(const QByteArray& folder, const char* prefix, QByteArray& path, Make make)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = joined(folder, prefix + randomSuffix());
        const int fd = make(path);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return -1;
        (void)::flock(fd, LOCK_EX);
        // Between the making and the lock, another Bootvane may have taken the entry for one
        // whose owner died and removed it: then it has no name any more, and we start over.
        struct stat status {};
        if (::fstat(fd, &status) != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        if (status.st_nlink > 0)
            return fd;
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

// Removes everything inside the folder open as fd; false if anything stays.
bool removeContents(int fd)
{
    const int listed = ::dup(fd);
    DIR* dir = listed < 0 ? nullptr : ::fdopendir(listed);
    if (!dir) {
        if (listed >= 0)
            ::close(listed);
        return false;
    }
    std::vector<QByteArray> names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    bool removed = true;
    for (const QByteArray& name : names) {
        if (::unlinkat(fd, name.constData(), 0) == 0)
            continue;
        if (errno != EISDIR && errno != EPERM) {
            removed = false;
            continue;
        }
        const Descriptor inner(
            ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        removed = inner.get() >= 0 && removeContents(inner.get()) &&
                  ::unlinkat(fd, name.constData(), AT_REMOVEDIR) == 0 && removed;
    }
    return removed;
}

// Makes a rename durable; the rename has happened whatever this gives.
bool syncFolder(const QByteArray& folder)
{
    const Descriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

// Whether path names the very file or folder open as fd, links not followed.
bool namesOpenEntry(const QByteArray& path, int fd)
{
    struct stat open {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::lstat(path.constData(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// Whether flock on this file system keeps a second taker out. Some FUSE and network file
// systems accept every lock and enforce none; there a lock tells nothing about its owner.
// fd must be locked already; path is a second way to the same file.
bool locksAreEnforced(const QByteArray& path)
{
    const Descriptor second(
        ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (second.get() < 0)
        return false;
    return ::flock(second.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

#endif

// Renames source to destination unless something is there already; false then.
bool renameUnlessTaken(const QString& source, const QString& destination)
{
    const QString operation = QStringLiteral("rename a folder to");
#ifdef Q_OS_WIN
    if (QFileInfo::exists(destination) || QFileInfo(destination).isSymLink())
        return false;
    std::error_code error;
    fs::rename(toFsPath(source), toFsPath(destination), error);
    if (error)
        fail(operation, destination, reasonOf(error));
    return true;
#else
    const QByteArray from = encodeFileName(source);
    const QByteArray to = encodeFileName(destination);
#if defined(Q_OS_LINUX) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno != EINVAL && errno != ENOSYS)
        fail(operation, destination, systemReason(errno));
#endif
    // Where the file system cannot refuse by itself, look first; only a race can slip past.
    struct stat status {};
    if (::lstat(to.constData(), &status) == 0)
        return false;
    if (::rename(from.constData(), to.constData()) == 0)
        return true;
    if (errno == EEXIST || errno == ENOTEMPTY)
        return false;
    fail(operation, destination, systemReason(errno));
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
    DIR* dir = ::opendir(encodeFileName(folder).constData());
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
        visit(decodeFileName(QByteArray(rawName)), [type, dirFd, rawName] {
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

#ifndef Q_OS_WIN
// What listing folder for exactly name gives: name itself when it is a visible entry (a
// folder only when mask asks for folders), else nothing. Throws as the listing would when
// the folder cannot be read.
QStringList entryByName(const QString& folder, const QString& name, int mask)
{
    const QByteArray encodedFolder = encodeFileName(folder);
    if (name.isEmpty() || name.startsWith(QLatin1Char('.'))) {
        if (::access(encodedFolder.constData(), R_OK | X_OK) != 0)
            fail(QStringLiteral("list the folder"), folder, systemReason(errno));
        return {};
    }
    const QByteArray path = joined(encodedFolder, encodeFileName(name));
    struct stat entry {};
    if (::lstat(path.constData(), &entry) != 0) {
        // No such entry, or a name no entry can have (too long): the listing finds nothing.
        if (::access(encodedFolder.constData(), R_OK | X_OK) != 0)
            fail(QStringLiteral("list the folder"), folder, systemReason(errno));
        return {};
    }
    struct stat target {};
    const bool isFolder = ::stat(path.constData(), &target) == 0 && S_ISDIR(target.st_mode);
    if (isFolder && !(mask & attributeFolder))
        return {};
    return {name};
}
#endif

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
#ifndef Q_OS_WIN
    // One name, where case counts: asking for it is the listing. Applying a set asks
    // whether "Originals" is there, and a working folder may hold thousands of sets.
    if (!wholeFolder && literal)
        return entryByName(folder, namePattern, mask);
#endif
    const QRegularExpression matcher = dosWildcard(namePattern);
    // As on DOS, "name.*" also matches "name" itself: a name without a dot has an empty
    // extension, which ".*" matches.
    const bool anyExtension = namePattern.endsWith(QLatin1String(".*"));
    const QRegularExpression withoutExtension =
        anyExtension ? dosWildcard(namePattern.chopped(2)) : QRegularExpression();

    auto matches = [&](const QString& name) {
        if (wholeFolder)
            return true;
        if (literal)
            return name.compare(namePattern, fileSystemCase) == 0;
        // A name that is not UTF-8 is matched as it is shown, one character per odd byte:
        // the expression engine takes only well-formed text.
        const QString text = displayFileName(name);
        return matcher.match(text).hasMatch() ||
               (anyExtension && !text.contains(QLatin1Char('.')) &&
                withoutExtension.match(text).hasMatch());
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

std::optional<int> fileAttributesIfPresent(const QString& path)
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
        if (linkError == std::errc::no_such_file_or_directory)
            return std::nullopt;
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
    const QByteArray encoded = encodeFileName(path);
    struct stat info {};
    if (::stat(encoded.constData(), &info) != 0) {
        const int error = errno;
        // A link whose target is gone is still an entry of its folder, and no folder: the
        // listing gives it, so asking for its attributes must not fail.
        struct stat link {};
        if (::lstat(encoded.constData(), &link) != 0 && (errno == ENOENT || errno == ENOTDIR))
            return std::nullopt;
        if (!S_ISLNK(link.st_mode))
            fail(QStringLiteral("read the attributes of"), path, systemReason(error));
    } else if (S_ISDIR(info.st_mode)) {
        attributes |= attributeFolder;
    }
    if (path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).startsWith(QLatin1Char('.')))
        attributes |= attributeHidden;
#endif
    return attributes;
}

int fileAttributes(const QString& path)
{
    if (const std::optional<int> attributes = fileAttributesIfPresent(path))
        return *attributes;
    fail(QStringLiteral("read the attributes of"), path, systemReason(ENOENT));
}

void makeFolder(const QString& path)
{
#ifdef Q_OS_WIN
    std::error_code error;
    if (!fs::create_directory(toFsPath(path), error)) {
        fail(QStringLiteral("make the folder"), path,
             error ? reasonOf(error) : systemReason(EEXIST));
    }
#else
    if (::mkdir(encodeFileName(path).constData(), 0777) != 0)
        fail(QStringLiteral("make the folder"), path, systemReason(errno));
#endif
}

void openPlainFile(QFile& file, const QString& path, const QString& operation,
                   const QString& notAFile)
{
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (info.isDir())
        fail(operation, path, systemReason(EISDIR));
    if (info.exists() && !info.isFile())
        fail(operation, path, notAFile);
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(operation, path, file.errorString());
#else
    Descriptor fd(::open(encodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        fail(operation, path, systemReason(errno));
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0)
        fail(operation, path, systemReason(errno));
    if (S_ISDIR(status.st_mode))
        fail(operation, path, systemReason(EISDIR));
    if (!S_ISREG(status.st_mode))
        fail(operation, path, notAFile);
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        fail(operation, path, file.errorString());
    fd.release();
#endif
}

void copyFile(const QString& source, const QString& destination)
{
    QFile in;
    openPlainFile(in, source, QStringLiteral("copy"),
                  QStringLiteral("it is a device, pipe or socket, not a file"));
#ifdef Q_OS_WIN
    QFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        fail(QStringLiteral("write"), destination, out.errorString());
    try {
        while (!in.atEnd()) {
            const QByteArray chunk = in.read(1 << 16);
            if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
                fail(QStringLiteral("copy"), source, in.errorString());
            if (chunk.isEmpty())
                break;
            if (out.write(chunk) != chunk.size() || !out.flush())
                fail(QStringLiteral("write"), destination, out.errorString());
        }
    } catch (const Error&) {
        out.remove();
        throw;
    }
#else
    const QByteArray target = encodeFileName(destination);
    const Descriptor out(::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (out.get() < 0)
        fail(QStringLiteral("write"), destination, systemReason(errno));
    // The destination was made here, so a copy that fails half-way takes it away again
    // rather than leave a file that looks whole.
    try {
        QByteArray chunk(1 << 16, Qt::Uninitialized);
        for (;;) {
            const ssize_t got = ::read(in.handle(), chunk.data(), size_t(chunk.size()));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                fail(QStringLiteral("copy"), source, systemReason(errno));
            if (got == 0)
                break;
            writeAll(out.get(), chunk.constData(), got, destination);
        }
        syncToDisk(out.get(), destination);
    } catch (const Error&) {
        ::unlink(target.constData());
        throw;
    }
#endif
}

void writeNewFile(const QString& path, const QByteArray& bytes)
{
#ifdef Q_OS_WIN
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        fail(QStringLiteral("write"), path, out.errorString());
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        const QString reason = out.errorString();
        out.remove();
        fail(QStringLiteral("write"), path, reason);
    }
#else
    const QByteArray target = encodeFileName(path);
    const Descriptor out(::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (out.get() < 0)
        fail(QStringLiteral("write"), path, systemReason(errno));
    try {
        writeAll(out.get(), bytes.constData(), bytes.size(), path);
        syncToDisk(out.get(), path);
    } catch (const Error&) {
        ::unlink(target.constData());
        throw;
    }
#endif
}

QString realWriteTarget(const QString& path)
{
#ifdef Q_OS_WIN
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? QFileInfo(path).absoluteFilePath() : real;
#else
    // The whole path when it leads somewhere (a link to its target); else its folder's real
    // path and its own name, which is what a new file there would be.
    const QByteArray encoded = encodeFileName(path);
    if (char* resolved = ::realpath(encoded.constData(), nullptr)) {
        const QString real = decodeFileName(QByteArray(resolved));
        ::free(resolved);
        return real;
    }
    const QByteArray folder = folderOf(encoded);
    char* resolvedFolder = ::realpath(folder.constData(), nullptr);
    if (!resolvedFolder)
        return decodeFileName(encoded);
    const QByteArray real =
        joined(QByteArray(resolvedFolder), encoded.mid(encoded.lastIndexOf('/') + 1));
    ::free(resolvedFolder);
    return decodeFileName(real);
#endif
}

QString absoluteFileName(const QString& path)
{
#ifdef Q_OS_WIN
    return QFileInfo(path).absoluteFilePath();
#else
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    char* folder = ::getcwd(nullptr, 0);
    if (!folder)
        return QFileInfo(path).absoluteFilePath();
    const QString absolute = decodeFileName(QByteArray(folder)) + QLatin1Char('/') + path;
    ::free(folder);
    return QDir::cleanPath(absolute);
#endif
}

bool liesWithin(const QString& native, const QString& folder)
{
    const QString path = QDir::fromNativeSeparators(native);
    QString within = QDir::fromNativeSeparators(folder);
    while (within.size() > 1 && isSeparator(within.back()))
        within.chop(1);
    const QString below = within.size() == 1 ? within : within + QLatin1Char('/');
    if (path.compare(within, fileSystemCase) == 0 || path.startsWith(below, fileSystemCase))
        return true;
#ifdef Q_OS_WIN
    return false;
#else
    // The same folder may go by another path: a bind mount, or a file system that ignores
    // case. Then devices and inodes tell: path, or a folder above it, is the folder.
    struct stat status {};
    if (::stat(encodeFileName(within).constData(), &status) != 0)
        return false;
    for (QByteArray above = encodeFileName(path);; above = folderOf(above)) {
        struct stat at {};
        if (::stat(above.constData(), &at) == 0 && at.st_dev == status.st_dev &&
            at.st_ino == status.st_ino)
            return true;
        if (above == "/" || above == ".")
            return false;
    }
#endif
}

bool changesWorkingFolder(const QString& path, const QString& workingFolder)
{
    const QString folder = QFileInfo(path).path();
    const QString work = realWriteTarget(workingFolder);
    if (liesWithin(folder, work))
        return true;
#ifdef Q_OS_WIN
    return false;
#else
    // The folder may also be one of the working folder's own (a set, "Originals", or the
    // originals of another drive, a level further down) by another path.
    struct stat target {
    }, workStatus{};
    if (::stat(encodeFileName(folder).constData(), &target) != 0 ||
        ::stat(encodeFileName(work).constData(), &workStatus) != 0 ||
        target.st_dev != workStatus.st_dev)
        return false;
    // A readdir a level, no stat an entry: the working folder may hold thousands of sets.
    std::vector<QByteArray> levels{encodeFileName(work)};
    for (size_t level = 0; level < levels.size(); ++level) {
        DIR* dir = ::opendir(levels[level].constData());
        if (!dir)
            continue;
        bool found = false;
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            if (entry->d_ino == target.st_ino) {
                found = true;
                break;
            }
            if (level == 0 && name.startsWith(".bootvane-"))
                levels.push_back(joined(levels[0], name));
        }
        ::closedir(dir);
        if (found)
            return true;
    }
    return false;
#endif
}

void replaceFileAtomically(const QString& path, const QByteArray& bytes, LinkHandling links)
{
#ifdef Q_OS_WIN
    Q_UNUSED(links); // links are not made on Windows
    const QFileInfo target(path);
    if (target.isDir())
        fail(QStringLiteral("write"), path, systemReason(EISDIR));
    if (target.exists() && !target.isWritable())
        fail(QStringLiteral("write"), path, systemReason(EACCES));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("write"), path, file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush())
        fail(QStringLiteral("write"), path, file.errorString());
    if (!file.commit())
        fail(QStringLiteral("write"), path, file.errorString());
#else
    const QString operation = QStringLiteral("write");
    QByteArray target = encodeFileName(path);
    // Through a link the file it leads to is replaced, and the link stays, unless the link
    // itself is to give way; a link that leads nowhere is replaced itself.
    struct stat status {};
    const bool isLink = ::lstat(target.constData(), &status) == 0 && S_ISLNK(status.st_mode);
    if (isLink && links == LinkHandling::Follow) {
        if (char* resolved = ::realpath(target.constData(), nullptr)) {
            target = resolved;
            ::free(resolved);
        }
    }
    const bool replacesLink = isLink && links == LinkHandling::ReplaceLink;
    const bool exists = !replacesLink && ::stat(target.constData(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode))
        fail(operation, path, systemReason(EISDIR));
    if (exists && ::access(target.constData(), W_OK) != 0)
        fail(operation, path, systemReason(errno));

    // Exactly the least that keeps the file whole: a temporary file beside it, one
    // fdatasync, one rename. The folder is not synced after the rename: the file is whole,
    // old or new, whatever happens, and a crash that loses the rename only leaves the old
    // screen in place.
    QByteArray temporary;
    const Descriptor fd(
        makeLocked(folderOf(target), temporaryFilePrefix, temporary, [](const QByteArray& name) {
            return ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        }));
    if (fd.get() < 0)
        fail(operation, path, systemReason(errno));
    try {
        // The old file's mode, where the new file did not get it anyway; best effort, as a
        // file system without modes (FAT) refuses it.
        struct stat made {};
        if (exists &&
            (::fstat(fd.get(), &made) != 0 || (made.st_mode & 07777) != (status.st_mode & 07777)))
            (void)::fchmod(fd.get(), status.st_mode & 07777);
        writeAll(fd.get(), bytes.constData(), bytes.size(), path);
        syncToDisk(fd.get(), path);
        if (::rename(temporary.constData(), target.constData()) != 0) {
            const int error = errno;
            // A network file system may lose the reply to a rename that was done: then the
            // target is already the new file, and the replace has happened.
            if (!namesOpenEntry(target, fd.get()))
                fail(operation, path, systemReason(error));
        }
    } catch (const Error&) {
        ::unlink(temporary.constData());
        throw;
    }
#endif
}

bool isAbsent(const QString& path)
{
#ifdef Q_OS_WIN
    return !QFileInfo::exists(path) && !QFileInfo(path).isSymLink();
#else
    struct stat info {};
    return ::lstat(encodeFileName(path).constData(), &info) != 0 &&
           (errno == ENOENT || errno == ENOTDIR);
#endif
}

EntryType entryType(const QString& path)
{
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction())
        return EntryType::Link;
    if (!info.exists())
        return EntryType::Absent;
    return info.isDir() ? EntryType::Folder : info.isFile() ? EntryType::File : EntryType::Other;
#else
    struct stat status {};
    if (::lstat(encodeFileName(path).constData(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR ? EntryType::Absent : EntryType::Other;
    if (S_ISLNK(status.st_mode))
        return EntryType::Link;
    if (S_ISDIR(status.st_mode))
        return EntryType::Folder;
    return S_ISREG(status.st_mode) ? EntryType::File : EntryType::Other;
#endif
}

#ifdef Q_OS_WIN

bool removeMadeFolder(const QString& path, const QStringList& names)
{
    if (entryType(path) != EntryType::Folder)
        return isAbsent(path);
    for (const QString& name : names) {
        if (entryType(path + QLatin1Char('/') + name) != EntryType::Folder)
            QFile::remove(path + QLatin1Char('/') + name);
    }
    return QDir().rmdir(path);
}

void removeMadeFolders(const QString& folder, const QString& prefix, const QStringList& names)
{
    for (const QString& name : QDir(folder).entryList(
             {prefix + QLatin1Char('*')}, QDir::AllEntries | QDir::Hidden | QDir::System))
        removeMadeFolder(folder + QLatin1Char('/') + name, names);
}

#else

namespace {

// Removes the folder name of the folder open as parent, as removeMadeFolder says. Opened
// without following a link, emptied of names through that descriptor: whatever a name or
// the folder's own name comes to lead to meanwhile, nothing elsewhere is removed.
bool removeMadeEntry(int parent, const QByteArray& name, const QStringList& names)
{
    const Descriptor fd(
        ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0)
        return errno == ENOENT;
    for (const QString& file : names)
        (void)::unlinkat(fd.get(), encodeFileName(file).constData(), 0);
    return ::unlinkat(parent, name.constData(), AT_REMOVEDIR) == 0;
}

} // namespace

bool removeMadeFolder(const QString& path, const QStringList& names)
{
    const QByteArray encoded = encodeFileName(path);
    const Descriptor parent(
        ::open(folderOf(encoded).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return parent.get() >= 0 &&
           removeMadeEntry(parent.get(), encoded.mid(encoded.lastIndexOf('/') + 1), names);
}

void removeMadeFolders(const QString& folder, const QString& prefix, const QStringList& names)
{
    DIR* dir = ::opendir(encodeFileName(folder).constData());
    if (!dir)
        return;
    const QByteArray start = encodeFileName(prefix);
    std::vector<QByteArray> found;
    while (const dirent* entry = ::readdir(dir)) {
        if (QByteArray(entry->d_name).startsWith(start))
            found.emplace_back(entry->d_name);
    }
    for (const QByteArray& name : found)
        removeMadeEntry(::dirfd(dir), name, names);
    ::closedir(dir);
}

#endif

void removeFile(const QString& path)
{
#ifdef Q_OS_WIN
    if (QFileInfo(path).isDir())
        fail(QStringLiteral("remove"), path, systemReason(EISDIR));
    std::error_code error;
    fs::remove(toFsPath(path), error);
    if (error && error != std::errc::no_such_file_or_directory)
        fail(QStringLiteral("remove"), path, reasonOf(error));
#else
    const QByteArray encoded = encodeFileName(path);
    struct stat info {};
    if (::lstat(encoded.constData(), &info) == 0 && S_ISDIR(info.st_mode))
        fail(QStringLiteral("remove"), path, systemReason(EISDIR));
    if (::unlink(encoded.constData()) != 0 && errno != ENOENT)
        fail(QStringLiteral("remove"), path, systemReason(errno));
#endif
}

std::optional<QByteArray> readSmallFileNotLink(const QString& path, qint64 maxBytes)
{
    return entryType(path) == EntryType::File ? readSmallFile(path, maxBytes) : std::nullopt;
}

std::optional<QByteArray> readSmallFile(const QString& path, qint64 maxBytes)
{
    QFile file;
    try {
        openPlainFile(file, path, QStringLiteral("read"), QStringLiteral("it is no file"));
    } catch (const Error&) {
        return std::nullopt;
    }
    if (file.size() > maxBytes)
        return std::nullopt;
    QByteArray bytes = file.read(maxBytes);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

void renameWithoutReplacing(const QString& source, const QString& destination)
{
    if (!renameUnlessTaken(source, destination))
        fail(QStringLiteral("rename a folder to"), destination, systemReason(EEXIST));
}

#ifdef Q_OS_WIN

StagingFolder::StagingFolder(const QString& parentFolder, const QString& operation)
    : m_parent(parentFolder), m_operation(operation)
{
    for (int attempt = 0; attempt < 100 && m_path.isEmpty(); ++attempt) {
        const QString path = parentFolder + QLatin1Char('/') + QLatin1String(stagingPrefix) +
                             QString::number(QRandomGenerator::global()->generate(), 36);
        std::error_code error;
        if (fs::create_directory(toFsPath(path), error))
            m_path = path;
        else if (error)
            failWith(reasonOf(error));
    }
    if (m_path.isEmpty())
        failWith(systemReason(EEXIST));
}

StagingFolder::~StagingFolder()
{
    std::error_code error;
    if (!m_path.isEmpty() && fs::remove_all(toFsPath(m_path), error) == 0 && error)
        fs::remove_all(toFsPath(m_path), error);
}

bool StagingFolder::commitAs(const QString& destination)
{
    if (!renameUnlessTaken(m_path, destination))
        return false;
    m_path.clear();
    return true;
}

// Without a lock nothing tells a dead owner's staging folder from a live one's.
void removeAbandonedWork(const QString&, AbandonedWork) {}

#else

StagingFolder::StagingFolder(const QString& parentFolder, const QString& operation)
    : m_parent(parentFolder), m_operation(operation)
{
    QByteArray path;
    m_lock =
        makeLocked(encodeFileName(parentFolder), stagingPrefix, path, [](const QByteArray& name) {
            if (::mkdir(name.constData(), 0700) != 0)
                return -1;
            const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) {
                const int error = errno;
                ::rmdir(name.constData());
                errno = error;
            }
            return fd;
        });
    if (m_lock < 0)
        failWith(systemReason(errno));
    m_path = decodeFileName(path);
}

StagingFolder::~StagingFolder()
{
    if (m_lock < 0)
        return;
    // Only while its name is still the staging folder's: a rename that reported failure may
    // have made it the real set or "Originals" all the same, and that must stay whole. A second
    // try, so that one passing failure does not leave the staging folder behind.
    const QByteArray path = encodeFileName(m_path);
    for (int attempt = 0; attempt < 2 && namesOpenEntry(path, m_lock); ++attempt) {
        if (removeContents(m_lock) && ::rmdir(path.constData()) == 0)
            break;
    }
    ::close(m_lock);
}

bool StagingFolder::commitAs(const QString& destination)
{
    // A temporary folder is its owner's alone while it is built; the folder it becomes is an
    // ordinary one, with the mode every new folder gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(m_lock, 0777 & ~mask) != 0)
        failWith(systemReason(errno));
    if (::fsync(m_lock) != 0)
        failWith(systemReason(errno));
    try {
        if (!renameUnlessTaken(m_path, destination))
            return false;
    } catch (const Error& error) {
        // The reply to a rename that was done may be lost (NFS, SMB): then the folder is in
        // place under its new name, and the commit has happened.
        if (!namesOpenEntry(encodeFileName(destination), m_lock))
            failWith(error.reason());
    }
    ::close(m_lock);
    m_lock = -1;
    // The set is in place and the user sees it: a folder that cannot be flushed now only
    // means that a crash might still lose it, and a save reported as failed would be untrue.
    (void)syncFolder(folderOf(encodeFileName(destination)));
    return true;
}

void removeAbandonedWork(const QString& folder, AbandonedWork kinds)
{
    const bool filesOnly = kinds == AbandonedWork::TemporaryFilesOnly;
    const QByteArray encoded = encodeFileName(folder);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir);
    std::vector<QByteArray> names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if ((!filesOnly && name.startsWith(stagingPrefix)) || name.startsWith(temporaryFilePrefix))
            names.push_back(name);
    }
    for (const QByteArray& name : names) {
        const Descriptor fd(
            ::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue; // gone meanwhile, or its owner is alive
        // A lock that was granted proves the owner dead only where locks keep others out.
        if (!locksAreEnforced(joined(encoded, name)))
            break;
        // The name must still be the entry that was locked: its owner may have renamed it
        // into place and let go of it since the listing.
        struct stat locked {
        }, named{};
        if (::fstat(fd.get(), &locked) != 0 ||
            ::fstatat(dirFd, name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            locked.st_dev != named.st_dev || locked.st_ino != named.st_ino)
            continue;
        if (filesOnly && !S_ISREG(locked.st_mode))
            continue;
        if (S_ISDIR(locked.st_mode)) {
            if (removeContents(fd.get()))
                ::unlinkat(dirFd, name.constData(), AT_REMOVEDIR);
        } else {
            ::unlinkat(dirFd, name.constData(), 0);
        }
    }
    ::closedir(dir);
}

#endif

QString StagingFolder::filePath(const QString& name) const
{
    return m_path + QLatin1Char('/') + name;
}

void StagingFolder::failWith(const QString& reason) const
{
    QString folder = m_parent;
    while (folder.size() > 1 && isSeparator(folder.back()))
        folder.chop(1);
    fail(m_operation, folder, reason);
}

void StagingFolder::rethrowInUsersWords(const Error& error) const
{
    if (!m_path.isEmpty() &&
        (error.path() == m_path || error.path().startsWith(m_path + QLatin1Char('/'))))
        failWith(error.reason());
    throw error;
}

} // namespace bootvane
