// Failing disks and crashes: every operation that writes runs once for every write-side
// system call it makes, with exactly that one call failing (EIO, and ENOSPC where the call
// changes the disk) or the process killed there (SIGKILL, where the call changes the disk),
// under strace; and once for every rename, done but reported as failed (LIE), as a network
// file system does when its reply is lost. After each run
// the disk must be in a state the user can live with: every system file holds all its old
// bytes or all its new ones, no set is half-made, "Originals" is complete or absent. A
// failure was reported and left no staging folder; after a kill the next start removes what
// the dead process left and works.

#include "folderdrive.h"
#include "originals.h"
#include "paths.h"
#include "picture.h"
#include "scripteddialogs.h"
#include "tempdrive.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <map>

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

// A write-side call by its number among the calls of its name; an open only for reading
// changes nothing, so a kill there is the same as one at the next call.
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

// One operation of the program with what it needs on disk and what it may leave there.
struct Operation {
    QString name;

    void prepare(const TempDrive& drive) const
    {
        if (name != QLatin1String("backup")) {
            // The originals as the program saves them; those of a plain Windows 95, without
            // logo.sys, record it, and restoring removes the file.
            for (int slot = 0; slot < 3; ++slot)
                drive.writeSystemScreen(slot, screenPicture(20 + slot));
            if (removesLogo())
                QFile::remove(drive.systemFile(0));
            backupOriginals(basePath(), *FolderDrive::wine());
        }
        drive.writeSystemScreens();
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
    QList<QByteArray> newSystemBytes(const TempDrive& drive) const
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
                bytes.append(fileBytes(drive.systemFile(slot)));
            }
        }
        return bytes;
    }
};

QString problemWithSystemFiles(const TempDrive& drive, const QList<QByteArray>& before,
                               const QList<QByteArray>& after, bool reported)
{
    for (int slot = 0; slot < 3; ++slot) {
        const QByteArray now = fileBytes(drive.systemFile(slot));
        if (now != before[slot] && now != after[slot])
            return QStringLiteral("system file %1 is neither old nor new").arg(slot);
        if (!reported && now != after[slot])
            return QStringLiteral("system file %1 unchanged but no failure reported").arg(slot);
    }
    const QStringList rootEntries =
        QDir(drive.driveC())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    const QStringList windowsEntries =
        QDir(drive.driveC() + QStringLiteral("/windows"))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    QStringList expectedRoot{QStringLiteral("windows")};
    if (QFileInfo::exists(drive.systemFile(0)))
        expectedRoot.prepend(QStringLiteral("logo.sys"));
    if (rootEntries != expectedRoot ||
        windowsEntries != QStringList{QStringLiteral("logos.sys"), QStringLiteral("logow.sys")})
        return QStringLiteral("stray files on drive C: %1 / %2")
            .arg(rootEntries.join(QLatin1Char(' ')), windowsEntries.join(QLatin1Char(' ')));
    return {};
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
    // Runs the driver under strace, or by itself when nothing is traced.
    Run runDriver(const Operation& operation, const TempDrive& drive, const QString& injection,
                  const QString& traced);
    // For each write-side call the operation makes, the invocations (numbered per call, from
    // the start of the process) that fall inside the operation.
    std::map<QString, QList<Call>> callsInside(const QString& log);
    QString problemAfterKill(const Operation& operation, const TempDrive& drive,
                             const QList<QByteArray>& before, const QList<QByteArray>& after);

    QString m_strace;
    int m_runs = 0;
    int m_kills = 0;
};

void TestFaultMatrix::initTestCase()
{
    m_strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (m_strace.isEmpty())
        QFAIL("strace is not installed (scripts/test installs it)");
}

void TestFaultMatrix::cleanupTestCase()
{
    qInfo("%d fault-injection runs, %d of them kills", m_runs, m_kills);
}

