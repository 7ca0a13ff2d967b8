#include "drivechoice.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "folderdrive.h"
#include "imagedrive.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <algorithm>

namespace bootvane {

namespace {

QString settingsKey(const QString& base)
{
    // Paths as keys: every byte of the folder's name kept, no "/" to make groups of it.
    return QStringLiteral("DrivesByWorkingFolder/") +
           QString::fromLatin1(encodeFileName(base).toPercentEncoding());
}

const QString imageFolderKey = QStringLiteral("LastImageFolder");

bool isFolder(const QString& path)
{
    return fileAttributesIfPresent(path).value_or(0) & attributeFolder;
}

} // namespace

std::unique_ptr<Drive> openDrive(const QString& path)
{
    // A daemon a killed copy left would hold its image, whichever drive this start opens.
    sweepAbandonedExports();
    if (isFolder(path))
        return FolderDrive::atFolder(absoluteFileName(path));
    return ImageDrive::open(path);
}

std::unique_ptr<Drive> defaultDrive()
{
    return FolderDrive::wine();
}

std::unique_ptr<Drive> mappedWineDrive()
{
    std::unique_ptr<Drive> wine = defaultDrive();
    try {
        (void)wine->place();
    } catch (const Error&) {
        return nullptr;
    }
    return wine;
}

void refuseDriveAmongSets(const Drive& drive, const QString& base)
{
    if (!dynamic_cast<const FolderDrive*>(&drive) ||
        !liesWithin(drive.place(), realWriteTarget(base)))
        return;
    fail(QStringLiteral("open drive C at"), drive.place(),
         QStringLiteral("it is the folder of the sets, or lies inside it; open the folder that "
                        "is the root of drive C, a mounted disk or card"));
}

bool looksLikeDriveC(const Drive& drive)
{
    if (!dynamic_cast<const FolderDrive*>(&drive))
        return true;
    try {
        const std::vector<DriveFile> found =
            drive.readFiles({QStringLiteral("C:\\MSDOS.SYS"), QStringLiteral("C:\\LOGO.SYS"),
                             QLatin1String(defaultWindowsFolder)});
        return std::any_of(found.begin(), found.end(),
                           [](const DriveFile& file) { return file.bytes || file.isFolder; });
    } catch (const Error&) {
        return true; // something stands there that cannot be read: it is no empty folder
    }
}

void rememberDrive(QSettings& settings, const QString& base, const Drive& drive)
{
    if (drive.source().isEmpty())
        settings.remove(settingsKey(base));
    else
        settings.setValue(settingsKey(base), drive.source());
}

std::unique_ptr<Drive> recallDrive(QSettings& settings, const QString& base)
{
    const QString source = settings.value(settingsKey(base)).toString();
    if (source.isEmpty())
        return nullptr;
    try {
        return openDrive(source);
    } catch (const Error& error) {
        // Named as the user knows it: a folder that is gone was found to be no disk image.
        fail(QStringLiteral("open the drive C last used with these sets"), source, error.reason());
    }
}

QString imageFolder(QSettings& settings)
{
    const QString folder = settings.value(imageFolderKey).toString();
    return !folder.isEmpty() && isFolder(folder) ? folder : QDir::homePath();
}

void noteImageOpened(QSettings& settings, const Drive& drive)
{
    if (drive.source().isEmpty() || isFolder(drive.source()))
        return;
    // Written only when it changes: most starts open the image of the start before.
    const QString folder = QFileInfo(drive.source()).absolutePath();
    if (settings.value(imageFolderKey).toString() != folder)
        settings.setValue(imageFolderKey, folder);
}

} // namespace bootvane
