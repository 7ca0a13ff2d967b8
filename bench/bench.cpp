// Bootvane's benchmarks. Every figure is the median of repeated runs, reported as a ratio
// against a floor measured in the same run on the same machine: the least that the same job
// could cost. Bare times mean nothing across machines; ratios do.

#include "drivechoice.h"
#include "error.h"
#include "frmlogomain.h"
#include "frmmovingband.h"
#include "frmwin95view.h"
#include "imagebox.h"
#include "imagedrive.h"
#include "movingband.h"
#include "mtools.h"
#include "originals.h"
#include "paths.h"
#include "picture.h"
#include "picturememory.h"
#include "screenformat.h"
#include "screenslots.h"
#include "scripteddialogs.h"
#include "tempdrive.h"
#include "tempimage.h"
#include "win95screenview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace bootvane;
using namespace bootvane::testing;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Times one call, in milliseconds.
double timeOnce(const std::function<void()>& job)
{
    QElapsedTimer timer;
    timer.start();
    job();
    return double(timer.nsecsElapsed()) / 1e6;
}

// "Originals" as an earlier Bootvane left them, the screens in use: taken over at the start
// with no question, as a user who has used Bootvane before sees it.
void keepScreensInUseAsOriginals(const TempDrive& drive)
{
    const QString originals = drive.workDir() + QStringLiteral("/Originals/");
    QDir().mkpath(originals);
    for (int slot = 0; slot < 3; ++slot)
        QFile::copy(drive.systemFile(slot),
                    originals + QLatin1String(screenSlots[size_t(slot)].setFileName));
}

struct Pair {
    double measured = 0;
    double floor = 0;
};

// Runs measured and floor alternately, so that both see the same machine.
Pair medians(int runs, const std::function<void()>& measured, const std::function<void()>& floor)
{
    std::vector<double> a, b;
    for (int i = 0; i < runs; ++i) {
        a.push_back(timeOnce(measured));
        b.push_back(timeOnce(floor));
    }
    return {median(a), median(b)};
}

// A target of 0 means the figure is shown for information, with no target of its own.
void report(const char* figure, double ratio, double target, const char* note = "")
{
    if (target <= 0) {
        std::printf("| %-46s | %6.2f | %6s | %-4s | %s\n", figure, ratio, "-", "", note);
        return;
    }
    std::printf("| %-46s | %6.2f | %6.2f | %-4s | %s\n", figure, ratio, target,
                ratio <= target ? "met" : "MISS", note);
}

// --- start-up -------------------------------------------------------------------------

struct ProcessRun {
    double milliseconds;
    long peakKilobytes;
};

