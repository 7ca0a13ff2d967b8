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

namespace {

QString folderOf(const QString& path)
{
    return path.left(qMax<qsizetype>(path.lastIndexOf(QLatin1Char('/')), 3));
}

QString nameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString joined(const QString& folder, const QString& name)
{
    return folder + (folder.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + name;
}

// How mdir is asked for what answers to name in folder: its last character in brackets, which
// matches that character in either case, as mtools compares names. A name with a wildcard
// lists a folder of that name as an entry, not the files in it. "[^" would mean "not": the
// last character that is no "^" is the one bracketed ("WI[N]^"); only a name of carets alone
// is matched by "?", which answers to more names, never to fewer.
QString lookupArgument(const QString& folder, const QString& name)
{
    qsizetype at = name.size() - 1;
    while (at > 0 && name[at] == QLatin1Char('^'))
        --at;
    if (name[at] == QLatin1Char('^'))
        return joined(folder, name.left(name.size() - 1) + QLatin1Char('?'));
    return joined(folder, name.left(at) + QLatin1Char('[') + name[at] + QLatin1Char(']') +
                              name.mid(at + 1));
}

} // namespace

// mtools takes a name on its command line for every entry whose 8.3 name or long name is that
// name in any case (and a name it makes, as mcopy and mren do, takes the place of the first
// such entry). Windows and Bootvane know a system file by its 8.3 name alone: a file whose
// long name is "logo.sys" (LOGO~1.SYS) is no C:\LOGO.SYS, but "mren ... ::/LOGO.SYS" would
// replace it and "mcopy ::/LOGO.SYS -" would read it after the real one. So every name
// Bootvane gives mtools is first looked up here, and used only where it reaches the entry of
// its own 8.3 name alone (requireAlone).
//
// mdir -a -w lists by their 8.3 names exactly the entries that mtools takes a name for, once
// for each name asked for; names in one folder are listed together, in one part, with no mark
// of which name each entry answered. All names of every folder go in one command, the folders
// on the way too (the name "WINDOWS" in "::/WINDOWS/LOGOW.SYS" reaches every folder that
// answers to it). Let the names asked for in a folder be N1..Nk and S(Ni) the entries of 8.3
// name Ni; each name lists at least S(Ni). Where every entry listed has one of the names N1..Nk
// as its 8.3 name and none is listed twice, each Ni listed exactly S(Ni), and S(Ni) holds one
// entry at most: an entry answering to Ni by its long name has either an 8.3 name not among
// them, or that of another Nj, and is then listed twice. Otherwise each name of that folder is
// looked up on its own, which shows what answers to it. mdir goes on after a name that nothing
// answers to, says so on its standard error, and then leaves out the last count and the total:
// every other failure is one of the command's.
std::map<QString, MtoolsVolume::Found> MtoolsVolume::lookUp(const QStringList& paths,
                                                            const QString& operation) const
{
    // The names asked for in each folder, the folders in the order asked for: the root first.
    QStringList folders;
    std::map<QString, QStringList> names;
    for (const QString& path : paths) {
        for (qsizetype end = path.indexOf(QLatin1Char('/'), 3);;
             end = path.indexOf(QLatin1Char('/'), end + 1)) {
            const QString at = end < 0 ? path : path.left(end);
            if (!folders.contains(folderOf(at)))
                folders.append(folderOf(at));
            if (!names[folderOf(at)].contains(nameOf(at)))
                names[folderOf(at)].append(nameOf(at));
            if (end < 0)
                break;
        }
    }
    QStringList arguments{QStringLiteral("-a"), QStringLiteral("-f"), QStringLiteral("-w")};
    for (const QString& folder : folders) {
        for (const QString& name : names[folder])
            arguments.append(lookupArgument(folder, name));
    }
    const Result result = run(QStringLiteral("mdir"), arguments, operation, shown(paths.first()));
    static const QRegularExpression notFoundLine(
        QStringLiteral("^[^ ]+: File \"(.+)\" not found$"));
    QStringList notFound;
    for (const QByteArray& line : result.err.split('\n')) {
        const QRegularExpressionMatch match = notFoundLine.match(QString::fromUtf8(line));
        if (match.hasMatch() && arguments.contains(match.captured(1)))
            notFound.append(match.captured(1));
        else if (result.exitCode != 0 && !line.isEmpty())
            failWith(result, operation, shown(paths.first()));
    }
    if (result.exitCode != (notFound.isEmpty() ? 0 : 1))
        failWith(result, operation, shown(paths.first()));
    const Listing listing = parseListing(result.out, folders, !notFound.isEmpty());

    std::map<QString, Found> found;
    for (size_t i = 0; i < listing.folders.size(); ++i) {
        const QString& folder = folders[qsizetype(i)];
        const QStringList& asked = names[folder];
        std::vector<std::vector<Entry>> answers(size_t(asked.size()));
        bool alone = true;
        for (const Entry& entry : listing.folders[i]) {
            qsizetype which = 0;
            while (which < asked.size() &&
                   asked[which].compare(entry.name, Qt::CaseInsensitive) != 0)
                ++which;
            alone = alone && which < asked.size() && answers[size_t(which)].empty();
            if (alone)
                answers[size_t(which)].push_back(entry);
        }
        if (!alone)
            answers = lookUpOneByOne(folder, asked, operation);
        for (qsizetype n = 0; n < asked.size(); ++n) {
            const QString argument = lookupArgument(folder, asked[n]);
            // What was listed, and what mdir said it did not find, must agree.
            if (alone && answers[size_t(n)].empty() != notFound.contains(argument))
                fail(operation, shown(folder),
                     QStringLiteral("mdir listed nothing for %1 but did not say so")
                         .arg(dosPathOf(joined(folder, asked[n]))));
            Found& at = found[joined(folder, asked[n])];
            for (const Entry& entry : answers[size_t(n)]) {
                if (entry.name.compare(asked[n], Qt::CaseInsensitive) == 0 &&
                    at.kind == Kind::Absent)
                    at.kind = entry.isFolder ? Kind::Folder : Kind::File;
                else if (!at.other)
                    at.other = entry;
            }
        }
    }
    if (!listing.unreadable.isEmpty())
        fail(operation, shown(listing.unreadable),
             QStringLiteral("what mdir printed is not a listing Bootvane can read, so nothing "
                            "in it is taken as there or as absent; a name on the volume may hold "
                            "control characters (fsck.fat finds them)"));
    return found;
}

std::vector<std::vector<MtoolsVolume::Entry>>
MtoolsVolume::lookUpOneByOne(const QString& folder, const QStringList& names,
                             const QString& operation) const
{
    std::vector<std::vector<Entry>> answers;
    for (const QString& name : names) {
        const QString argument = lookupArgument(folder, name);
        const Result result =
            run(QStringLiteral("mdir"),
                {QStringLiteral("-a"), QStringLiteral("-f"), QStringLiteral("-w"), argument},
                operation, shown(joined(folder, name)));
        const bool nothing = result.exitCode != 0 && saysNotFound(result.err);
        if (result.exitCode != 0 && !nothing)
            failWith(result, operation, shown(joined(folder, name)));
        Listing listing = parseListing(result.out, {folder}, nothing);
        if (!listing.unreadable.isEmpty() || listing.folders.empty())
            fail(operation, shown(folder),
                 QStringLiteral("what mdir printed is not a listing Bootvane can read"));
        answers.push_back(std::move(listing.folders.front()));
    }
    return answers;
}

void MtoolsVolume::requireAlone(const std::map<QString, Found>& found, const QString& path,
                                const QString& operation, const QString& writing) const
{
    for (QString at = path; at.size() > 3; at = folderOf(at)) {
        const auto answer = found.find(at);
        if (answer == found.end())
            fail(operation, shown(at), QStringLiteral("it was not looked up"));
        if (!answer->second.other)
            continue;
        const Entry& other = *answer->second.other;
        const QString written =
            writing.isEmpty() || at != path
                ? QString()
                : QStringLiteral(", the name under which %1 is written first").arg(writing);
        const QString why =
            other.name.compare(nameOf(at), Qt::CaseInsensitive) == 0
                ? QStringLiteral("two entries of its folder have that 8.3 name%1, a fault that "
                                 "fsck.fat finds")
                      .arg(written)
                : QStringLiteral("a %1 whose long name is %2 (%3) stands where %4 would be%5, "
                                 "and mtools would take the one for the other")
                      .arg(other.isFolder ? QStringLiteral("folder") : QStringLiteral("file"),
                           nameOf(at).toLower(), other.name, dosPathOf(at), written);
        fail(operation, shown(at),
             why + QStringLiteral("; Bootvane changes neither, and nothing "
                                  "was changed"));
    }
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

// What mdir -w prints. A part for each folder in which something was listed: "Directory for
// ::/WINDOWS", a blank line, its entries in cells of 15 characters, a folder's name in brackets
// ("[LOGOW.SYS]"), a file's as it is ("LOGOW.SYS"), five to a line, each line padded to its last
// cell's end; then "        3 files 12 bytes", which counts its entries. A blank line comes
// between two parts, and after the last of several the total: "Total files listed:" and the
// same count of them all. The volume's label and serial come first. Where some name was not
// found, the last part ends with its last cell, and no total follows. In the C locale every
// character of an 8.3 name is one printable character (a letter beyond ASCII is "_"), except a
// control character, which a disk editor can put in a name: a line it breaks is refused, as
// is anything else that is not exactly that. An entry's line ends with a space, a count's line
// with "bytes", and the headings are longer than any 8.3 name: no name can be taken for another
// line, nor make an entry that the count does not then betray; a line it breaks has a length no
// line of cells has, counted or not.
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
        entries.push_back(std::move(entry));
    }
    return true;
}

} // namespace

