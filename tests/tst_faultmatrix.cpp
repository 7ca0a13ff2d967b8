// Failing disks and crashes: every operation that writes runs once for every write-side
// system call it makes, with exactly that one call failing (EIO, and ENOSPC where the call
// changes the disk) or the process killed there (SIGKILL, where the call changes the disk),
// under strace; and once for every rename, done but reported as failed (LIE), as a network
// file system does when its reply is lost. After each run
// the disk must be in a state the user can live with: every system file holds all its old
// bytes or all its new ones, no set is half-made, "Originals" is complete or absent. A
// failure was reported and left no staging folder; after a kill the next start removes what
// the dead process left and works.
//
// On an emulator's disk image the steps are the mtools commands the program starts: each runs
// through a wrapper that counts it, and on the chosen one fails or kills the program, the
// command itself then running to its end. The image's FAT must pass fsck.fat as well. A qcow2
// and a dynamic VHD are written through QEMU's export: it must pass qemu-img check, keep its
// snapshot, and leave no mount or daemon once the program, or the next start after a kill,
// has ended.

#include "drivechoice.h"
#include "folderdrive.h"
#include "originals.h"
#include "paths.h"
#include "picture.h"
#include "rawdisk.h"
#include "scripteddialogs.h"
#include "tempdrive.h"
#include "tempimage.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <memory>

using namespace bootvane;
using namespace bootvane::testing;

namespace {

const QStringList writeSideCalls = {
    QStringLiteral("openat"),          QStringLiteral("open"),      QStringLiteral("creat"),
    QStringLiteral("write"),           QStringLiteral("pwrite64"),  QStringLiteral("writev"),
    QStringLiteral("fsync"),           QStringLiteral("fdatasync"), QStringLiteral("rename"),
    QStringLiteral("renameat"),        QStringLiteral("renameat2"), QStringLiteral("link"),
    QStringLiteral("linkat"),          QStringLiteral("mkdir"),     QStringLiteral("mkdirat"),
    QStringLiteral("copy_file_range"), QStringLiteral("sendfile"),  QStringLiteral("unlink"),
    QStringLiteral("unlinkat"),        QStringLiteral("rmdir"),     QStringLiteral("ftruncate"),
    QStringLiteral("fallocate")};
// Traced but never failed: the markers around the operation, and close, to know which
// descriptors are files.
const QString markerCalls = QStringLiteral("access,faccessat,faccessat2,close");
const char* setFiles[] = {"logo.sys", "logow.sys", "logos.sys"};

// Stands in for an mtools command on the driver's PATH: counts the command in the log, and
// when it is the chosen one fails it, or kills the driver (its parent) and still runs it to
// its end: one stopped half-way may leave the FAT half-updated, and Bootvane never stops one.
// The command must then reach the disk, on a container through an export still there, also
// when it opens the export only a moment after the kill; what it says goes to the log.
// It notes the fault in strace's words, so that the same checks read either log.
const char* const mtoolsWrapper = R"sh(#!/bin/sh
[ "$BOOTVANE_FAULT_INSIDE" = 1 ] || exec '%1' "$@"
echo "${0##*/} $*" >> "$BOOTVANE_FAULT_LOG"
[ "$(wc -l < "$BOOTVANE_FAULT_LOG")" -eq "${BOOTVANE_FAULT_AT:-0}" ] || exec '%1' "$@"
if [ "$BOOTVANE_FAULT_KIND" != KILL ]; then
    echo "(INJECTED)" >> "$BOOTVANE_FAULT_LOG"
    echo "${0##*/}: Input/output error" >&2
    exit 1
fi
kill -9 "$PPID"
sleep 0.2
'%1' "$@" > /dev/null 2>> "$BOOTVANE_FAULT_LOG"
echo "killed by SIGKILL; the command went on to exit $?" >> "$BOOTVANE_FAULT_LOG"
)sh";

