#include "drive.h"

#include "error.h"

namespace bootvane {

const MsdosSys& Drive::msdosSys() const
{
    return m_msdosSys ? *m_msdosSys : rereadMsdosSys();
}

const MsdosSys& Drive::rereadMsdosSys() const
{
    // MSDOS.SYS is a short text file; padding aside it holds a few dozen lines.
    constexpr qint64 largestMsdosSys = 64 * 1024;
    const QString dosPath = QStringLiteral("C:\\MSDOS.SYS");
    // Only an absent file says nothing. One that is there but cannot be read may name another
    // Windows folder, and the screens written to C:\WINDOWS would be where Windows never looks.
    QString unreadable;
    std::optional<DriveFile> file;
    try {
        file = readFiles({dosPath}, largestMsdosSys).front();
        if (file->isFolder)
            unreadable = QStringLiteral("C:\\MSDOS.SYS is a folder");
    } catch (const Error& error) {
        // A drive that cannot be reached at all is reported as such by whatever needs it.
        if (error.path().contains(QLatin1String("MSDOS.SYS"), Qt::CaseInsensitive))
            unreadable = QStringLiteral("C:\\MSDOS.SYS cannot be read (%1)").arg(error.reason());
    }
    m_msdosSys = file && file->bytes ? parseMsdosSys(*file->bytes) : MsdosSys();
    if (!unreadable.isEmpty())
        m_msdosSys->windowsFolderProblem =
            unreadable + QStringLiteral(", so nobody can tell which folder it names for Windows");
    return *m_msdosSys;
}

QString Drive::systemFile(const ScreenSlot& slot) const
{
    // C:\logo.sys lies in the root, whatever folder Windows is in.
    if (&slot == &screenSlots[0])
        return QLatin1String(slot.systemFileWritten);
    const MsdosSys& facts = msdosSys();
    if (!facts.windowsFolderProblem.isEmpty())
        fail(QStringLiteral("find the %1 through").arg(QLatin1String(slot.uiName)),
             displayPath(QStringLiteral("C:\\MSDOS.SYS")), facts.windowsFolderProblem);
    if (facts.windowsFolder == QLatin1String(defaultWindowsFolder))
        return QLatin1String(slot.systemFileWritten);
    return dosPathIn(facts.windowsFolder, QLatin1String(slot.setFileName));
}

QStringList systemFiles(const Drive& drive)
{
    QStringList files;
    for (const ScreenSlot& slot : screenSlots)
        files.append(drive.systemFile(slot));
    return files;
}

} // namespace bootvane