ProcessRun runProcess(const QString& program, const QString& workDir,
                      const QStringList& arguments = {})
{
    const QByteArray path = QFile::encodeName(program);
    QList<QByteArray> encoded;
    for (const QString& argument : arguments)
        encoded.append(QFile::encodeName(argument));
    std::vector<char*> argv{const_cast<char*>(path.constData())};
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(QFile::encodeName(workDir).constData()) != 0)
            _exit(127);
        execv(path.constData(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("%s failed", qPrintable(program));
    return {double(timer.nsecsElapsed()) / 1e6, usage.ru_maxrss};
}

// The originals of drive, made as the first start makes them, so that no start measured
// makes them.
void saveOriginals(const TempDrive& work, const Drive& drive)
{
    const QString base = work.workDir() + pathSeparator();
    backupOriginals(base, drive);
    (void)Originals::required(base, drive);
}

void benchStartUp(const QString& binDir)
{
    // The same screens, sets and originals on drive C in a disk image, the program started
    // on it with --drive. The image comes first: the folder's TempDrive, made after it, is the
    // one whose Wine prefix the children inherit.
    TempImage image;
    image.writeSystemScreens();
    for (int i = 0; i < 3; ++i)
        image.drive.makeSet(QStringLiteral("Set %1").arg(i));
    saveOriginals(image.drive, *ImageDrive::open(image.path()));
    const QStringList onImage{QStringLiteral("--drive"), image.path()};

    TempDrive drive;
    drive.writeSystemScreens();
    keepScreensInUseAsOriginals(drive);
    for (int i = 0; i < 3; ++i)
        drive.makeSet(QStringLiteral("Set %1").arg(i));
    const QString ours = binDir + QStringLiteral("/bench-startup-bootvane");
    const QString bare = binDir + QStringLiteral("/bench-startup-floor");
    runProcess(ours, drive.workDir()); // warm the caches for all three
    runProcess(bare, drive.workDir());
    runProcess(ours, image.drive.workDir(), onImage);
    int commands = 0;
    {
        const MtoolsCount count;
        runProcess(ours, image.drive.workDir(), onImage);
        commands = count.commands();
    }

    std::vector<double> ourTimes, bareTimes, imageTimes, ourMemory, bareMemory, imageMemory;
    for (int i = 0; i < 21; ++i) {
        const ProcessRun a = runProcess(ours, drive.workDir());
        const ProcessRun b = runProcess(bare, drive.workDir());
        const ProcessRun c = runProcess(ours, image.drive.workDir(), onImage);
        ourTimes.push_back(a.milliseconds);
        bareTimes.push_back(b.milliseconds);
        imageTimes.push_back(c.milliseconds);
        ourMemory.push_back(double(a.peakKilobytes));
        bareMemory.push_back(double(b.peakKilobytes));
        imageMemory.push_back(double(c.peakKilobytes));
    }
    const double time = median(ourTimes) / median(bareTimes);
    const double memory = median(ourMemory) / median(bareMemory);
    char note[160];
    std::snprintf(note, sizeof note, "%.1f ms vs %.1f ms; peak memory %.1f MiB vs %.1f MiB (%.2fx)",
                  median(ourTimes), median(bareTimes), median(ourMemory) / 1024,
                  median(bareMemory) / 1024, memory);
    report("Start-up to main window shown and idle", time, 1.3, note);

    // Against the same program started on the same screens in a folder.
    std::snprintf(note, sizeof note,
                  "%.1f ms vs %.1f ms in a folder; peak memory %.1f MiB vs %.1f MiB; %d mtools "
                  "commands",
                  median(imageTimes), median(ourTimes), median(imageMemory) / 1024,
                  median(ourMemory) / 1024, commands);
    report("Start-up on a disk image", median(imageTimes) / median(ourTimes), 1.5, note);
}

// --- tree rebuild ---------------------------------------------------------------------

// The floor: list the folder and stat every entry, as plainly as the system allows.
void listAndStat(const QByteArray& folder)
{
    DIR* dir = opendir(folder.constData());
    int found = 0;
    while (dirent* entry = readdir(dir)) {
        struct stat info {};
        const QByteArray path = folder + '/' + entry->d_name;
        if (stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode))
            ++found;
    }
    closedir(dir);
    if (found == 0)
        qFatal("nothing listed");
}

Pair benchTree(int sets)
{
    TempDrive drive;
    drive.writeSystemScreens();
    // The first start saves the screens in use as "Originals", with their record.
    QDir work(drive.workDir());
    for (int i = 0; i < sets; ++i)
        work.mkdir(QStringLiteral("Set %1").arg(i, 5, 10, QLatin1Char('0')));

    ScriptedDialogs dialogs;
    frmLogoMain window;
    window.show();
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
    const QByteArray folder = QFile::encodeName(drive.workDir());
    const Pair pair = medians(
        15,
        [&] {
            window.Form_Activate();
            if (tree->topLevelItem(0)->childCount() != sets)
                qFatal("wrong tree");
        },
        [&] { listAndStat(folder); });
    char figure[80];
    std::snprintf(figure, sizeof figure, "Tree rebuild, %d set folders", sets);
    char note[80];
    std::snprintf(note, sizeof note, "%.2f ms vs %.2f ms", pair.measured, pair.floor);
    const double ratio = pair.measured / pair.floor;
    report(figure, ratio, sets >= 10000 ? 1.5 : 0, note);
    return pair;
}

// --- applying a set -------------------------------------------------------------------

// The main window on the current drive with the first set clicked, ready to apply it.
struct WindowWithFirstSetChosen {
    explicit WindowWithFirstSetChosen(std::unique_ptr<Drive> drive = nullptr)
        : window(std::move(drive))
    {
        window.show();
        auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
        QTreeWidgetItem* target = tree->topLevelItem(0)->child(0);
        tree->setCurrentItem(target);
        emit tree->itemClicked(target, 0);
        cmdSetCur = window.findChild<QPushButton*>(QStringLiteral("cmdSetCur"));
    }

    ScriptedDialogs dialogs;
    frmLogoMain window;
    QPushButton* cmdSetCur = nullptr;
};

// The floor: the three screens in use read, as Undo's history needs them, and the same bytes
// written to three files, each with write, fdatasync and rename.
void readWriteSyncRename(const QStringList& inUse, const QList<QByteArray>& bytes,
                         const QStringList& paths)
{
    for (const QString& path : inUse) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        char buffer[65536];
        ssize_t got = 0;
        while (fd >= 0 && (got = ::read(fd, buffer, sizeof buffer)) > 0) {
        }
        if (fd < 0 || got < 0 || ::close(fd) != 0)
            qFatal("floor read failed");
    }
    for (int i = 0; i < 3; ++i) {
        const QByteArray target = QFile::encodeName(paths[i]);
        const QByteArray temporary = target + ".tmp";
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 ||
            ::write(fd, bytes[i].constData(), size_t(bytes[i].size())) != bytes[i].size() ||
            ::fdatasync(fd) != 0 || ::close(fd) != 0 ||
            ::rename(temporary.constData(), target.constData()) != 0)
            qFatal("floor write failed");
    }
}

