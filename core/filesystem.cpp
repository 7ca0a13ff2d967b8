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

#ifndef Q_OS_WIN
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

QString fromFsName(const fs::path& name)
{
#ifdef Q_OS_WIN
    return QString::fromStdWString(name.wstring());
#else
    return QFile::decodeName(name.c_str());
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

bool isHiddenName(const QString& name, const fs::path& path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(name);
    return QFileInfo(fromFsName(path)).isHidden();
#else
    Q_UNUSED(path);
    return name.startsWith(QLatin1Char('.'));
#endif
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

QString folderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
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

    QStringList names;
    std::error_code error;
    fs::directory_iterator it(toFsPath(folder), error);
    if (error)
        fail(QStringLiteral("list the folder"), folder, reasonOf(error));
    for (; it != fs::directory_iterator(); it.increment(error)) {
        const QString name = fromFsName(it->path().filename());
        if (isHiddenName(name, it->path()))
            continue;
        if (!wholeFolder) {
            const bool matches = literal ? name.compare(namePattern, fileSystemCase) == 0
                                         : matcher.match(name).hasMatch() ||
                                               (anyExtension && !name.contains(QLatin1Char('.')) &&
                                                withoutExtension.match(name).hasMatch());
            if (!matches)
                continue;
        }
        std::error_code typeError;
        if (!(mask & attributeFolder) && it->is_directory(typeError))
            continue;
        names.append(name);
    }
    if (error)
        fail(QStringLiteral("list the folder"), folder, reasonOf(error));

    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
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
    int attributes = 0;
    if (fs::is_directory(status))
        attributes |= attributeFolder;
    if (isHiddenName(QFileInfo(path).fileName(), toFsPath(path)))
        attributes |= attributeHidden;
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
    syncFolder(folderOf(path));
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
