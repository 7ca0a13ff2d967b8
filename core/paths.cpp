#include "paths.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace bootvane {

namespace {

#ifndef Q_OS_WIN
// The working folder as the system reports it, in bytes; empty with errno set when it cannot.
QByteArray currentFolderBytes()
{
    QByteArray buffer(4096, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), size_t(buffer.size())))
            return QByteArray(buffer.constData());
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

// The best name there is for a working folder that getcwd cannot give: the link the kernel
// keeps for it, which names a deleted folder too.
QString lostFolderName()
{
    QByteArray target(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/cwd", target.data(), size_t(target.size()));
    if (length <= 0)
        return QStringLiteral(".");
    target.truncate(length);
    if (target.endsWith(" (deleted)"))
        target.chop(10);
    return decodeFileName(target);
}
#endif

// The path with every link resolved, or as it is when it leads nowhere.
QString realPath(const QString& path)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? path : real;
}

// Makes the folder at path and those on the way to it that are missing.
void makeFolders(QString path)
{
    while (path.size() > 1 && path.endsWith(pathSeparator()))
        path.chop(1);
    if (fileAttributesIfPresent(path))
        return;
    const QString parent = QFileInfo(path).path();
    if (parent != path)
        makeFolders(parent);
    makeFolder(path);
}

} // namespace

QString pathSeparator()
{
    return QString(QDir::separator());
}

QString basePath()
{
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(QDir::currentPath()) + pathSeparator();
#else
    // Qt gives "" for a folder it cannot name, and "" & "/" is the root folder: the sets
    // would be made there.
    const QByteArray folder = currentFolderBytes();
    if (folder.isEmpty()) {
        const QString reason = systemReason(errno);
        fail(QStringLiteral("find the working folder"), lostFolderName(), reason);
    }
    return decodeFileName(folder) + pathSeparator();
#endif
}

QString setFilePath(const QString& base, const QString& setName, const ScreenSlot& slot)
{
    return base + setName + pathSeparator() + QLatin1String(slot.setFileName);
}

QString menuSetsFolder()
{
    // The settings are read as the launcher reads them when xdg-user-dir is missing: the last
    // XDG_DOCUMENTS_DIR="..." line, "$HOME" at its start standing for the home folder. Only an
    // absolute path counts.
    const QString home = QDir::homePath();
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = home + QStringLiteral("/.config");
    const QString settings =
        decodeFileName(readSmallFile(config + QStringLiteral("/user-dirs.dirs"), 64 * 1024)
                           .value_or(QByteArray()));
    static const QRegularExpression documentsLine(
        QStringLiteral("^XDG_DOCUMENTS_DIR=\"(.*)\"[ \t]*$"), QRegularExpression::MultilineOption);
    QString documents;
    for (auto lines = documentsLine.globalMatch(settings); lines.hasNext();)
        documents = lines.next().captured(1);
    if (documents.startsWith(QLatin1String("$HOME")))
        documents = home + documents.mid(5);
    if (!documents.startsWith(QLatin1Char('/')))
        documents = home;
    if (documents.endsWith(QLatin1Char('/')))
        documents.chop(1);
    return documents + QStringLiteral("/Bootvane");
}

SetsFolder enterSetsFolder(const QString& asked)
{
    const QString operation = QStringLiteral("keep the sets in");
    const QString started = basePath();
    SetsFolder sets;
    QString folder = asked;
    if (folder.isEmpty()) {
        // Compared as real paths: the home folder may be reached through a link.
        if (realPath(started) != realPath(QDir::homePath()))
            return sets;
        folder = menuSetsFolder();
        sets.apartFromHome = true;
    } else if (QDir::isRelativePath(folder)) {
        folder = started + folder;
    }
    const std::optional<int> attributes = fileAttributesIfPresent(folder);
    if (attributes && !(*attributes & attributeFolder))
        fail(operation, folder, QStringLiteral("it is a file, not a folder"));
    if (!attributes) {
        makeFolders(folder);
        sets.made = true;
    }
#ifdef Q_OS_WIN
    if (!QDir::setCurrent(folder))
        fail(operation, folder, QStringLiteral("it cannot be made the working folder"));
#else
    if (::chdir(encodeFileName(folder).constData()) != 0)
        fail(operation, folder, systemReason(errno));
#endif
    return sets;
}

} // namespace bootvane