void benchApply()
{
    TempDrive drive;
    drive.writeSystemScreens();
    keepScreensInUseAsOriginals(drive);
    drive.makeSet(QStringLiteral("Target"));

    WindowWithFirstSetChosen chosen;
    QPushButton* cmdSetCur = chosen.cmdSetCur;
    const ScriptedDialogs& dialogs = chosen.dialogs;

    QList<QByteArray> bytes;
    QStringList inUse, floorPaths;
    QDir(drive.root()).mkdir(QStringLiteral("floor"));
    for (int slot = 0; slot < 3; ++slot) {
        inUse.append(drive.systemFile(slot));
        bytes.append(fileBytes(drive.systemFile(slot)));
        floorPaths.append(drive.root() + QStringLiteral("/floor/") + QString::number(slot));
    }
    cmdSetCur->click();
    if (!dialogs.boxes.isEmpty())
        qFatal("apply failed: %s", qPrintable(dialogs.boxes.first().text));
    for (int slot = 0; slot < 3; ++slot)
        bytes[slot] = fileBytes(drive.systemFile(slot));

    const Pair pair = medians(
        31, [&] { cmdSetCur->click(); }, [&] { readWriteSyncRename(inUse, bytes, floorPaths); });
    char note[80];
    std::snprintf(note, sizeof note, "%.2f ms vs %.2f ms", pair.measured, pair.floor);
    report("Apply a set (3 loads, 3 reads, 3 writes)", pair.measured / pair.floor, 1.3, note);
}

// --- applying a set to a disk image ------------------------------------------------------

// One mtools command as Bootvane runs it: the program, and the arguments after "-i image".
struct MtoolsCommand {
    const char* tool;
    QStringList arguments;
    QString input = {}; // a file given to the command as its standard input
    int exitCode = 0;   // 1 for a lookup in which some name answers to nothing
};

// The commands that one "Set as Current" runs on an image whose three system files are there
// with the archive attribute alone and no file is left from an earlier write: every file is
// checked before the first changes, with one lookup of all their names; the screens in use are
// read for the history Undo goes back to, after another; then each is written to NAME.BVW,
// read back, renamed NAME.BVN once whole, and renamed over the old one, its names looked up first.
std::vector<MtoolsCommand> applyCommands(const QStringList& sources)
{
    std::vector<MtoolsCommand> commands;
    auto folder = [](int slot) {
        const QString path = systemFileOnImage(slot);
        return path.left(qMax<qsizetype>(path.lastIndexOf(QLatin1Char('/')), 3));
    };
    auto temporary = [](int slot, const char* extension) {
        const QString path = systemFileOnImage(slot);
        return path.section(QLatin1Char('.'), 0, 0) + QLatin1Char('.') + QLatin1String(extension);
    };
    const QStringList listing{QStringLiteral("-a"), QStringLiteral("-f"), QStringLiteral("-w")};
    const QStringList skip{QStringLiteral("-D"), QStringLiteral("s")};
    auto read = [](const QString& path) {
        return MtoolsCommand{"mcopy", {QStringLiteral("-n"), path, QStringLiteral("-")}};
    };
    // Each name is looked up as a pattern of itself ("LOGO.SY[S]"), the folders on its way too.
    auto pattern = [](const QString& path) {
        return path.chopped(1) + QLatin1Char('[') + path.back() + QLatin1Char(']');
    };
    auto lookup = [&](std::initializer_list<int> which, bool temporaries) {
        QStringList arguments = listing;
        bool windows = false;
        for (const int slot : which) {
            if (!windows && folder(slot).size() > 3) {
                arguments << pattern(folder(slot));
                windows = true;
            }
            arguments << pattern(systemFileOnImage(slot));
            if (temporaries)
                arguments << pattern(temporary(slot, "BVW")) << pattern(temporary(slot, "BVN"));
        }
        return MtoolsCommand{"mdir", arguments, {}, temporaries ? 1 : 0};
    };
    commands.push_back(lookup({0, 1, 2}, true));
    commands.push_back(lookup({0, 1, 2}, false));
    for (int slot = 0; slot < 3; ++slot)
        commands.push_back(read(systemFileOnImage(slot)));
    for (int slot = 0; slot < 3; ++slot) {
        const QString path = systemFileOnImage(slot);
        const QString written = temporary(slot, "BVW");
        const QString ready = temporary(slot, "BVN");
        commands.push_back(lookup({slot}, true));
        commands.push_back({"mattrib", {path}});
        commands.push_back(
            {"mcopy",
             {QStringLiteral("-D"), QStringLiteral("o"), QStringLiteral("-"), written},
             sources[slot]});
        commands.push_back(read(written));
        commands.push_back({"mren", skip + QStringList{written, ready}});
        commands.push_back(
            {"mren", QStringList{QStringLiteral("-D"), QStringLiteral("o"), ready, path}});
    }
    return commands;
}

