#include "drivechoice.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "folderdrive.h"
#include "imagedrive.h"

#include <QFileInfo>
#include <QSettings>

namespace bootvane {

namespace {

QString settingsKey(const QString& base)
{
    // Paths as keys: every byte of the folder's name kept, no "/" to make groups of it.
    return QStringLiteral("DrivesByWorkingFolder/") +
           QString::fromLatin1(encodeFileName(base).toPercentEncoding());
}

} // namespace

std::unique_ptr<Drive> openDrive(const QString& path)
{
    if (fileAttributesIfPresent(path).value_or(0) & attributeFolder)
        return FolderDrive::atFolder(QFileInfo(path).absoluteFilePath());
    return ImageDrive::open(path);
}

std::unique_ptr<Drive> defaultDrive()
{
    return FolderDrive::wine();
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
    return openDrive(source);
}

} // namespace bootvane
