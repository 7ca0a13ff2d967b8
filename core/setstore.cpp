#include "setstore.h"

#include "drivec.h"
#include "filesystem.h"
#include "paths.h"

#include <QDir>
#include <QRegularExpression>

namespace bootvane {

bool originalsMissing()
{
    return firstMatch(originalsName, attributeFolder).isEmpty();
}

void backupOriginals()
{
    StagingFolder staging(QDir::currentPath());
    for (const ScreenSlot& slot : screenSlots) {
        // A system file that is absent is recorded by its absence: Windows used its own
        // screen, and restoring puts that back by removing the file.
        const QString systemFile = driveCPath(QLatin1String(slot.systemFileWritten));
        if (!isAbsent(systemFile))
            copyFile(systemFile, staging.filePath(QLatin1String(slot.setFileName)));
    }
    staging.commitAs(originalsName);
}

QStringList setFolderNames(const QString& base)
{
    QStringList sets;
    const QStringList entries = listFolder(base, attributeFolder);
    for (const QString& name : entries) {
        if (name == QLatin1String("..") || name == QLatin1String(".") || name == originalsName)
            continue;
        if (fileAttributes(base + name) & attributeFolder)
            sets.append(name);
    }
    return sets;
}

bool isPlainFolderName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
#ifndef Q_OS_WIN
    // Here a name that starts with a dot makes a hidden folder, which is never listed as a set.
    if (name.startsWith(QLatin1Char('.')))
        return false;
#endif
    if (name.endsWith(QLatin1Char(' ')) || name.endsWith(QLatin1Char('.')))
        return false;
    if (name.toUtf8().size() > 255)
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("/\\:*?\"<>|").contains(c))
            return false;
    }
    // Windows keeps these names for devices, also with any extension ("con.txt").
    static const QRegularExpression deviceName(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return !deviceName.match(name).hasMatch();
}

void makeSet(const QString& base, const QString& name,
             const std::array<QString, slotCount>& chosenFiles)
{
    StagingFolder staging(base);
    for (int i = 0; i < slotCount; ++i) {
        if (!chosenFiles[i].isEmpty())
            copyFile(chosenFiles[i], staging.filePath(QLatin1String(screenSlots[i].setFileName)));
    }
    staging.commitAs(base + name);
}

} // namespace bootvane