// A command ready to run: every string made before the clock starts.
struct PreparedCommand {
    QByteArray input;
    QByteArray program;
    QList<QByteArray> arguments;
    std::vector<char*> argv;
    int exitCode = 0;
};

std::vector<PreparedCommand> prepare(const std::vector<MtoolsCommand>& commands,
                                     const TempImage& image)
{
    std::vector<PreparedCommand> prepared(commands.size());
    for (size_t i = 0; i < commands.size(); ++i) {
        PreparedCommand& command = prepared[i];
        command.exitCode = commands[i].exitCode;
        command.input = commands[i].input.isEmpty() ? QByteArray("/dev/null")
                                                    : QFile::encodeName(commands[i].input);
        command.program =
            QFile::encodeName(QStandardPaths::findExecutable(QLatin1String(commands[i].tool)));
        if (command.program.isEmpty())
            qFatal("%s is not installed", commands[i].tool);
        command.arguments = {command.program, "-i",
                             QFile::encodeName(image.path()) + "@@" +
                                 QByteArray::number(image.offset())};
        for (const QString& argument : commands[i].arguments)
            command.arguments.append(QFile::encodeName(argument));
        for (QByteArray& argument : command.arguments)
            command.argv.push_back(argument.data());
        command.argv.push_back(nullptr);
    }
    return prepared;
}

// The floor: the same commands, each spawned and waited for in turn, as cheaply as the system
// allows, in mtools' environment, with the bytes to write read straight from a file and
// nothing read from their output.
void runAlone(std::vector<PreparedCommand>& commands, char** environment)
{
    for (PreparedCommand& command : commands) {
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 0, command.input.constData(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        if (posix_spawn(&pid, command.program.constData(), &quiet, nullptr, command.argv.data(),
                        environment) != 0)
            qFatal("cannot start %s", command.program.constData());
        int status = 0;
        waitpid(pid, &status, 0);
        posix_spawn_file_actions_destroy(&quiet);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != command.exitCode)
            qFatal("%s failed", command.program.constData());
    }
}

