#include "mtools.h"

#include "error.h"
#include "filenames.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <unistd.h>

namespace bootvane {

namespace {

// What every mtools command is told. mtools reads /etc/mtools.conf and ~/.mtoolsrc whatever
// MTOOLSRC says, and then its settings from the environment, which win: each setting that
// changes what a command reads, writes or prints is given here, and the home folder is one of
// Bootvane's own, which holds no .mtoolsrc.
QProcessEnvironment mtoolsEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : environment.keys()) {
        if (name.startsWith(QLatin1String("MTOOLS")) || name == QLatin1String("MCWD") ||
            name == QLatin1String("DEFAULT_CODEPAGE"))
            environment.remove(name);
    }
    static constexpr std::pair<const char*, const char*> settings[] = {
        {"MTOOLSRC", "/dev/null"},
        // No long names are made: Windows 95 finds its screens by their 8.3 names.
        {"MTOOLS_NO_VFAT", "1"},
        {"MTOOLS_NAME_NUMERIC_TAIL", "1"},
        // Listings show each name as the volume holds it, in columns of their own.
        {"MTOOLS_LOWER_CASE", "0"},
        {"MTOOLS_DOTTED_DIR", "0"},
        {"MTOOLS_DATE_STRING", "yyyy-mm-dd"},
        {"MTOOLS_TWENTY_FOUR_HOUR_CLOCK", "1"},
        // A volume that fails mtools' checks is refused, not read anyhow.
        {"MTOOLS_SKIP_CHECK", "0"},
        {"MTOOLS_FAT_COMPATIBILITY", "0"},
        {"MTOOLS_LOCK_TIMEOUT", "30"},
        {"DEFAULT_CODEPAGE", "850"},
        // Messages in plain English; a letter beyond ASCII in a name is printed as one "_".
        {"LC_ALL", "C"},
    };
    for (const auto& [name, value] : settings)
        environment.insert(QLatin1String(name), QLatin1String(value));
    environment.insert(QStringLiteral("HOME"), mtoolsHome());
    return environment;
}

QString firstLines(const QByteArray& text)
{
    QStringList lines;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.trimmed().isEmpty())
            lines.append(QString::fromUtf8(line.trimmed()));
    }
    return lines.mid(0, 3).join(QStringLiteral("; "));
}

} // namespace

bool saysNotFound(const QByteArray& mtoolsError)
{
    return mtoolsError.contains("not found");
}

QString mtoolsHome()
{
    // Never the working folder, nor anything in it, where it would show as a set.
    static const QTemporaryDir home(QDir::tempPath() + QStringLiteral("/bootvane-mtools-XXXXXX"));
    if (!home.isValid())
        fail(QStringLiteral("make a folder for mtools in"), QDir::tempPath(), home.errorString());
    return home.path();
}

MtoolsVolume::Result MtoolsVolume::run(const QString& tool, const QStringList& arguments,
                                       const QString& operation, const QString& shownAs,
                                       const QByteArray& input, qint64 maxOutput) const
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        fail(operation, shownAs,
             QStringLiteral("%1 of GNU mtools is not installed (Debian and Ubuntu: sudo apt-get "
                            "install mtools)")
                 .arg(tool));
    // mtools reads "image@@offset", split at the first "@@": a name with an "@" in it, or one
    // whose bytes a command line cannot carry as they are, is reached through a link.
    QString image = m_image;
    std::optional<QTemporaryDir> linkFolder;
    if (image.contains(QLatin1Char('@')) || displayFileName(image) != image) {
        linkFolder.emplace();
        image = linkFolder->filePath(QStringLiteral("image"));
        if (::symlink(encodeFileName(QFileInfo(m_image).absoluteFilePath()).constData(),
                      QFile::encodeName(image).constData()) != 0)
            fail(operation, shownAs, QStringLiteral("a link to the image could not be made"));
    }
    QProcess process;
    process.setProcessEnvironment(mtoolsEnvironment());
    if (input.isEmpty())
        process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, QStringList{QStringLiteral("-i"),
                                       image + QStringLiteral("@@") + QString::number(m_offset)} +
                               arguments);
    // Never killed and never timed out: a command stopped half-way may leave the FAT
    // half-updated. A command that cannot even start is reported as such.
    if (!process.waitForStarted(-1))
        fail(operation, shownAs,
             QStringLiteral("%1 could not be started: %2").arg(tool, process.errorString()));
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel();
    }
    Result result;
    if (maxOutput >= 0) {
        // Only a reading command is given a limit, and only one that reads may be stopped:
        // what it prints beyond the limit is not taken into memory.
        while (process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(-1);
            result.out += process.readAllStandardOutput();
            if (result.out.size() > maxOutput) {
                process.kill();
                process.waitForFinished(-1);
                fail(operation, shownAs, QStringLiteral("it is too large to be a screen"));
            }
        }
    }
    process.waitForFinished(-1);
    result.out += process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