// A write-side call by its number among the calls of its name; an open only for reading
// changes nothing, so a kill there is the same as one at the next call. An mtools command goes
// by its number among all of them.
struct Call {
    int number = 0;
    bool changesDisk = true;
};

struct Run {
    QString log;
    QString output;
    QStringList report;
    int exitCode = -1;
    bool crashed = true;
};

// Drive C for one run: Wine's folder, or a disk image read and written with the real mtools.
struct DiskC {
    // format: "" for Wine's folder, "raw", or a container as TempImage::convertTo() makes it.
    explicit DiskC(const QString& format)
        : format(format), image(format.isEmpty() ? nullptr : std::make_unique<TempImage>()),
          folder(format.isEmpty() ? std::make_unique<TempDrive>() : nullptr),
          drive(image ? image->drive : *folder)
    {
    }

    const QString format;
    const std::unique_ptr<TempImage> image;
    const std::unique_ptr<TempDrive> folder;
    const TempDrive& drive; // the working folder, and drive C unless there is an image

    QByteArray systemBytes(int slot) const
    {
        return image ? image->get(systemFileOnImage(slot)).value_or(QByteArray())
                     : fileBytes(drive.systemFile(slot));
    }
    QList<QByteArray> systemFiles() const
    {
        return {systemBytes(0), systemBytes(1), systemBytes(2)};
    }
    void writeScreen(int slot, const QImage& picture) const
    {
        if (image)
            image->put(systemFileOnImage(slot), encodeBmp(picture));
        else
            drive.writeSystemScreen(slot, picture);
    }
    void writeScreens() const
    {
        if (!image)
            return drive.writeSystemScreens();
        image->writeSystemScreens();
        // Attributes, so that replacing the file has to carry them over.
        image->mtools(QStringLiteral("mattrib"),
                      {QStringLiteral("+h"), QStringLiteral("+r"), systemFileOnImage(2)});
    }
    // Every file and folder on the drive, as lower-case paths from its root.
    QStringList entries() const
    {
        if (!image)
            return entriesBelow(drive.driveC());
        QStringList entries;
        const QByteArray listing =
            image->mtools(QStringLiteral("mdir"), {QStringLiteral("-/"), QStringLiteral("-b"),
                                                   QStringLiteral("-a"), QStringLiteral("::/")});
        for (const QByteArray& line : listing.split('\n')) {
            if (line.startsWith("::/"))
                entries.append(
                    QString::fromUtf8(line.mid(3)).toLower().chopped(line.endsWith('/')));
        }
        entries.sort();
        return entries;
    }
};

// One operation of the program with what it needs on disk and what it may leave there.
struct Operation {
    QString name;

    void prepare(const DiskC& disk) const
    {
        const TempDrive& drive = disk.drive;
        if (name != QLatin1String("backup")) {
            // The originals as the program saves them; those of a plain Windows 95, without
            // logo.sys, record it, and restoring removes the file.
            for (int slot = removesLogo() ? 1 : 0; slot < 3; ++slot)
                disk.writeScreen(slot, screenPicture(20 + slot));
            backupOriginals(basePath(),
                            disk.image ? *openDrive(disk.image->path()) : *FolderDrive::wine());
        }
        disk.writeScreens();
        if (disk.image && disk.format != QLatin1String("raw"))
            disk.image->convertTo(disk.format);
        if (name == QLatin1String("backup"))
            return;
        if (name == QLatin1String("apply")) {
            const QImage target[3] = {screenPicture(7), screenPicture(8), screenPicture(9)};
            drive.makeSet(QStringLiteral("Target"), target, "PNG");
        }
        if (name == QLatin1String("saveset")) {
            QDir(drive.root()).mkdir(QStringLiteral("sources"));
            for (int slot = 0; slot < 3; ++slot)
                writeFile(source(drive, slot), encodeBmp(screenPicture(40 + slot)));
        }
    }