void benchApplyToImage()
{
    TempImage image;
    image.writeSystemScreens();
    image.drive.makeSet(QStringLiteral("Target"));
    saveOriginals(image.drive, *ImageDrive::open(image.path()));

    WindowWithFirstSetChosen chosen(ImageDrive::open(image.path()));
    QPushButton* cmdSetCur = chosen.cmdSetCur;
    const ScriptedDialogs& dialogs = chosen.dialogs;
    cmdSetCur->click();
    if (!dialogs.boxes.isEmpty())
        qFatal("apply failed: %s", qPrintable(dialogs.boxes.first().text));

    // The floor copies the bytes Bootvane wrote from files of its own, made beforehand.
    QStringList sources;
    QDir(image.drive.root()).mkdir(QStringLiteral("floor"));
    for (int slot = 0; slot < 3; ++slot) {
        const QByteArray bytes = image.get(systemFileOnImage(slot)).value();
        // Bytes kept as they are only for an uncompressed 8-bit BMP of 320 x 400 pixels.
        QByteArray asTheyAre;
        (void)decodePicture(bytes, systemFileOnImage(slot), &asTheyAre);
        if (asTheyAre != bytes)
            qFatal("the set is not of 8-bit 320 x 400 BMP screens");
        sources.append(image.drive.root() + QStringLiteral("/floor/") + QString::number(slot));
        writeFile(sources.last(), bytes);
    }
    std::vector<PreparedCommand> commands = prepare(applyCommands(sources), image);
    QList<QByteArray> environmentStrings;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MTOOLSRC"), QStringLiteral("/dev/null"));
    environment.insert(QStringLiteral("MTOOLS_NO_VFAT"), QStringLiteral("1"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("HOME"), mtoolsHome());
    for (const QString& variable : environment.toStringList())
        environmentStrings.append(QFile::encodeName(variable));
    std::vector<char*> environmentPointers;
    for (QByteArray& variable : environmentStrings)
        environmentPointers.push_back(variable.data());
    environmentPointers.push_back(nullptr);

    const Pair pair = medians(
        21, [&] { cmdSetCur->click(); }, [&] { runAlone(commands, environmentPointers.data()); });
    if (!dialogs.boxes.isEmpty())
        qFatal("apply failed: %s", qPrintable(dialogs.boxes.first().text));
    const QString problems = image.fsckProblems();
    if (!problems.isEmpty())
        qFatal("the image is damaged: %s", qPrintable(problems));
    char note[96];
    std::snprintf(note, sizeof note, "%.1f ms vs %.1f ms for its %zu mtools commands alone",
                  pair.measured, pair.floor, commands.size());
    report("Apply a set to a disk image", pair.measured / pair.floor, 1.2, note);
}

// --- containers ---------------------------------------------------------------------------

// The image at raw in QEMU's format as qemu-img writes it, beside it: "vpc" with
// "subformat=dynamic" for a dynamic VHD, "qcow2".
QString converted(const QString& raw, const QString& format, const QString& suffix,
                  const QStringList& options = {})
{
    const QString path = QFileInfo(raw).path() + QStringLiteral("/win95.") + suffix;
    runTool(QStringLiteral("qemu-img"),
            QStringList{QStringLiteral("convert"), QStringLiteral("-O"), format} + options +
                QStringList{raw, path});
    return path;
}

// Whether Bootvane opens the image at path here; where it does not (no QEMU or FUSE on this
// machine), the figure says why instead of its ratio.
bool opens(const char* figure, const QString& path)
{
    try {
        (void)openDrive(path);
        return true;
    } catch (const Error& error) {
        std::printf("| %-46s | %6s | %6s | %-4s | not run: %s\n", figure, "-", "", "",
                    qPrintable(error.reason()));
        return false;
    }
}

// Start-up on a dynamic VHD and on a qcow2, each against start-up on the same drive as a raw
// image: what opening a container through QEMU adds to a start.
void benchContainerStartUp(const QString& binDir)
{
    TempImage image;
    image.writeSystemScreens();
    for (int i = 0; i < 3; ++i)
        image.drive.makeSet(QStringLiteral("Set %1").arg(i));
    saveOriginals(image.drive, *ImageDrive::open(image.path()));
    const QString ours = binDir + QStringLiteral("/bench-startup-bootvane");
    const QString work = image.drive.workDir();
    const auto start = [&](const QString& path) {
        return runProcess(ours, work, {QStringLiteral("--drive"), path}).milliseconds;
    };
    for (const auto& [figure, path] :
         {std::pair{"Start-up on a dynamic VHD",
                    converted(image.path(), QStringLiteral("vpc"), QStringLiteral("vhd"),
                              {QStringLiteral("-o"), QStringLiteral("subformat=dynamic")})},
          std::pair{"Start-up on a qcow2",
                    converted(image.path(), QStringLiteral("qcow2"), QStringLiteral("qcow2"))}}) {
        if (!opens(figure, path))
            continue;
        start(path); // the caches warmed for both
        start(image.path());
        std::vector<double> inContainer, raw;
        for (int i = 0; i < 21; ++i) {
            inContainer.push_back(start(path));
            raw.push_back(start(image.path()));
        }
        char note[96];
        std::snprintf(note, sizeof note, "%.1f ms vs %.1f ms on the same drive as a raw image",
                      median(inContainer), median(raw));
        report(figure, median(inContainer) / median(raw), 1.5, note);
    }
}

// Applying a set to a qcow2 against the same on the raw image it was made from, each in a
// working folder of its own.
void benchApplyToQcow2()
{
    TempImage raw;
    raw.writeSystemScreens();
    raw.drive.makeSet(QStringLiteral("Target"));
    saveOriginals(raw.drive, *ImageDrive::open(raw.path()));
    WindowWithFirstSetChosen onRaw(ImageDrive::open(raw.path()));
    TempImage container;
    container.writeSystemScreens();
    container.drive.makeSet(QStringLiteral("Target"));
    const QString qcow2 =
        converted(container.path(), QStringLiteral("qcow2"), QStringLiteral("qcow2"));
    if (!opens("Apply a set to a qcow2", qcow2))
        return;
    saveOriginals(container.drive, *openDrive(qcow2));
    WindowWithFirstSetChosen onQcow2(openDrive(qcow2));
    for (const WindowWithFirstSetChosen* chosen : {&onRaw, &onQcow2}) {
        chosen->cmdSetCur->click();
        if (!chosen->dialogs.boxes.isEmpty())
            qFatal("apply failed: %s", qPrintable(chosen->dialogs.boxes.first().text));
    }
    const Pair pair = medians(
        21, [&] { onQcow2.cmdSetCur->click(); }, [&] { onRaw.cmdSetCur->click(); });
    for (const WindowWithFirstSetChosen* chosen : {&onRaw, &onQcow2}) {
        if (!chosen->dialogs.boxes.isEmpty())
            qFatal("apply failed: %s", qPrintable(chosen->dialogs.boxes.first().text));
    }
    char note[96];
    std::snprintf(note, sizeof note, "%.1f ms vs %.1f ms on the raw image", pair.measured,
                  pair.floor);
    report("Apply a set to a qcow2", pair.measured / pair.floor, 1.3, note);
}

// --- converting photos ------------------------------------------------------------------

// A photo-like picture: a sky, soft shapes of many colours and sensor noise, saved as a
// JPEG as a camera would.
QString writePhoto(const QString& path, int seed, QSize size)
{
    QImage photo(size, QImage::Format_RGB32);
    QPainter painter(&photo);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor::fromHsv((seed * 70) % 360, 160, 120));
    sky.setColorAt(0.55, QColor::fromHsv((seed * 70 + 40) % 360, 120, 240));
    sky.setColorAt(1, QColor::fromHsv((seed * 70 + 160) % 360, 200, 90));
    painter.fillRect(photo.rect(), sky);
    QRandomGenerator random{quint32(seed)};
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 160; ++i) {
        QRadialGradient blob(QPointF(random.bounded(size.width()), random.bounded(size.height())),
                             random.bounded(size.width() / 40, size.width() / 6));
        const QColor colour = QColor::fromHsv(random.bounded(360), random.bounded(40, 230),
                                              random.bounded(60, 256), 150);
        blob.setColorAt(0, colour);
        blob.setColorAt(1, Qt::transparent);
        painter.setBrush(blob);
        painter.drawEllipse(blob.center(), blob.radius(), blob.radius());
    }
    painter.end();
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int noise = int(random.bounded(9)) - 4;
            line[x] =
                qRgb(qBound(0, qRed(line[x]) + noise, 255), qBound(0, qGreen(line[x]) + noise, 255),
                     qBound(0, qBlue(line[x]) + noise, 255));
        }
    }
    if (!photo.save(path, "JPG", 90))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Peak memory of applying three 48-megapixel photos, each process on its own, against the
