#include "mtools.h"

#include "error.h"
#include "filenames.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
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
    return result.out;
}

std::optional<std::vector<MtoolsVolume::Entry>> MtoolsVolume::list(const QString& path) const
{
    return list(QStringList{path}).at(path);
}

std::map<QString, std::optional<std::vector<MtoolsVolume::Entry>>>
MtoolsVolume::list(const QStringList& paths) const
{
    const QString operation = QStringLiteral("list the folder");
    // -w: the 8.3 names only, in columns, and never the long names, which may hold any
    // character, a line break among them.
    const Result result =
        run(QStringLiteral("mdir"),
            QStringList{QStringLiteral("-a"), QStringLiteral("-f"), QStringLiteral("-w")} + paths,
            operation, shown(paths.first()));
    std::map<QString, std::optional<std::vector<Entry>>> listed;
    if (result.exitCode != 0) {
        if (!saysNotFound(result.err))
            failWith(result, operation, shown(paths.first()));
        // mdir passes over a folder that is not there, and cuts short the listing of the one
        // before it: one at a time then.
        for (const QString& path : paths)
            listed[path] = paths.size() > 1 ? list(path) : std::nullopt;
        return listed;
    }
    Listing listing = parseListing(result.out, paths);
    // mdir lists a file asked for as a folder among the entries of the folder it is in, and
    // with them the folders asked for after it: one at a time then, and the file is no folder.
    if (!listing.unreadable.isEmpty() && paths.size() > 1) {
        for (const QString& path : paths)
            listed[path] = list(path);
        return listed;
    }
    const QString& path = paths.first();
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    const Listing parent = parseListing(result.out, {path.left(qMax<qsizetype>(cut, 3))});
    if (!listing.unreadable.isEmpty() && parent.unreadable.isEmpty() &&
        parent.folders.front().size() == 1 && !parent.folders.front().front().isFolder &&
        parent.folders.front().front().name.compare(path.mid(cut + 1), Qt::CaseInsensitive) == 0) {
        listed[path] = std::nullopt;
        return listed;
    }
    if (!listing.unreadable.isEmpty())
        fail(operation, shown(listing.unreadable),
             QStringLiteral("what mdir printed is not a listing Bootvane can read, so nothing "
                            "in it is taken as there or as absent; a name on the volume may hold "
                            "control characters (fsck.fat finds them)"));
    for (qsizetype i = 0; i < paths.size(); ++i)
        listed[paths[i]] = std::move(listing.folders[size_t(i)]);
    return listed;
}

QString MtoolsVolume::attributes(const QString& path, const QString& shownAs) const
{
    const QString operation = QStringLiteral("read the attributes of");
    const Result result = run(QStringLiteral("mattrib"), {path}, operation, shownAs);
    if (result.exitCode != 0)
        failWith(result, operation, shownAs);
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
    // mdel says "not found" of a folder as of a file that is absent: neither is taken as
    // removed here, since the listing showed a file.
    const QString operation = QStringLiteral("remove");
    const Result result = run(QStringLiteral("mdel"), {path}, operation, shownAs);
    if (result.exitCode != 0)
        failWith(result, operation, shownAs);
}

QString dosPathOf(const QString& path)
{
    QString dosPath = path;
    return dosPath.replace(0, 3, QStringLiteral("C:\\"))
        .replace(QLatin1Char('/'), QLatin1Char('\\'));
}

QString MtoolsVolume::shown(const QString& path) const
{
    return QStringLiteral("%1 in %2").arg(dosPathOf(path), m_image);
}