    bool removesLogo() const { return name == QLatin1String("restore-removing"); }
    QString driverOperation() const { return name.section(QLatin1Char('-'), 0, 0); }

    QStringList arguments(const TempDrive& drive) const
    {
        QStringList args;
        if (name == QLatin1String("saveset")) {
            for (int slot = 0; slot < 3; ++slot)
                args.append(source(drive, slot));
        }
        return args;
    }

    static QString source(const TempDrive& drive, int slot)
    {
        return drive.root() + QStringLiteral("/sources/") + QString::number(slot) +
               QStringLiteral(".bmp");
    }

    // What the three system files must hold once the operation has succeeded.
    QList<QByteArray> newSystemBytes(const TempDrive& drive, const QList<QByteArray>& before) const
    {
        QList<QByteArray> bytes;
        const QString folder =
            name == QLatin1String("apply") ? QStringLiteral("Target") : QStringLiteral("Originals");
        for (int slot = 0; slot < 3; ++slot) {
            if (removesLogo() && slot == 0) {
                bytes.append(QByteArray()); // no file
            } else if (name == QLatin1String("apply") ||
                       driverOperation() == QLatin1String("restore")) {
                bytes.append(
                    encodeBmp(loadPicture(drive.workDir() + QLatin1Char('/') + folder +
                                          QLatin1Char('/') + QLatin1String(setFiles[slot]))));
            } else {
                bytes.append(before[slot]);
            }
        }
        return bytes;
    }
};

QString problemWithSystemFiles(const DiskC& disk, const QList<QByteArray>& before,
                               const QList<QByteArray>& after, bool reported)
{
    for (int slot = 0; slot < 3; ++slot) {
        const QByteArray now = disk.systemBytes(slot);
        if (now != before[slot] && now != after[slot])
            return QStringLiteral("system file %1 is neither old nor new").arg(slot);
        if (!reported && now != after[slot])
            return QStringLiteral("system file %1 unchanged but no failure reported").arg(slot);
    }
    QStringList entries = disk.entries();
    entries.removeOne(QStringLiteral("logo.sys"));
    if (entries != QStringList{QStringLiteral("windows"), QStringLiteral("windows/logos.sys"),
                               QStringLiteral("windows/logow.sys")})
        return QStringLiteral("stray files on drive C: ") + entries.join(QLatin1Char(' '));
    const QString fsck = disk.image ? disk.image->fsckProblems() : QString();
    return fsck.isEmpty() ? QString() : QStringLiteral("fsck.fat finds faults: ") + fsck;
}

// A set folder is either absent (and then the failure was reported) or complete.
QString problemWithSet(const QString& folder, const QList<QByteArray>& expected, bool reported)
{
    const QDir dir(folder);
    if (!dir.exists())
        return reported ? QString()
                        : QStringLiteral("%1 missing but no failure reported").arg(folder);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    if (files != QStringList{QStringLiteral("logo.sys"), QStringLiteral("logos.sys"),
                             QStringLiteral("logow.sys")})
        return QStringLiteral("%1 is half-made: %2").arg(folder, files.join(QLatin1Char(' ')));
    for (int slot = 0; slot < 3; ++slot) {
        if (fileBytes(dir.filePath(QLatin1String(setFiles[slot]))) != expected[slot])
            return QStringLiteral("%1/%2 is not a whole copy")
                .arg(folder, QLatin1String(setFiles[slot]));
    }
    return {};
}