// same program started on the same folder without applying: the memory a phone's photo costs.
void benchPhotoMemory(const QString& binDir)
{
    TempDrive drive;
    drive.writeSystemScreens();
    keepScreensInUseAsOriginals(drive);
    const QString set = drive.workDir() + QStringLiteral("/Photos/");
    QDir().mkdir(set);
    for (int slot = 0; slot < 3; ++slot)
        writePhoto(set + QLatin1String(screenSlots[slot].setFileName), slot + 1, QSize(8000, 6000));
    const QString ours = binDir + QStringLiteral("/bench-startup-bootvane");

    std::vector<double> applying, starting, times;
    for (int i = 0; i < 5; ++i) {
        starting.push_back(double(runProcess(ours, drive.workDir()).peakKilobytes));
        qputenv("BOOTVANE_BENCH_APPLY", "1");
        const ProcessRun run = runProcess(ours, drive.workDir());
        qunsetenv("BOOTVANE_BENCH_APPLY");
        applying.push_back(double(run.peakKilobytes));
        times.push_back(run.milliseconds);
    }
    const double budget = 300.0 * 1000 * 1000 / 1024; // 300 MB, in KiB
    char note[128];
    std::snprintf(note, sizeof note,
                  "peak %.0f MiB vs %.0f MiB started; budget 300 MB; %.0f ms in all",
                  median(applying) / 1024, median(starting) / 1024, median(times));
    report("Apply three 48-MP JPEG photos, peak memory", median(applying) / median(starting),
           budget / median(starting), note);
}