Run TestFaultMatrix::runDriver(const Operation& operation, const TempDrive& drive,
                               const QString& injection, const QString& traced)
{
    const QString log = drive.root() + QStringLiteral("/strace.log");
    const QString report = drive.root() + QStringLiteral("/report.txt");
    QStringList args{QStringLiteral("-f"), QStringLiteral("-qq"),
                     QStringLiteral("-o"), log,
                     QStringLiteral("-e"), QStringLiteral("trace=") + traced};
    if (!injection.isEmpty())
        args << QStringLiteral("-e") << injection;
    args << QStringLiteral(BOOTVANE_FAULTDRIVER) << operation.driverOperation() << report
         << operation.arguments(drive);

    QProcessEnvironment environment = driverEnvironment(injection);
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
    run.log = QString::fromUtf8(fileBytes(log));
    run.report = QString::fromUtf8(fileBytes(report)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (run.exitCode != 0 && !injection.contains(QLatin1String("signal=KILL")))
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

QString TestFaultMatrix::problemAfterKill(const Operation& operation, const TempDrive& drive,
                                          const QList<QByteArray>& before,
                                          const QList<QByteArray>& after)
{
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

    const Run next = runDriver(Operation{QStringLiteral("backup")}, drive, QString(), QString());
    if (next.crashed || next.exitCode != 0 ||
        next.report.join(QLatin1Char('\n')).contains(QLatin1String("critical")))
        return QStringLiteral("the next start failed: ") + next.report.join(QLatin1Char(' '));
    QString problem = problemWithStaging(drive);
    if (problem.isEmpty())
        problem = problemWithSystemFiles(drive, before, after, true);
    if (problem.isEmpty() && operation.name == QLatin1String("backup"))
        problem = problemWithSet(drive.workDir() + QStringLiteral("/Originals"), before, false);
    return problem.isEmpty() ? QString() : QStringLiteral("after the next start: ") + problem;
}

void TestFaultMatrix::everyFailingCallLeavesAWholeDisk_data()
{
    QTest::addColumn<QString>("operation");
    for (const char* name : {"backup", "apply", "restore", "restore-removing", "saveset"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestFaultMatrix::everyFailingCallLeavesAWholeDisk()
{
    QFETCH(QString, operation);
    const Operation op{operation};
    const QString traced = writeSideCalls.join(QLatin1Char(',')) + QLatin1Char(',') + markerCalls;

    std::map<QString, QList<Call>> calls;
    {
        TempDrive drive;
        op.prepare(drive);
        const Run clean = runDriver(op, drive, QString(), traced);
        QVERIFY2(!clean.crashed && clean.exitCode == 0, "the operation fails without faults");
        QVERIFY2(!clean.report.join(QLatin1Char('\n')).contains(QLatin1String("critical")),
                 qPrintable(clean.report.join(QLatin1Char('\n'))));
        calls = callsInside(clean.log);
    }
    QVERIFY2(!calls.empty(), "found no write-side calls inside the operation");
    QStringList counted;
    for (const auto& [call, invocations] : calls)
        counted.append(QStringLiteral("%1 x%2").arg(call).arg(invocations.size()));
    qInfo().noquote() << operation << "makes" << counted.join(QStringLiteral(", "));

    QStringList problems;
    for (const auto& [call, invocations] : calls) {
        for (const Call& at : invocations) {
            for (const char* error : {"ENOSPC", "EIO", "KILL", "LIE"}) {
                // A full disk and a kill matter only where the disk changes; an open for reading
                // can still fail for a bad disk. Only a rename can be done and reported failed.
                const bool kill = qstrcmp(error, "KILL") == 0;
                const bool lie = qstrcmp(error, "LIE") == 0;
                if (!at.changesDisk && qstrcmp(error, "EIO") != 0)
                    continue;
                if (lie && !call.startsWith(QLatin1String("rename")))
                    continue;
                const int number = at.number;
                TempDrive drive;
                op.prepare(drive);
                const QString cwd = QDir::currentPath();
                QList<QByteArray> before;
                for (int slot = 0; slot < 3; ++slot)
                    before.append(fileBytes(drive.systemFile(slot)));
                const QList<QByteArray> after = op.newSystemBytes(drive);

                const QString injection =
                    lie    ? QStringLiteral("lie=%1:%2").arg(call).arg(number)
                    : kill ? QStringLiteral("inject=%1:signal=KILL:when=%2").arg(call).arg(number)
                           : QStringLiteral("inject=%1:error=%2:when=%3")
                                 .arg(call, QLatin1String(error))
                                 .arg(number);
                const Run run = runDriver(op, drive, injection, lie ? QString() : traced);
                ++m_runs;
                m_kills += kill ? 1 : 0;
                const QString where =
                    QStringLiteral("%1 %2 #%3: ").arg(call, QLatin1String(error)).arg(number);
                if (kill) {
                    const QString problem = run.log.contains(QLatin1String("killed by SIGKILL"))
                                                ? problemAfterKill(op, drive, before, after)
                                                : QStringLiteral("the process was not killed");
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

                QString problem;
                if (op.name == QLatin1String("apply") ||
                    op.driverOperation() == QLatin1String("restore")) {
                    problem = problemWithSystemFiles(drive, before, after, reported);
                } else if (op.name == QLatin1String("backup")) {
                    problem = problemWithSet(drive.workDir() + QStringLiteral("/Originals"), before,
                                             reported);
                } else {
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
                if (problem.isEmpty() && !run.report.contains(QStringLiteral("cwd\t") + cwd))
                    problem = QStringLiteral("the current directory changed");
                if (!problem.isEmpty())
                    problems.append(where + problem);
            }
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
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