// LeakSanitizer cannot run under ptrace, and leaks are the other tests' business. A quirk
// of a network file system ("lie=rename:2", "flock does nothing") is preloaded.
QProcessEnvironment driverEnvironment(const QString& quirk = QString())
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString sanitizers =
        environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0");
    if (quirk.startsWith(QLatin1String("lie=")))
        environment.insert(QStringLiteral("BOOTVANE_LYING_RENAME"), quirk.mid(4));
    else if (quirk == QLatin1String("flock does nothing"))
        environment.insert(QStringLiteral("BOOTVANE_FLOCK_DOES_NOTHING"), QStringLiteral("1"));
    if (quirk.startsWith(QLatin1String("mtools="))) { // "mtools=KILL:12", for the wrappers
        environment.insert(QStringLiteral("BOOTVANE_FAULT_KIND"),
                           quirk.mid(7).section(QLatin1Char(':'), 0, 0));
        environment.insert(QStringLiteral("BOOTVANE_FAULT_AT"), quirk.section(QLatin1Char(':'), 1));
    }
    if (quirk.startsWith(QLatin1String("lie=")) || quirk == QLatin1String("flock does nothing")) {
        environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(BOOTVANE_FSQUIRKS));
        // The sanitizers' runtime then no longer comes first among the libraries.
        sanitizers += QStringLiteral(":verify_asan_link_order=0");
    }
    environment.insert(QStringLiteral("ASAN_OPTIONS"), sanitizers);
    return environment;
}

QString problemWithStaging(const TempDrive& drive)
{
    const QStringList staging =
        QDir(drive.workDir())
            .entryList({QStringLiteral(".bootvane-staging-*")}, QDir::AllEntries | QDir::Hidden);
    return staging.isEmpty() ? QString() : QStringLiteral("staging folder left behind");
}

} // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void everyFailingCallLeavesAWholeDisk_data();
    void everyFailingCallLeavesAWholeDisk();
    void twoCopiesStartedAtOnceMakeOneOriginals();
    void cleanupTestCase();

private:
    // Runs the driver under strace, or by itself when nothing is traced; on a disk image its
    // log is that of the mtools wrappers.
    Run runDriver(const Operation& operation, const DiskC& disk, const QString& injection,
                  const QString& traced);
    // For each write-side call the operation makes, the invocations (numbered per call, from
    // the start of the process) that fall inside the operation.
    std::map<QString, QList<Call>> callsInside(const QString& log);
    QString problemAfterKill(const Operation& operation, const DiskC& disk,
                             const QList<QByteArray>& before, const QList<QByteArray>& after);

    QString m_strace;
    QTemporaryDir m_wrappers;
    int m_runs = 0;
    int m_kills = 0;
};

void TestFaultMatrix::initTestCase()
{
    m_strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (m_strace.isEmpty())
        QFAIL("strace is not installed (scripts/test installs it)");
    for (const char* tool : {"mcopy", "mdel", "mren", "mattrib", "mdir"}) {
        const QString real = QStandardPaths::findExecutable(QLatin1String(tool));
        const QString wrapper = m_wrappers.filePath(QLatin1String(tool));
        if (real.isEmpty())
            QFAIL("mtools is not installed (scripts/test installs it)");
        writeFile(wrapper, QString::fromLatin1(mtoolsWrapper).arg(real).toUtf8());
        QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::ExeOwner);
    }
}

void TestFaultMatrix::cleanupTestCase()
{
    qInfo("%d fault-injection runs, %d of them kills", m_runs, m_kills);
}