void benchConversion()
{
    TempDrive drive;
    drive.writeSystemScreens();
    keepScreensInUseAsOriginals(drive);
    const QString set = drive.workDir() + QStringLiteral("/Photos/");
    QDir().mkdir(set);
    const QSize twelveMegapixels(4000, 3000);
    QStringList photos;
    for (int slot = 0; slot < 3; ++slot)
        photos.append(writePhoto(set + QLatin1String(screenSlots[slot].setFileName), slot + 1,
                                 twelveMegapixels));

    WindowWithFirstSetChosen chosen;
    QPushButton* cmdSetCur = chosen.cmdSetCur;
    const ScriptedDialogs& dialogs = chosen.dialogs;
    cmdSetCur->click();
    if (!dialogs.boxes.isEmpty())
        qFatal("apply failed: %s", qPrintable(dialogs.boxes.first().text));

    // The floor decodes the three photos and scales them to the screen, no more.
    const Pair pair = medians(
        7, [&] { cmdSetCur->click(); },
        [&] {
            for (const QString& photo : photos)
                (void)fitToScreen(loadPicture(photo));
        });
    char note[96];
    std::snprintf(note, sizeof note, "%.0f ms vs %.0f ms to decode and scale them", pair.measured,
                  pair.floor);
    report("Apply three 12-megapixel photos", pair.measured / pair.floor, 1.5, note);

    // Quality: each converted screen against the same photo scaled in true colour, beside
    // Qt's own conversion to 8 bits of the very same scaled picture.
    for (int slot = 0; slot < 3; ++slot) {
        const QImage reference = fitToScreen(loadPicture(photos[slot]));
        const double ours = psnr(loadPicture(drive.systemFile(slot)), reference);
        const double qts =
            psnr(reference.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither), reference);
        char figure[64];
        std::snprintf(figure, sizeof figure, "Conversion quality, photo %d (PSNR)", slot + 1);
        std::snprintf(note, sizeof note, "%.2f dB vs %.2f dB for Qt's own 8-bit conversion", ours,
                      qts);
        std::printf("| %-46s | %6.2f | %6s | %-4s | %s\n", figure, ours / qts, "> 1",
                    ours > qts ? "met" : "MISS", note);
    }
}

// --- repainting -----------------------------------------------------------------------

double paintWith(QSize pictureSize)
{
    TempDrive drive;
    drive.writeSystemScreens();
    keepScreensInUseAsOriginals(drive);
    ScriptedDialogs dialogs;
    frmLogoMain window;
    window.show();
    const QImage picture = screenPicture(5, pictureSize);
    for (ImageBox* box : window.findChildren<ImageBox*>())
        box->setPicture(picture);
    // grab() runs every paint event of the window into a pixmap, as a repaint on screen does.
    std::vector<double> times;
    for (int i = 0; i < 60; ++i)
        times.push_back(timeOnce([&] { (void)window.grab(); }));
    return median(times);
}

void benchRepaint()
{
    const double large = paintWith(QSize(6000, 4000));
    const double small = paintWith(QSize(320, 400));
    char note[80];
    std::snprintf(note, sizeof note, "%.3f ms vs %.3f ms", large, small);
    report("Repaint with 6000x4000 pictures vs 320x400", large / small, 1.2, note);
}

// --- palette cycling ------------------------------------------------------------------

// The stock Startup Screen's kind of animation: a picture in entries 0 to 235 and a band of
// the 20 cycling entries, 236 to 255, across its bottom.
QImage stockStyleScreen()
{
    QImage screen = screenPicture(12);
    for (int y = 0; y < screen.height(); ++y) {
        uchar* line = screen.scanLine(y);
        for (int x = 0; x < screen.width(); ++x)
            line[x] = uchar(y < 360 ? line[x] % 236 : 236 + (x / 8) % 20);
    }
    screen.setText(QLatin1String(bmpImportantColoursKey), QStringLiteral("236"));
    return screen;
}

// The floor: a bare window that repaints a whole 640 x 480 image at the pace of the cycling.
class BareRepaint : public QWidget {
public:
    BareRepaint()
        : m_image(screenPicture(12, QSize(640, 480)).convertToFormat(QImage::Format_RGB32))
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        resize(m_image.size());
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(paletteStepInterval);
        connect(&m_timer, &QTimer::timeout, this, [this] { update(); });
        m_timer.start();
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, m_image); }

private:
    QImage m_image;
    QTimer m_timer;
};

double cpuMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The CPU time a second that the shown window costs while the event loop runs.
double cpuPerSecond(QWidget& window)
{
    constexpr int settleMs = 200;
    constexpr int measuredMs = 2000;
    window.show();
    QEventLoop loop;
    QTimer::singleShot(settleMs, &loop, &QEventLoop::quit);
    loop.exec();
    const double before = cpuMilliseconds();
    QTimer::singleShot(measuredMs, &loop, &QEventLoop::quit);
    loop.exec();
    const double used = cpuMilliseconds() - before;
    window.hide();
    return used * 1000 / measuredMs;
}

void benchCycling()
{
    const Win95Screen screen(stockStyleScreen(), screenSlots[0]);
    std::vector<double> ours, bare;
    for (int i = 0; i < 5; ++i) {
        frmWin95View view(screen, screenSlots[0]);
        ours.push_back(cpuPerSecond(view));
        if (view.size() != QSize(640, 480))
            qFatal("the view is not 640 x 480");
        BareRepaint floor;
        bare.push_back(cpuPerSecond(floor));
    }
    char note[96];
    std::snprintf(note, sizeof note, "%.2f ms vs %.2f ms of CPU a second", median(ours),
                  median(bare));
    report("Palette cycling, stock band, 640x480", median(ours) / median(bare), 1.2, note);
}

