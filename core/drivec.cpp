#include "drivec.h"

#include "error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>

namespace bootvane {

#ifdef Q_OS_WIN

QString driveCLink()
{
    return {};
}

QString driveCPath(const QString& dosPath)
{
    return dosPath;
}

#else

QString driveCLink()
{
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::homePath() + QStringLiteral("/.wine");
    return prefix + QStringLiteral("/dosdevices/c:");
}

namespace {

// The entry of folder that is name in any case: the exact spelling if there is one,
// else the first that matches without case, else name itself (a file still to be made).
QString entryInAnyCase(const QString& folder, const QString& name)
{
    if (name == QLatin1String(".") || name == QLatin1String("..") ||
        QFileInfo::exists(folder + QLatin1Char('/') + name))
        return name;
    // A folder that cannot be listed is an error, never "no such entry": an absent system
    // file means Windows' built-in screen, and the backup would leave it out.
    std::error_code error;
    std::filesystem::directory_iterator it(
        std::filesystem::path(QFile::encodeName(folder).toStdString()), error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const QString entry = QFile::decodeName(it->path().filename().native().c_str());
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    if (error && error != std::errc::no_such_file_or_directory &&
        error != std::errc::not_a_directory)
        fail(QStringLiteral("list the folder"), folder,
             QString::fromLocal8Bit(error.message().c_str()));
    return name;
}

} // namespace

QString driveCPath(const QString& dosPath)
{
    if (!dosPath.startsWith(QLatin1String("c:"), Qt::CaseInsensitive))
        fail(QStringLiteral("find the file"), dosPath, QStringLiteral("it is not on drive C:"));

    const QString link = driveCLink();
    const QFileInfo linkInfo(link);
    if (!linkInfo.exists()) {
        fail(QStringLiteral("find drive C: at"), link,
             QStringLiteral("drive C: is not mapped (no such link or folder)"));
    }
    QString path = linkInfo.canonicalFilePath();

    const QStringList names = dosPath.mid(2).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& name : names)
        path += QLatin1Char('/') + entryInAnyCase(path, name);
    return path;
}

#endif

} // namespace bootvane