namespace {

// What mdir -w prints. A folder's part: "Directory for ::/WINDOWS", a blank line, its entries
// in cells of 15 characters, a folder's name in brackets ("[.]"), a file's as it is
// ("LOGOW.SYS"), five to a line, each line padded to its last cell's end; then "        3 files 12
// bytes", which counts every entry, "." and ".." too, or "No files". A blank line comes between two
// folders, and after the last of several the total: "Total files listed:" and the same count
// of them all. The volume's label and serial come first. In the C locale every character of
// an 8.3 name is one printable character (a letter beyond ASCII is "_"), except a control
// character, which a disk editor can put in a name: a line it breaks is refused, as is
// anything else that is not exactly that. An entry's line ends with a space, a count's line
// with "bytes", and the headings are longer than any 8.3 name: no name can be taken for
// another line, nor make an entry that the count does not then betray.
constexpr qsizetype cellWidth = 15;

// "        3 files                  12 bytes": the count of the entries, and the bytes they hold.
std::optional<qint64> countOnLine(const QByteArray& line)
{
    static const QRegularExpression count(
        QStringLiteral("^ +(\\d{1,9}) files? +[\\d ]*\\d bytes$"));
    const QRegularExpressionMatch match = count.match(QString::fromLatin1(line));
    return match.hasMatch() ? std::optional(match.captured(1).toLongLong()) : std::nullopt;
}

// Adds the entries on a line of cells; false when it is no such line.
bool readCells(const QByteArray& line, std::vector<MtoolsVolume::Entry>& entries, qint64& counted)
{
    if (line.size() % (cellWidth + 1) != cellWidth || !line.endsWith(' '))
        return false;
    for (qsizetype start = 0; start < line.size(); start += cellWidth + 1) {
        if (start > 0 && line[start - 1] != ' ')
            return false;
        QByteArray cell = line.mid(start, cellWidth);
        while (cell.endsWith(' '))
            cell.chop(1);
        if (cell.isEmpty() || cell.size() == cellWidth)
            return false;
        for (const char c : cell) {
            if (c < ' ' || c > '~')
                return false;
        }
        ++counted;
        // A file's name cannot stand for a folder that the program looks for: a file printed
        // in brackets needs an extension of four characters to look like "[LOGO.SYS]".
        MtoolsVolume::Entry entry;
        entry.isFolder = cell.size() > 2 && cell.startsWith('[') && cell.endsWith(']');
        entry.name = QString::fromLatin1(entry.isFolder ? cell.mid(1, cell.size() - 2) : cell);
        if (entry.name.size() > 12) // 8 + "." + 3
            return false;
        if (!entry.isFolder ||
            (entry.name != QLatin1String(".") && entry.name != QLatin1String("..")))
            entries.push_back(std::move(entry));
    }
    return true;
}

} // namespace

MtoolsVolume::Listing MtoolsVolume::parseListing(const QByteArray& mdirOutput,
                                                 const QStringList& paths)
{
    QList<QByteArray> lines = mdirOutput.split('\n');
    if (lines.constLast().isEmpty())
        lines.removeLast();
    qsizetype at = 0;
    auto next = [&]() -> QByteArray {
        return at < lines.size() ? lines[at++] : QByteArray("\0", 1);
    };
    auto heading = [](const QString& path) { return "Directory for " + path.toLatin1(); };
    Listing listing;
    // The label, at most 11 characters, cannot hold a heading.
    while (!paths.isEmpty() && at < lines.size() && lines[at] != heading(paths.first()))
        ++at;
    qint64 total = 0;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        std::vector<Entry>& entries = listing.folders.emplace_back();
        qint64 counted = 0;
        bool whole = next() == heading(paths[i]) && next().isEmpty();
        if (whole && at < lines.size() && lines[at] == "No files") {
            ++at;
        } else {
            while (whole) {
                const QByteArray line = next();
                if (const std::optional<qint64> count = countOnLine(line)) {
                    whole = *count == counted;
                    break;
                }
                whole = readCells(line, entries, counted);
            }
        }
        total += counted;
        if (whole && paths.size() > 1)
            whole = next().isEmpty();
        if (whole && paths.size() > 1 && i + 1 == paths.size())
            whole = next() == "Total files listed:" && countOnLine(next()) == total;
        // With -f no free space is worked out, but an mtools that prints it anyway is no harm.
        if (whole && i + 1 == paths.size() && at < lines.size() &&
            lines[at].trimmed().endsWith(" bytes free"))
            ++at;
        if (!whole || (i + 1 == paths.size() && at != lines.size())) {
            listing.folders.clear();
            listing.unreadable = paths[i];
            return listing;
        }
    }
    return listing;
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