// --- moving band ----------------------------------------------------------------------

// One frame of a 60 Hz monitor, in milliseconds: the time a change of the band may take to
// reach the preview.
constexpr double frameMilliseconds = 1000.0 / 60;

// The milliseconds from change() to the end of the next paint of view.
double untilPainted(Win95ScreenView& view, const std::function<void()>& change)
{
    bool painted = false;
    const QMetaObject::Connection watch =
        QObject::connect(&view, &Win95ScreenView::painted, [&painted] { painted = true; });
    const double elapsed = timeOnce([&] {
        change();
        while (!painted)
            QCoreApplication::processEvents();
    });
    QObject::disconnect(watch);
    return elapsed;
}

void benchMovingBand()
{
    TempDrive drive;
    const QString path =
        writePhoto(drive.root() + QStringLiteral("/photo.jpg"), 4, QSize(1600, 1200));
    const QImage photo = loadPicture(path);
    MovingBand band;
    band.stops = namedBandColours()[1].stops;
    // The floor converts the same photo for applying: fitted, quantised, no band.
    const Pair pair = medians(
        15, [&] { (void)withMovingBand(photo, band); }, [&] { (void)screenAsWritten(photo); });
    char note[128];
    std::snprintf(note, sizeof note, "%.1f ms vs %.1f ms to convert it alone", pair.measured,
                  pair.floor);
    report("Band screen of a 1600x1200 photo", pair.measured / pair.floor, 1.1, note);

    // The preview: from a move of the height slider to the view repainted with the new band,
    // against the same view repainted with nothing changed.
    const ScreenSource source = ScreenSource::file(path);
    frmMovingBand window(bandBackground(photo), drive.workDir(), {source, source, source},
                         QString());
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("the Moving Band window was not shown");
    auto* slider = window.findChild<QSlider*>(QStringLiteral("sldHeight"));
    auto* view = window.findChild<Win95ScreenView*>(QStringLiteral("viewBand"));
    std::vector<double> changes, repaints;
    for (int i = 0; i < 41; ++i) {
        changes.push_back(untilPainted(*view, [&] { slider->setValue(i % 2 ? 60 : 20); }));
        repaints.push_back(untilPainted(*view, [&] { view->update(); }));
    }
    const double change = median(changes);
    const double repaint = median(repaints);
    std::snprintf(note, sizeof note,
                  "%.2f ms vs %.2f ms to repaint alone; one frame at 60 Hz is %.1f ms", change,
                  repaint, frameMilliseconds);
    report("Band preview, slider moved to view repainted", change / repaint,
           frameMilliseconds / repaint, note);
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's own memory settings: the figures are the program's.
    keepPictureMemoryAtHand();
    QApplication app(argc, argv);
    const QString binDir = QCoreApplication::applicationDirPath();

    std::printf("| %-46s | %6s | %6s | %-4s | %s\n", "figure", "ratio", "target", "", "medians");
    std::printf("|%s|%s|%s|%s|%s\n", "------------------------------------------------", "--------",
                "--------", "------", "--------");
    // Figures to run may be named on the command line: startup, tree, apply, apply-image,
    // containers, repaint, convert, photo-memory, cycling, band.
    const QStringList chosen = QCoreApplication::arguments().mid(1);
    auto wanted = [&chosen](const char* figure) {
        return chosen.isEmpty() || chosen.contains(QLatin1String(figure));
    };
    if (wanted("startup"))
        benchStartUp(binDir);
    if (wanted("tree")) {
        const Pair thousand = benchTree(1000);
        const Pair tenThousand = benchTree(10000);
        // Linear means growing no faster than the plain listing does over the same folders.
        const double ours = tenThousand.measured / thousand.measured;
        const double plain = tenThousand.floor / thousand.floor;
        char note[96];
        std::snprintf(note, sizeof note, "10x the sets: %.1fx the time; the plain listing %.1fx",
                      ours, plain);
        report("Tree rebuild growth, 1,000 to 10,000 sets", ours / plain, 1.2, note);
    }
    if (wanted("apply"))
        benchApply();
    if (wanted("apply-image"))
        benchApplyToImage();
    if (wanted("containers")) {
        benchContainerStartUp(binDir);
        benchApplyToQcow2();
    }
    if (wanted("repaint"))
        benchRepaint();
    if (wanted("convert"))
        benchConversion();
    if (wanted("photo-memory"))
        benchPhotoMemory(binDir);
    if (wanted("cycling"))
        benchCycling();
    if (wanted("band"))
        benchMovingBand();
    return 0;
}