void MtoolsVolume::failWith(const Result& result, const QString& operation,
                            const QString& shownAs) const
{
    const QString said = firstLines(result.err);
    fail(operation, shownAs,
         said.isEmpty() ? QStringLiteral("mtools failed (exit code %1)").arg(result.exitCode)
                        : QStringLiteral("mtools says: %1").arg(said));
}

std::optional<QByteArray> MtoolsVolume::read(const QString& path, const QString& shownAs,
                                             qint64 maxBytes) const
{
    const QString operation = QStringLiteral("read");
    const Result result =
        run(QStringLiteral("mcopy"), {QStringLiteral("-n"), path, QStringLiteral("-")}, operation,
            shownAs, QByteArray(), maxBytes);
    if (result.exitCode != 0) {
        if (saysNotFound(result.err))
            return std::nullopt;
        failWith(result, operation, shownAs);
    }
    if (!result.out.isEmpty())
        return result.out;
    // An empty file, or a folder, which mcopy copies as nothing: the listing tells which.
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(cut + 1);
    const std::optional<std::vector<Entry>> entries =
        list(path.left(qMax<qsizetype>(cut, 3)), shownAs);
    for (const Entry& entry : entries.value_or(std::vector<Entry>())) {
        if (entry.isFolder && entry.name.compare(name, Qt::CaseInsensitive) == 0)
            fail(operation, shownAs, systemReason(EISDIR));
    }
    return QByteArray();
}

std::optional<std::vector<MtoolsVolume::Entry>> MtoolsVolume::list(const QString& path,
                                                                   const QString& shownAs) const
{
    return list(QStringList{path}, shownAs).at(path);
}

std::map<QString, std::optional<std::vector<MtoolsVolume::Entry>>>
MtoolsVolume::list(const QStringList& paths, const QString& shownAs) const
{
    const QString operation = QStringLiteral("list the folder");
    const Result result =
        run(QStringLiteral("mdir"), QStringList{QStringLiteral("-a"), QStringLiteral("-f")} + paths,
            operation, shownAs);
    std::map<QString, std::optional<std::vector<Entry>>> listed;
    if (result.exitCode != 0 && !saysNotFound(result.err))
        failWith(result, operation, shownAs);
    if (result.exitCode != 0 && paths.size() > 1) {
        // mdir stops at the first folder that is not there: one at a time then.
        for (const QString& path : paths)
            listed[path] = list(path, shownAs);
        return listed;
    }
    // The folders come in the order asked for, whatever case mdir spells them in.
    std::vector<std::vector<Entry>> entries = parseListing(result.out);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (result.exitCode != 0)
            listed[paths[i]] = std::nullopt;
        else
            listed[paths[i]] =
                size_t(i) < entries.size() ? std::move(entries[size_t(i)]) : std::vector<Entry>();
    }
    return listed;
}

std::optional<QString> MtoolsVolume::attributes(const QString& path, const QString& shownAs) const
{
    const QString operation = QStringLiteral("read the attributes of");
    const Result result = run(QStringLiteral("mattrib"), {path}, operation, shownAs);
    if (result.exitCode != 0) {
        if (saysNotFound(result.err))
            return std::nullopt;
        failWith(result, operation, shownAs);
    }
    return parseAttributes(result.out);
}