Run TestFaultMatrix::runDriver(const Operation& operation, const DiskC& disk,
                               const QString& injection, const QString& traced)
{
    const TempDrive& drive = disk.drive;
    const QString log =
        drive.root() + (disk.image ? QStringLiteral("/mtools.log") : QStringLiteral("/strace.log"));
    QFile::remove(log);
    const QString report = drive.root() + QStringLiteral("/report.txt");
    QStringList args{QStringLiteral("-f"), QStringLiteral("-qq"),
                     QStringLiteral("-o"), log,
                     QStringLiteral("-e"), QStringLiteral("trace=") + traced};
    if (!injection.isEmpty())
        args << QStringLiteral("-e") << injection;
    args << QStringLiteral(BOOTVANE_FAULTDRIVER) << operation.driverOperation() << report
         << operation.arguments(drive);

    QProcessEnvironment environment = driverEnvironment(injection);
    if (disk.image) {
        environment.insert(QStringLiteral("BOOTVANE_FAULT_IMAGE"), disk.image->path());
        environment.insert(QStringLiteral("BOOTVANE_FAULT_LOG"), log);
        // What mcopy copies from is a temporary file, which a killed driver leaves behind.
        environment.insert(QStringLiteral("TMPDIR"), drive.root());
        environment.insert(QStringLiteral("PATH"), m_wrappers.path() + QLatin1Char(':') +
                                                       environment.value(QStringLiteral("PATH")));
    }
    if (traced.isEmpty()) {
        args = args.mid(args.indexOf(QStringLiteral(BOOTVANE_FAULTDRIVER)) + 1);
        args.prepend(QStringLiteral(BOOTVANE_FAULTDRIVER));
    }
    QProcess process;
    process.setWorkingDirectory(drive.workDir());
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(traced.isEmpty() ? args.takeFirst() : m_strace, args);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.output = QString::fromLocal8Bit(process.readAll());
    // The mtools command at which the driver was killed runs on; it has to end before the
    // image is looked at.
    if (run.crashed && injection.startsWith(QLatin1String("mtools=KILL")))
        (void)QTest::qWaitFor([&] { return fileBytes(log).contains("killed by SIGKILL"); }, 60000);
    run.log = QString::fromUtf8(fileBytes(log));
    run.report = QString::fromUtf8(fileBytes(report)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (run.exitCode != 0 && !injection.contains(QLatin1String("KILL")))
        qWarning().noquote() << run.output;
    return run;
}

std::map<QString, QList<Call>> TestFaultMatrix::callsInside(const QString& log)
{
    static const QRegularExpression callLine(QStringLiteral("^(\\d+)\\s+([a-z0-9_]+)\\((\\d*)"));
    static const QRegularExpression opened(
        QStringLiteral("^\\d+\\s+(?:(?:openat|open|creat)\\(|<\\.\\.\\. (?:openat|open|creat) "
                       "resumed>).*= (\\d+)$"));
    static const QRegularExpression closed(QStringLiteral("^\\d+\\s+close\\((\\d+)"));
    // Calls on a descriptor count only when it is a file the program opened: the event
    // loop's wake-ups and the sanitizers' own pipes are written to as well, and failing
    // those says nothing about the disk.
    static const QStringList onDescriptor = {
        QStringLiteral("write"),     QStringLiteral("pwrite64"),        QStringLiteral("writev"),
        QStringLiteral("fsync"),     QStringLiteral("fdatasync"),       QStringLiteral("ftruncate"),
        QStringLiteral("fallocate"), QStringLiteral("copy_file_range"), QStringLiteral("sendfile")};
    QSet<QString> fileDescriptors;
    std::map<QString, int> seen;
    std::map<QString, QList<Call>> inside;
    QString mainPid;
    bool within = false;
    for (const QString& line : log.split(QLatin1Char('\n'))) {
        if (const QRegularExpressionMatch match = opened.match(line); match.hasMatch())
            fileDescriptors.insert(match.captured(1));
        if (const QRegularExpressionMatch match = closed.match(line); match.hasMatch())
            fileDescriptors.remove(match.captured(1));
        const QRegularExpressionMatch match = callLine.match(line);
        if (!match.hasMatch())
            continue;
        if (mainPid.isEmpty())
            mainPid = match.captured(1);
        if (match.captured(1) != mainPid)
            continue;
        if (line.contains(QLatin1String("bootvane-fault-begin"))) {
            within = true;
            continue;
        }
        if (line.contains(QLatin1String("bootvane-fault-end")))
            break;
        const QString call = match.captured(2);
        const int number = ++seen[call];
        if (!within || !writeSideCalls.contains(call))
            continue;
        if (onDescriptor.contains(call) && !fileDescriptors.contains(match.captured(3)))
            continue;
        static const QRegularExpression forWriting(QStringLiteral("O_WRONLY|O_RDWR|O_CREAT"));
        inside[call].append(
            {number, !call.contains(QLatin1String("open")) || line.contains(forWriting)});
    }
    return inside;
}

QString TestFaultMatrix::problemAfterKill(const Operation& operation, const DiskC& disk,
                                          const QList<QByteArray>& before,
                                          const QList<QByteArray>& after)
{
    const TempDrive& drive = disk.drive;
    // Right after the kill nothing may be half-made; the system files are judged after the
    // next start, which must not change them.
    const bool saveset = operation.name == QLatin1String("saveset");
    if (saveset || operation.name == QLatin1String("backup")) {
        QList<QByteArray> sources;
        for (int slot = 0; slot < 3; ++slot)
            sources.append(fileBytes(Operation::source(drive, slot)));
        const QString made =
            drive.workDir() + (saveset ? QStringLiteral("/New Set") : QStringLiteral("/Originals"));
        if (const QString problem = problemWithSet(made, saveset ? sources : before, true);
            !problem.isEmpty())
            return problem;
    }

    const Run next = runDriver(Operation{QStringLiteral("backup")}, disk, QString(), QString());
    if (next.crashed || next.exitCode != 0 ||
        next.report.join(QLatin1Char('\n')).contains(QLatin1String("critical")))
        return QStringLiteral("the next start failed: ") + next.report.join(QLatin1Char(' '));
    QString problem = problemWithStaging(drive);
    if (problem.isEmpty() && disk.image && !disk.image->leftovers().isEmpty())
        problem = QStringLiteral("left behind: ") + disk.image->leftovers();
    if (problem.isEmpty())
        problem = problemWithSystemFiles(disk, before, after, true);
    if (problem.isEmpty() && operation.name == QLatin1String("backup"))
        problem = problemWithSet(drive.workDir() + QStringLiteral("/Originals"), before, false);
    return problem.isEmpty() ? QString() : QStringLiteral("after the next start: ") + problem;
}

void TestFaultMatrix::everyFailingCallLeavesAWholeDisk_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("image"); // as DiskC takes it
    for (const char* name : {"backup", "apply", "restore", "restore-removing", "saveset"})
        QTest::newRow(name) << QString::fromLatin1(name) << "";
    for (const char* name : {"backup", "apply", "restore", "restore-removing"})
        QTest::addRow("image %s", name) << QString::fromLatin1(name) << "raw";
    for (const char* name : {"backup", "apply", "restore-removing"})
        QTest::addRow("qcow2 %s", name) << QString::fromLatin1(name) << "qcow2";
    for (const char* name : {"apply", "restore"})
        QTest::addRow("dynamic VHD %s", name) << QString::fromLatin1(name) << "vpc";
}

