#include "msdossys.h"

#include <QList>

namespace bootvane {

namespace {

// Whether name is one 8.3 name as DOS keeps it in a folder: a base of one to eight characters,
// an extension of up to three, none of the characters DOS refuses or reads as wildcards.
bool isDosName(const QByteArray& name)
{
    const qsizetype dot = name.indexOf('.');
    const QByteArray base = dot < 0 ? name : name.left(dot);
    const QByteArray extension = dot < 0 ? QByteArray() : name.mid(dot + 1);
    if (base.isEmpty() || base.size() > 8 || extension.size() > 3 || extension.contains('.') ||
        (dot >= 0 && extension.isEmpty()))
        return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        // Plain ASCII only: a name in a DOS code page would reach mtools in another spelling.
        if (byte <= 0x20 || byte >= 0x7f || QByteArrayView("\"*+,/:;<=>?[\\]|").contains(c))
            return false;
    }
    return true;
}

// The folder a [Paths] value names, as a DOS path on drive C, or why it cannot be used.
bool readWindowsFolder(const QByteArray& value, MsdosSys& facts)
{
    QByteArray path = value;
    while (path.endsWith('\\') && path.size() > 3)
        path.chop(1);
    const QString shown = QString::fromLatin1(value);
    if (path.size() < 2 || path[1] != ':') {
        facts.windowsFolderProblem =
            QStringLiteral("it names \"%1\" as the Windows folder, which is no folder name "
                           "Bootvane can use")
                .arg(shown);
        return false;
    }
    if (QByteArray(1, path[0]).toUpper() != "C") {
        facts.windowsFolderProblem =
            QStringLiteral("it names %1 as the Windows folder, which is on drive %2:, not on this "
                           "drive C:")
                .arg(shown, QString::fromLatin1(QByteArray(1, path[0]).toUpper()));
        return false;
    }
    const QList<QByteArray> names = path.mid(2).split('\\');
    const bool rooted = names.size() > 1 && names.constFirst().isEmpty();
    for (qsizetype i = 1; i < names.size(); ++i) {
        // "." and ".." are no names of their own: a folder made of them would lead elsewhere.
        if (!rooted || !isDosName(names[i]) || names[i] == "." || names[i] == "..") {
            facts.windowsFolderProblem =
                QStringLiteral("it names \"%1\" as the Windows folder, which is no folder name "
                               "Bootvane can use")
                    .arg(shown);
            return false;
        }
    }
    if (names.size() < 2) {
        facts.windowsFolderProblem =
            QStringLiteral("it names the root of drive C: as the Windows folder, where Windows "
                           "cannot be installed");
        return false;
    }
    facts.windowsFolder = QStringLiteral("C:") + QString::fromLatin1(path.mid(2).toUpper());
    facts.windowsFolderProblem.clear();
    return true;
}

} // namespace

MsdosSys parseMsdosSys(const QByteArray& text)
{
    MsdosSys facts;
    enum class Section { Other, Options, Paths } section = Section::Other;
    bool logoSeen = false;
    QByteArray winDir;
    QByteArray winBootDir;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            section = line.compare("[Options]", Qt::CaseInsensitive) == 0 ? Section::Options
                      : line.compare("[Paths]", Qt::CaseInsensitive) == 0 ? Section::Paths
                                                                          : Section::Other;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (section == Section::Other || equals <= 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (section == Section::Paths) {
            // The first line of each counts, as Windows reads an INI file.
            if (key.compare("WinDir", Qt::CaseInsensitive) == 0 && winDir.isNull())
                winDir = value.isNull() ? QByteArray("") : value;
            else if (key.compare("WinBootDir", Qt::CaseInsensitive) == 0 && winBootDir.isNull())
                winBootDir = value.isNull() ? QByteArray("") : value;
            continue;
        }
        if (!logoSeen && key.compare("Logo", Qt::CaseInsensitive) == 0) {
            logoSeen = true;
            facts.startupScreenOff = value == "0";
        } else if (key.compare("WinVer", Qt::CaseInsensitive) == 0) {
            // 4.00 is Windows 95 (it names no version at all), 4.10 Windows 98, 4.90 ME.
            if (value.startsWith("4.10"))
                facts.windows = QStringLiteral("Windows 98");
            else if (value.startsWith("4.90"))
                facts.windows = QStringLiteral("Windows ME");
        }
    }
    // WinDir is where Windows is; WinBootDir, where it starts from, is the same folder but for
    // setups that boot from another disk, and serves when WinDir is missing.
    if (!winDir.isEmpty())
        readWindowsFolder(winDir, facts);
    else if (!winBootDir.isEmpty())
        readWindowsFolder(winBootDir, facts);
    return facts;
}

QString dosPathIn(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('\\')) ? folder + name : folder + QLatin1Char('\\') + name;
}

} // namespace bootvane