void MtoolsVolume::write(const QString& path, const QByteArray& bytes, const QString& shownAs) const
{
    const QString operation = QStringLiteral("write");
    // The bytes go through mcopy's standard input: no file of ours outlives a killed copy.
    // -D o: a file of that name (one left by a copy that died) is overwritten, never asked about.
    const Result result =
        run(QStringLiteral("mcopy"),
            {QStringLiteral("-D"), QStringLiteral("o"), QStringLiteral("-"), path}, operation,
            shownAs, bytes);
    if (result.exitCode != 0)
        failWith(result, operation, shownAs);
    // mcopy cuts what it reads from a pipe short on a full volume, and says nothing: what it
    // wrote is read back, from the file itself rather than from a listing a name can forge.
    if (read(path, shownAs, bytes.size()) != bytes)
        fail(operation, shownAs,
             QStringLiteral("not all of it could be written: the volume may be full"));
}

void MtoolsVolume::setAttributes(const QString& path, const QString& letters,
                                 const QString& shownAs) const
{
    QStringList arguments;
    for (const QChar letter : QStringLiteral("AHRS")) {
        const QChar sign = letters.contains(letter) ? QLatin1Char('+') : QLatin1Char('-');
        arguments.append(QString(sign) + letter.toLower());
    }
    arguments.append(path);
    const QString operation = QStringLiteral("set the attributes of");
    const Result result = run(QStringLiteral("mattrib"), arguments, operation, shownAs);
    if (result.exitCode != 0)
        failWith(result, operation, shownAs);
}

void MtoolsVolume::rename(const QString& from, const QString& to, const QString& shownAs,
                          bool replacing) const
{
    const QString operation = QStringLiteral("rename");
    // -D o removes the old entry and renames over it in one command; -D s skips a taken name
    // rather than ask, and the rename fails.
    const Result result =
        run(QStringLiteral("mren"),
            {QStringLiteral("-D"), replacing ? QStringLiteral("o") : QStringLiteral("s"), from, to},
            operation, shownAs);
    if (result.exitCode != 0)
        failWith(result, operation, shownAs);
}

void MtoolsVolume::remove(const QString& path, const QString& shownAs) const
{
    const QString operation = QStringLiteral("remove");
    const Result result = run(QStringLiteral("mdel"), {path}, operation, shownAs);
    if (result.exitCode != 0 && !saysNotFound(result.err))
        failWith(result, operation, shownAs);
}

std::vector<std::vector<MtoolsVolume::Entry>>
MtoolsVolume::parseListing(const QByteArray& mdirOutput)
{
    // Each folder begins with "Directory for ::/WINDOWS". An entry's line begins with its 8.3
    // name in two columns, "LOGO     SYS", the name padded to eight characters; nothing else
    // (the volume, the totals) does.
    std::vector<std::vector<Entry>> folders;
    std::vector<Entry>* entries = nullptr;
    for (const QByteArray& rawLine : mdirOutput.split('\n')) {
        const QByteArray line = rawLine.endsWith('\r') ? rawLine.chopped(1) : rawLine;
        if (line.startsWith("Directory for ")) {
            entries = &folders.emplace_back();
            continue;
        }
        if (!entries || line.size() < 12 || line[0] == ' ' || line[8] != ' ')
            continue;
        const QString base = QString::fromUtf8(line.left(8)).trimmed();
        const QString extension = QString::fromUtf8(line.mid(9, 3)).trimmed();
        if (base.isEmpty() || base == QLatin1String(".") || base == QLatin1String(".."))
            continue;
        Entry entry;
        entry.name = extension.isEmpty() ? base : base + QLatin1Char('.') + extension;
        const QByteArray rest = line.mid(12).trimmed();
        entry.isFolder = rest.startsWith("<DIR>");
        if (!entry.isFolder)
            entry.size = rest.left(rest.indexOf(' ')).toLongLong();
        entries->push_back(entry);
    }
    return folders;
}

QString MtoolsVolume::parseAttributes(const QByteArray& mattribOutput)
{
    // "  A   HR     ::/LOGO.SYS": the letters stand before the file's name.
    const qsizetype name = mattribOutput.indexOf("::");
    QString letters;
    for (const char c : mattribOutput.left(name < 0 ? 0 : name)) {
        if (QByteArrayView("AHRS").contains(c) && !letters.contains(QLatin1Char(c)))
            letters += QLatin1Char(c);
    }
    return letters;
}

} // namespace bootvane