void TestFaultMatrix::everyFailingCallLeavesAWholeDisk()
{
    QFETCH(QString, operation);
    QFETCH(QString, image);
    const bool onImage = !image.isEmpty();
    if (image != QLatin1String("raw") && onImage && whyContainersCannotBeOpened())
        QSKIP(qPrintable(*whyContainersCannotBeOpened()));
    const Operation op{operation};
    const QString traced =
        onImage ? QString()
                : writeSideCalls.join(QLatin1Char(',')) + QLatin1Char(',') + markerCalls;

    std::map<QString, QList<Call>> calls;
    QStringList commands; // on an image: the mtools commands, in the order they run
    {
        const DiskC disk(image);
        op.prepare(disk);
        const Run clean = runDriver(op, disk, QString(), traced);
        QVERIFY2(!clean.crashed && clean.exitCode == 0, "the operation fails without faults");
        QVERIFY2(!clean.report.join(QLatin1Char('\n')).contains(QLatin1String("critical")),
                 qPrintable(clean.report.join(QLatin1Char('\n'))));
        if (onImage) {
            // Named without the image, whose folder is new each run.
            commands = QString(clean.log)
                           .remove(QRegularExpression(QStringLiteral(" -i \\S+")))
                           .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            for (int number = 1; number <= commands.size(); ++number)
                calls[commands[number - 1].section(QLatin1Char(' '), 0, 0)].append(Call{number});
        } else {
            calls = callsInside(clean.log);
        }
    }
    QVERIFY2(!calls.empty(), "found no write-side calls inside the operation");
    QStringList counted;
    for (const auto& [call, invocations] : calls)
        counted.append(QStringLiteral("%1 x%2").arg(call).arg(invocations.size()));
    qInfo().noquote() << operation << "makes" << counted.join(QStringLiteral(", "));

    // On an image an mtools command fails as a whole (EIO), or Bootvane is killed while it runs.
    const QStringList errors = onImage
                                   ? QStringList{QStringLiteral("EIO"), QStringLiteral("KILL")}
                                   : QStringList{QStringLiteral("ENOSPC"), QStringLiteral("EIO"),
                                                 QStringLiteral("KILL"), QStringLiteral("LIE")};
    QStringList problems;
    for (const auto& [call, invocations] : calls) {
        for (const Call& at : invocations) {
            for (const QString& error : errors) {
                // A full disk and a kill matter only where the disk changes; an open for reading
                // can still fail for a bad disk. Only a rename can be done and reported failed.
                const bool kill = error == QLatin1String("KILL");
                const bool lie = error == QLatin1String("LIE");
                if (!at.changesDisk && error != QLatin1String("EIO"))
                    continue;
                if (lie && !call.startsWith(QLatin1String("rename")))
                    continue;
                const int number = at.number;
                const DiskC disk(image);
                const TempDrive& drive = disk.drive;
                op.prepare(disk);
                const QString cwd = QDir::currentPath();
                const QList<QByteArray> before = disk.systemFiles();
                const QList<QByteArray> after = op.newSystemBytes(drive, before);

                const QString injection =
                    onImage ? QStringLiteral("mtools=%1:%2").arg(error).arg(number)
                    : lie   ? QStringLiteral("lie=%1:%2").arg(call).arg(number)
                    : kill
                        ? QStringLiteral("inject=%1:signal=KILL:when=%2").arg(call).arg(number)
                        : QStringLiteral("inject=%1:error=%2:when=%3").arg(call, error).arg(number);
                const Run run = runDriver(op, disk, injection, lie ? QString() : traced);
                ++m_runs;
                m_kills += kill ? 1 : 0;
                const QString where = QStringLiteral("%1 %2 #%3: ")
                                          .arg(onImage ? commands[number - 1] : call, error)
                                          .arg(number);
                if (kill) {
                    // The export's guard ends what the killed program left, before any next
                    // start.
                    const bool cleared =
                        !disk.image ||
                        QTest::qWaitFor([&] { return disk.image->leftovers().isEmpty(); }, 10000);
                    const QString problem =
                        !run.log.contains(QLatin1String("killed by SIGKILL"))
                            ? QStringLiteral("the process was not killed")
                        : !cleared
                            ? QStringLiteral("left behind by the kill: ") + disk.image->leftovers()
                        : run.log.contains(QLatin1String("Cannot initialize"))
                            ? QStringLiteral("the command left running failed")
                            : problemAfterKill(op, disk, before, after);
                    if (!problem.isEmpty())
                        problems.append(where + problem);
                    continue;
                }
                if (run.crashed || run.exitCode != 0) {
                    problems.append(where + QStringLiteral("the program crashed"));
                    continue;
                }
                if (!run.log.contains(QLatin1String("(INJECTED)")) &&
                    !run.output.contains(QLatin1String("EIO reported")))
                    problems.append(where + QStringLiteral("the fault was never injected"));
                const bool reported =
                    run.report.join(QLatin1Char('\n')).contains(QLatin1String("critical\t"));

                // Backing up and saving a set leave drive C as it was.
                QString problem = problemWithSystemFiles(disk, before, after, reported);
                if (problem.isEmpty() && op.name == QLatin1String("backup")) {
                    problem = problemWithSet(drive.workDir() + QStringLiteral("/Originals"), before,
                                             reported);
                } else if (problem.isEmpty() && op.name == QLatin1String("saveset")) {
                    QList<QByteArray> sources;
                    for (int slot = 0; slot < 3; ++slot)
                        sources.append(fileBytes(Operation::source(drive, slot)));
                    problem = problemWithSet(drive.workDir() + QStringLiteral("/New Set"), sources,
                                             reported);
                    // Once the set is in place the save has happened, whatever fails after.
                    if (problem.isEmpty() && reported &&
                        QFileInfo::exists(drive.workDir() + QStringLiteral("/New Set")))
                        problem = QStringLiteral("the set was made, but a failure was reported");
                }
                if (problem.isEmpty())
                    problem = problemWithStaging(drive);
                if (problem.isEmpty() && disk.image && !disk.image->leftovers().isEmpty())
                    problem = QStringLiteral("left behind: ") + disk.image->leftovers();
                if (problem.isEmpty() && !run.report.contains(QStringLiteral("cwd\t") + cwd))
                    problem = QStringLiteral("the current directory changed");
                if (!problem.isEmpty())
                    problems.append(where + problem);
            }
        }
    }
    // QTest cuts a long message short: each problem goes to the log on its own.
    for (const QString& problem : problems)
        qWarning().noquote() << problem;
    QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("%1 faults left a disk the user "
                                                           "cannot live with")
                                                .arg(problems.size())));
}

