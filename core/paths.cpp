#include "paths.h"

#include "error.h"
#include "filenames.h"

#include <QDir>
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

} // namespace bootvane