MtoolsVolume::Listing MtoolsVolume::parseListing(const QByteArray& mdirOutput,
                                                 const QStringList& paths, bool cut)
{
    Listing listing;
    // The folders whose parts were read whole, and the one after them.
    auto unreadable = [&] {
        const qsizetype bad = qMin(qsizetype(listing.folders.size()), paths.size()) - 1;
        listing.folders.resize(size_t(qMax<qsizetype>(bad, 0)));
        listing.unreadable = paths.value(bad);
        return listing;
    };
    listing.folders.emplace_back();
    QList<QByteArray> lines = mdirOutput.split('\n');
    // Nothing at all is listed where nothing was found. Cut short, the output ends with its last
    // cell; else with a line break.
    if (cut && mdirOutput.isEmpty())
        lines.clear();
    else if (lines.constLast().isEmpty() == cut)
        return unreadable();
    else if (!cut)
        lines.removeLast();
    qsizetype at = 0;
    // The label, at most 11 characters, cannot hold a heading.
    while (at < lines.size() && !lines[at].startsWith("Directory for "))
        ++at;
    if (at == lines.size() && !(cut && lines.isEmpty()))
        return unreadable();
    qint64 total = 0;
    for (qsizetype parts = 1; at < lines.size(); ++parts) {
        // Folders in which nothing was listed have no part.
        while (qsizetype(listing.folders.size()) <= paths.size() &&
               lines[at] !=
                   "Directory for " + paths[qsizetype(listing.folders.size()) - 1].toLatin1())
            listing.folders.emplace_back();
        if (qsizetype(listing.folders.size()) > paths.size())
            return unreadable();
        if (++at == lines.size() || !lines[at++].isEmpty())
            return unreadable();
        qint64 counted = 0;
        std::optional<qint64> count;
        while (at < lines.size() && !(count = countOnLine(lines[at]))) {
            if (!readCells(lines[at++], listing.folders.back(), counted))
                return unreadable();
        }
        total += counted;
        // The last part of a listing cut short has no count.
        if (!count && cut && counted > 0)
            break;
        if (!count || *count != counted || counted == 0)
            return unreadable();
        // One part ends with its count, several with the total; a blank line before each.
        if (++at == lines.size() && !cut && parts == 1)
            break;
        if (at == lines.size() || !lines[at++].isEmpty() || at == lines.size())
            return unreadable();
        if (lines[at] == "Total files listed:") {
            if (cut || parts == 1 || ++at == lines.size() || countOnLine(lines[at++]) != total)
                return unreadable();
            // With -f no free space is worked out, but an mtools that prints it anyway is no
            // harm.
            if (at < lines.size() && lines[at].trimmed().endsWith(" bytes free"))
                ++at;
            if (at != lines.size())
                return unreadable();
            break;
        }
        listing.folders.emplace_back();
    }
    listing.folders.resize(size_t(paths.size()));
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