void TestFaultMatrix::twoCopiesStartedAtOnceMakeOneOriginals()
{
    {
        // Where locks keep no one out, another copy's staging folder looks abandoned: no
        // start may take it away.
        TempDrive drive;
        drive.writeSystemScreens();
        const QString live = drive.workDir() + QStringLiteral("/.bootvane-staging-live");
        QVERIFY(QDir().mkdir(live));
        writeFile(live + QStringLiteral("/logo.sys"), "being copied");
        QProcess copy;
        copy.setWorkingDirectory(drive.workDir());
        copy.setProcessEnvironment(driverEnvironment(QStringLiteral("flock does nothing")));
        copy.start(QStringLiteral(BOOTVANE_FAULTDRIVER),
                   {QStringLiteral("backup"), drive.root() + QStringLiteral("/report")});
        QVERIFY(copy.waitForFinished(60000));
        QCOMPARE(copy.exitCode(), 0);
        QCOMPARE(fileBytes(live + QStringLiteral("/logo.sys")), QByteArray("being copied"));
    }
    for (int round = 0; round < 10; ++round) {
        TempDrive drive;
        drive.writeSystemScreens();
        QList<QByteArray> screens;
        for (int slot = 0; slot < 3; ++slot)
            screens.append(fileBytes(drive.systemFile(slot)));
        QProcess copies[2];
        for (int i = 0; i < 2; ++i) {
            copies[i].setWorkingDirectory(drive.workDir());
            copies[i].setProcessEnvironment(driverEnvironment());
            copies[i].start(
                QStringLiteral(BOOTVANE_FAULTDRIVER),
                {QStringLiteral("backup"), drive.root() + QStringLiteral("/report%1").arg(i)});
        }
        for (int i = 0; i < 2; ++i) {
            QVERIFY(copies[i].waitForFinished(60000));
            QCOMPARE(copies[i].exitCode(), 0);
            const QString report =
                QString::fromUtf8(fileBytes(drive.root() + QStringLiteral("/report%1").arg(i)));
            QVERIFY2(report.count(QLatin1String("information\t")) <= 1 &&
                         !report.contains(QLatin1String("critical")),
                     qPrintable(report));
        }
        QCOMPARE(problemWithSet(drive.workDir() + QStringLiteral("/Originals"), screens, false),
                 QString());
        QCOMPARE(problemWithStaging(drive), QString());
    }
}

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
