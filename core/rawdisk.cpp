#include "rawdisk.h"

#include "diskimage.h"
#include "error.h"
#include "filenames.h"
#include "filesystem.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace bootvane {

namespace {

const QString openImage = QStringLiteral("open the disk image");
// Deeper than any emulator makes a chain of base images: a chain that goes on is a loop.
constexpr int maxBaseImages = 16;

// The guard of one export, started with the daemon and living as long as it: $1 is the
// export's private folder, the rest the daemon's command. It starts the daemon, says "ready"
// once the daemon has opened the image, and waits for its input to end: Bootvane closes it
// once it has ended the daemon itself, and it ends when Bootvane dies, however it dies. Then
// it lets a command that Bootvane left running on the export end its work (a FAT half-updated
// is never left behind): one that has the export open, or names it and may not have opened it
// yet. It then ends the daemon if it still runs, unmounts what a daemon that died may have left
// mounted, and removes the folder. Given the folder alone, it does only that: a start sweeps
// so after a copy whose guard died too. A daemon that has not opened the image within a minute
// (one that follows a chain of base images without end) is killed, as is one that never wrote
// its pid file: it is known by the pid file its command names.
const char* const guardScript = R"sh(
dir=$1
shift
stray() {
    for f in $(grep -ls -- "$dir/daemon.pi[d]" /proc/[0-9]*/cmdline); do
        p=${f#/proc/}
        p=${p%/cmdline}
        [ "$p" = $$ ] || kill -9 "$p" 2>/dev/null
    done
}
if [ $# -gt 0 ]; then
    timeout -s KILL 60 "$@" || { stray; rm -rf -- "$dir"; exit 1; }
    echo ready
    pid=$(cat "$dir/daemon.pid")
    while read -r _; do :; done
fi
alive() { { read -r _ _ state _ < "/proc/$1/stat"; } 2>/dev/null && [ "$state" != Z ]; }
busy() {
    grep -qs -- "$dir/dis[k]" /proc/[0-9]*/cmdline ||
        find /proc/[0-9]*/fd -type l -printf '%l\n' 2>/dev/null | grep -Fxq -- "$dir/disk"
}
: "${pid:=$(cat "$dir/daemon.pid" 2>/dev/null)}"
if [ -n "$pid" ] && alive "$pid"; then
    while busy; do sleep 0.05; done
    kill "$pid" 2>/dev/null
    n=0
    while alive "$pid" && [ $n -lt 100 ]; do sleep 0.05; n=$((n + 1)); done
    kill -9 "$pid" 2>/dev/null
fi
stray
fusermount3 -u -z -q "$dir/disk" 2>/dev/null
rm -rf -- "$dir"
)sh";

QByteArray firstLine(const QByteArray& path)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readLine().trimmed();
}

// Calls visit with every process's id, as /proc lists them, until it says to stop.
void forEachProcess(const std::function<bool(const QByteArray& pid)>& visit)
{
    DIR* processes = ::opendir("/proc");
    while (const dirent* process = processes ? ::readdir(processes) : nullptr) {
        const QByteArray pid(process->d_name);
        bool numeric = false;
        pid.toLongLong(&numeric);
        if (numeric && !visit(pid))
            break;
    }
    if (processes)
        ::closedir(processes);
}

// Running, that is: neither gone nor a zombie that no one has reaped yet.
bool processRuns(qint64 pid)
{
    const QByteArray stat = firstLine("/proc/" + QByteArray::number(pid) + "/stat");
    const qsizetype state = stat.lastIndexOf(") ") + 2;
    return pid > 0 && state > 1 && state < stat.size() && stat[state] != 'Z';
}

// Whether a running process was given argument among its arguments.
bool processNamed(const QByteArray& argument)
{
    bool found = false;
    forEachProcess([&](const QByteArray& pid) {
        QFile file(QString::fromLatin1("/proc/" + pid + "/cmdline"));
        found = file.open(QIODevice::ReadOnly) && file.readAll().split('\0').contains(argument) &&
                processRuns(pid.toLongLong());
        return !found;
    });
    return found;
}

// Whether descriptor fd of process pid is open for writing, as its fdinfo says.
bool openForWriting(const QByteArray& pid, const QByteArray& fd)
{
    QFile info(QString::fromLatin1("/proc/" + pid + "/fdinfo/" + fd));
    if (!info.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : info.readAll().split('\n')) {
        if (!line.startsWith("flags:"))
            continue;
        bool ok = false;
        const int flags = line.mid(6).trimmed().toInt(&ok, 8);
        return ok && (flags & O_ACCMODE) != O_RDONLY;
    }
    return false;
}

QString holdsTheImage(const QByteArray& pid)
{
    // The daemon of another copy of Bootvane names its private folder.
    QFile command(QString::fromLatin1("/proc/" + pid + "/cmdline"));
    if (command.open(QIODevice::ReadOnly) &&
        command.readAll().contains(encodeFileName(containerExportsFolder()) + '/'))
        return QStringLiteral("another copy of Bootvane is writing the image (its process %1): "
                              "wait until it has done, then try again")
            .arg(QString::fromLatin1(pid));
    return QStringLiteral("the image is in use by %1 (process %2): shut the emulator down first, "
                          "as two systems writing one disk damage it")
        .arg(QString::fromLocal8Bit(firstLine("/proc/" + pid + "/comm")), QString::fromLatin1(pid));
}

// The lock another process holds on the file of status, from the kernel's list of every
// lock: flock, POSIX and open-file (OFD) record locks alike. "1: POSIX  ADVISORY  WRITE 4242
// fe:00:1234 0 EOF"; a waiting lock's line holds "->", and an OFD lock names no process (-1).
std::optional<QString> lockOn(const struct stat& status, qint64 ownDaemon)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray file = QByteArray::number(major(status.st_dev), 16).rightJustified(2, '0') +
                            ':' +
                            QByteArray::number(minor(status.st_dev), 16).rightJustified(2, '0') +
                            ':' + QByteArray::number(quint64(status.st_ino));
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields.contains("->") || fields[5] != file)
            continue;
        const QByteArray pid = fields[4];
        // This copy's own lock, taken to write, keeps only others out.
        if (pid == QByteArray::number(ownDaemon) || (ownDaemon != 0 && pid == "-1") ||
            pid == QByteArray::number(::getpid()))
            continue;
        if (pid != "-1" && processRuns(pid.toLongLong()))
            return holdsTheImage(pid);
        return QStringLiteral("a program holds a lock on the image (QEMU locks the images it "
                              "runs): shut the emulator down first, as two systems writing one "
                              "disk damage it");
    }
    return std::nullopt;
}

// containerExportsFolder, made if missing. No one else may write there.
QString privateRoot()
{
    const QString root = containerExportsFolder();
    const QByteArray name = encodeFileName(root);
    (void)::mkdir(name.constData(), 0700);
    struct stat status {};
    if (::lstat(name.constData(), &status) != 0)
        fail(openImage, root, systemReason(errno));
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::getuid() || (status.st_mode & 0077) != 0)
        fail(openImage, root,
             QStringLiteral("it is no private folder of this user's, where the disk image would be "
                            "opened"));
    return QFileInfo(root).canonicalFilePath();
}

// Runs the guard on folder alone, which cleans up after the export there.
void cleanUp(const QString& folder)
{
    QProcess guard;
    guard.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QLatin1String(guardScript), QStringLiteral("sh"), folder});
    // It waits for a command still writing through the export; not for ever.
    if (!guard.waitForFinished(60000)) {
        guard.kill();
        guard.waitForFinished(5000);
    }
}

// Removes what the exports of copies that died left in root, once in each process: their
// daemons, mounts and folders. A folder is named after its copy's process. The guard of a copy
// that died is still at work while a command that copy started runs on its export; it is
// given a while to end, and is left to its work if it takes longer.
void sweep(const QString& root)
{
    static QSet<QString> swept;
    if (swept.contains(root))
        return;
    swept.insert(root);
    const QStringList folders = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : folders) {
        bool numeric = false;
        const qint64 owner = name.section(QLatin1Char('-'), 0, 0).toLongLong(&numeric);
        if (!numeric || (owner != ::getpid() && processRuns(owner)))
            continue;
        const QString folder = root + QLatin1Char('/') + name;
        const QDeadlineTimer patience(10000);
        while (processNamed(encodeFileName(folder)) && !patience.hasExpired())
            QThread::msleep(20);
        if (!processNamed(encodeFileName(folder)))
            cleanUp(folder);
    }
}

// What programWritingTo() finds on the first of files that another program holds.
std::optional<QString> programWritingToAny(const QStringList& files, qint64 ownDaemon = 0)
{
    for (const QString& file : files) {
        if (std::optional<QString> why = programWritingTo(file, ownDaemon))
            return why;
    }
    return std::nullopt;
}

// The daemon's control channel (QMP): one JSON object a line each way.
class Monitor {
public:
    ~Monitor()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }

    bool connect(const QString& path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = encodeFileName(path);
        if (name.size() >= qsizetype(sizeof(address.sun_path)))
            return false;
        qstrcpy(address.sun_path, name.constData());
        m_socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return m_socket >= 0 &&
               ::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
               next().contains(QLatin1String("QMP")) && execute("qmp_capabilities").isEmpty();
    }

    // Sends one command and gives what QEMU said against it: nothing when it was done.
    QString execute(const char* command, const QJsonObject& arguments = {})
    {
        QJsonObject message{{QStringLiteral("execute"), QLatin1String(command)}};
        if (!arguments.isEmpty())
            message.insert(QStringLiteral("arguments"), arguments);
        const QByteArray line = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n';
        if (m_socket < 0 ||
            ::send(m_socket, line.constData(), line.size(), MSG_NOSIGNAL) != line.size())
            return QStringLiteral("its control channel is closed");
        for (;;) {
            const QJsonObject reply = next();
            if (reply.isEmpty())
                return QStringLiteral("it did not answer");
            if (reply.contains(QLatin1String("return")))
                return {};
            if (reply.contains(QLatin1String("error")))
                return reply.value(QLatin1String("error"))
                    .toObject()
                    .value(QLatin1String("desc"))
                    .toString();
            m_events.append(reply.value(QLatin1String("event")).toString());
        }
    }

    bool waitForEvent(const QString& event)
    {
        while (!m_events.contains(event)) {
            const QJsonObject message = next();
            if (message.isEmpty())
                return false;
            m_events.append(message.value(QLatin1String("event")).toString());
        }
        return true;
    }

private:
    // The next message, or nothing when none comes within half a minute.
    QJsonObject next()
    {
        const QDeadlineTimer deadline(30000);
        while (!m_buffer.contains('\n')) {
            pollfd wait{m_socket, POLLIN, 0};
            char chunk[4096];
            const ssize_t got = ::poll(&wait, 1, int(deadline.remainingTime())) == 1
                                    ? ::read(m_socket, chunk, sizeof chunk)
                                    : -1;
            if (got <= 0)
                return {};
            m_buffer.append(chunk, got);
        }
        const qsizetype end = m_buffer.indexOf('\n');
        const QJsonObject message = QJsonDocument::fromJson(m_buffer.left(end)).object();
        m_buffer.remove(0, end + 1);
        return message;
    }

    int m_socket = -1;
    QByteArray m_buffer;
    QStringList m_events;
};

// stem + ending, or stem-2 + ending and so on: the first name no file in folder has. A command
// the user is told to run never writes over the image, or over a file beside it (its base, as
// like as not).
QString freeName(const QString& folder, const QString& stem, const QString& ending)
{
    QString name = stem + ending;
    for (int number = 2; number < 100 && !isAbsent(folder + name); ++number)
        name = QStringLiteral("%1-%2%3").arg(stem).arg(number).arg(ending);
    return displayFileName(name);
}

QString conversion(const ImageFormat& format, const QString& image)
{
    const qsizetype slash = image.lastIndexOf(QLatin1Char('/'));
    const QString folder = image.left(slash + 1);
    const QString file = image.mid(slash + 1);
    const QString stem = QFileInfo(file).completeBaseName();
    const QString ending = QStringLiteral(".img");
    const QString raw = freeName(
        folder, isAbsent(folder + stem + ending) ? stem : stem + QStringLiteral("-raw"), ending);
    QString convert = QStringLiteral("qemu-img convert -O raw \"%1\" \"%2\" (Debian's qemu-utils)")
                          .arg(displayFileName(file), raw);
    // An emulator that takes a dynamic VHD takes a fixed one too, which is read as it is.
    if (format.driver == QLatin1String("vpc"))
        convert += QStringLiteral(", or to a fixed VHD: qemu-img convert -O vpc -o "
                                  "subformat=fixed \"%1\" \"%2\"")
                       .arg(displayFileName(file), freeName(folder, stem + QStringLiteral("-fixed"),
                                                            QStringLiteral(".vhd")));
    return convert;
}

// Why QEMU would take the extent at path for more than a part of the disk: it is a binary VMDK
// of no size, a descriptor whose files QEMU opens in turn, or it cannot be read to tell.
std::optional<QString> whyExtentIsNoPart(const QString& path)
{
    QByteArray header(64, '\0');
    const int file =
        ::open(encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    const ssize_t read = file < 0 ? -1 : ::read(file, header.data(), size_t(header.size()));
    const int error = errno;
    if (file >= 0)
        ::close(file);
    if (read < 0)
        return QStringLiteral("cannot be read (%1)").arg(systemReason(error));
    if (header.startsWith("KDMV") && qFromLittleEndian<quint64>(header.constData() + 12) == 0 &&
        qFromLittleEndian<quint64>(header.constData() + 28) != 0)
        return QStringLiteral("is a descriptor naming further files");
    return std::nullopt;
}

// Refuses, saying what to do, an image whose other files QEMU would take on trust: a VMDK
// extent that is no plain file beside its descriptor (writes would go there), a base image
// whose format the overlay does not record (QEMU would guess it) or that QEMU would take for
// another kind of source than a file, and a chain of base images that comes back on itself or
// goes deeper than any emulator makes one (QEMU would open it without end). Gives the files
// written with the image: its extents.
QStringList checkOtherFiles(const QString& image, const ImageFormat& format)
{
    QStringList written;
    QSet<QPair<quint64, quint64>> met;
    QString level = image;
    ImageFormat levelFormat = format;
    for (int depth = 0;; ++depth) {
        struct stat status {};
        if (::stat(encodeFileName(level).constData(), &status) != 0)
            return written; // QEMU says that the base is missing
        const QPair<quint64, quint64> file{quint64(status.st_dev), quint64(status.st_ino)};
        if (met.contains(file))
            fail(openImage, image,
                 QStringLiteral("its chain of base images comes back to %1, and QEMU would open "
                                "it without end; name the right base: qemu-img rebase -u")
                     .arg(displayFileName(level)));
        met.insert(file);
        const QDir folder = QFileInfo(level).absoluteDir();
        for (const QByteArray& extent : levelFormat.extents) {
            const QString name = decodeFileName(extent);
            if (name.contains(QLatin1Char('/')) ||
                ::lstat(encodeFileName(folder.filePath(name)).constData(), &status) != 0 ||
                !S_ISREG(status.st_mode))
                fail(openImage, image,
                     QStringLiteral("its descriptor names %1 as a part of the disk, which is no "
                                    "file beside it; Bootvane writes only to the disk's own files")
                         .arg(displayFileName(name)));
            if (const std::optional<QString> why = whyExtentIsNoPart(folder.filePath(name)))
                fail(openImage, image,
                     QStringLiteral("its descriptor names %1 as a part of the disk, which %2; "
                                    "Bootvane writes only to the disk's own files")
                         .arg(displayFileName(name), *why));
            if (depth == 0)
                written.append(folder.filePath(name));
        }
        if (levelFormat.backingFile.isEmpty())
            return written;
        const QString name = decodeFileName(levelFormat.backingFile);
        if (depth == maxBaseImages)
            fail(openImage, image,
                 QStringLiteral("its chain of base images is more than %1 deep").arg(depth));
        // "nbd:host:1234", "json:{...}": QEMU opens a source of that kind, not a file.
        const qsizetype colon = name.indexOf(QLatin1Char(':'));
        if (colon >= 0 && !name.left(colon).contains(QLatin1Char('/')))
            fail(openImage, image,
                 QStringLiteral("its base image %1 is named as QEMU names another kind of source "
                                "than a file, which Bootvane does not open")
                     .arg(displayFileName(name)));
        const QString base = QFileInfo(level).absoluteDir().absoluteFilePath(name);
        std::optional<ImageFormat> baseFormat;
        try {
            QFile file;
            openPlainFile(file, base, openImage, QStringLiteral("it is no file"));
            baseFormat = imageFormat(file, base);
        } catch (const Error& error) {
            // QEMU says what is wrong with a base that is missing or read as raw; one in another
            // format may have a base of its own that it would follow unchecked.
            if (!isAbsent(base) && !levelFormat.backingFormat.isEmpty() &&
                levelFormat.backingFormat != "raw")
                fail(openImage, image,
                     QStringLiteral("its base image %1 cannot be opened: %2")
                         .arg(displayFileName(base), error.reason()));
        }
        if (levelFormat.backingFormat.isEmpty()) {
            const QString guess = baseFormat && !baseFormat->driver.isEmpty()
                                      ? baseFormat->driver
                                      : QStringLiteral("raw");
            fail(openImage, image,
                 QStringLiteral("the format of its base image %1 is not recorded in it, and "
                                "Bootvane does not let QEMU guess it; record it, then open the "
                                "image again: qemu-img rebase -u -F %2 -b \"%3\" \"%4\"")
                     .arg(displayFileName(base), guess, displayFileName(name),
                          displayFileName(level)));
        }
        // A format of QEMU's that Bootvane does not read may have a base of its own, which no
        // check here would follow.
        static const QList<QByteArray> readFormats{"raw",  "qcow2", "qcow", "vpc",
                                                   "vhdx", "vdi",   "vmdk"};
        if (!readFormats.contains(levelFormat.backingFormat))
            fail(openImage, image,
                 QStringLiteral("its base image %1 is recorded as %2, a format Bootvane does not "
                                "open")
                     .arg(displayFileName(base),
                          QString::fromLatin1(levelFormat.backingFormat.left(32))));
        // QEMU opens the base in the format recorded, which ends the chain where it is raw.
        if (!baseFormat || baseFormat->driver != QString::fromLatin1(levelFormat.backingFormat))
            return written;
        level = base;
        levelFormat = *baseFormat;
    }
}

QJsonObject node(const char* driver, const char* name, bool readOnly)
{
    return {{QStringLiteral("driver"), QLatin1String(driver)},
            {QStringLiteral("node-name"), QLatin1String(name)},
            {QStringLiteral("read-only"), readOnly},
            // Reading beside an emulator that writes, as a raw image is read.
            {QStringLiteral("force-share"), readOnly}};
}

} // namespace

// One export of one image: its private folder, its guard and the daemon the guard started.
class QemuExport {
public:
    // Exports the image with a private folder in root. files are those the image is made of,
    // which must all be free for it to be written.
    QemuExport(const QString& root, const QString& image, const ImageFormat& format,
               const QStringList& files, std::optional<QString> readOnlyBecause);
    ~QemuExport();
    QemuExport(const QemuExport&) = delete;
    QemuExport& operator=(const QemuExport&) = delete;

    QString file() const { return m_folder + QStringLiteral("/disk"); }
    qint64 daemon() const { return m_daemon; }
    const std::optional<QString>& readOnlyBecause() const { return m_readOnlyBecause; }

private:
    // Starts the daemon on the image, with a new folder in root; what QEMU said when it could
    // not, and then the folder is gone again.
    QString start(const QString& root, const QString& image, const ImageFormat& format);
    void stop();

    QString m_folder;
    QProcess m_guard;
    Monitor m_monitor;
    qint64 m_daemon = 0;
    std::optional<QString> m_readOnlyBecause;
};

QemuExport::QemuExport(const QString& root, const QString& image, const ImageFormat& format,
                       const QStringList& files, std::optional<QString> readOnlyBecause)
    : m_readOnlyBecause(std::move(readOnlyBecause))
{
    QString said = start(root, image, format);
    // An emulator that started meanwhile holds QEMU's lock: the image is read beside it.
    if (!said.isEmpty() && !m_readOnlyBecause && said.contains(QLatin1String("\" lock"))) {
        m_readOnlyBecause = programWritingToAny(files).value_or(said);
        said = start(root, image, format);
    }
    if (said.isEmpty()) {
        m_daemon = firstLine(encodeFileName(m_folder) + "/daemon.pid").toLongLong();
        if (!m_monitor.connect(m_folder + QStringLiteral("/qmp")))
            said = QStringLiteral("qemu-storage-daemon does not answer");
    }
    if (said.isEmpty()) {
        said = m_monitor.execute("block-export-add",
                                 {{QStringLiteral("type"), QStringLiteral("fuse")},
                                  {QStringLiteral("id"), QStringLiteral("disk")},
                                  {QStringLiteral("node-name"), QStringLiteral("disk")},
                                  {QStringLiteral("mountpoint"), file()},
                                  {QStringLiteral("writable"), !m_readOnlyBecause},
                                  {QStringLiteral("growable"), false},
                                  {QStringLiteral("allow-other"), QStringLiteral("off")}});
        if (!said.isEmpty())
            said = QStringLiteral("FUSE refused to show its disk as a file (%1)").arg(said);
    }
    if (!said.isEmpty()) {
        stop();
        fail(openImage, image,
             QStringLiteral("QEMU cannot open it as %1: %2").arg(format.description, said));
    }
}

QString QemuExport::start(const QString& root, const QString& image, const ImageFormat& format)
{
    QByteArray folder = encodeFileName(root) + '/' + QByteArray::number(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(folder.data()))
        fail(openImage, root, systemReason(errno));
    m_folder = decodeFileName(folder);
    const int mountpoint = ::open(folder + "/disk", O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (mountpoint >= 0)
        ::close(mountpoint);
    const bool readOnly = m_readOnlyBecause.has_value();
    QJsonObject file = node("file", "file", readOnly);
    // Only read, the image takes no lock, so that a lock of another program's does not keep it
    // from being read, as a raw image is read.
    if (readOnly)
        file.insert(QStringLiteral("locking"), QStringLiteral("off"));
    // A name that is no UTF-8 cannot be told in QEMU's JSON: the image is reached through a
    // link. A base image named relative to it is then looked for beside the link.
    QString reached = image;
    if (displayFileName(image) != image) {
        reached = m_folder + QStringLiteral("/image");
        (void)::symlink(encodeFileName(image).constData(), encodeFileName(reached).constData());
    }
    file.insert(QStringLiteral("filename"), reached);
    QJsonObject disk = node(format.driver.toLatin1().constData(), "disk", readOnly);
    disk.insert(QStringLiteral("file"), QStringLiteral("file"));
    const QString monitor = m_folder + QStringLiteral("/qmp");
    const QStringList daemon{
        QStandardPaths::findExecutable(QStringLiteral("qemu-storage-daemon")),
        QStringLiteral("--blockdev"),
        QString::fromUtf8(QJsonDocument(file).toJson(QJsonDocument::Compact)),
        QStringLiteral("--blockdev"),
        QString::fromUtf8(QJsonDocument(disk).toJson(QJsonDocument::Compact)),
        QStringLiteral("--chardev"),
        QStringLiteral("socket,id=monitor,path=%1,server=on,wait=off")
            .arg(QString(monitor).replace(QLatin1Char(','), QLatin1String(",,"))),
        QStringLiteral("--monitor"),
        QStringLiteral("chardev=monitor"),
        QStringLiteral("--pidfile"),
        m_folder + QStringLiteral("/daemon.pid"),
        QStringLiteral("--daemonize")};
    // Its own session: a terminal's Ctrl+C ends Bootvane, never the daemon under a command
    // still writing. None of the files Bootvane was given: the pipe of a program that started
    // Bootvane would wait for the daemon too.
    m_guard.setChildProcessModifier([] {
        ::setsid();
        (void)::close_range(3, ~0u, CLOSE_RANGE_CLOEXEC);
    });
    m_guard.start(QStringLiteral("/bin/sh"),
                  QStringList{QStringLiteral("-c"), QLatin1String(guardScript),
                              QStringLiteral("sh"), m_folder} +
                      daemon);
    // The guard kills a daemon that has not opened the image within a minute.
    QElapsedTimer started;
    started.start();
    if (m_guard.waitForReadyRead(75000) && m_guard.readLine() == "ready\n")
        return {};
    // The guard has removed the folder, or is about to.
    if (!m_guard.waitForFinished(15000)) {
        m_guard.kill();
        m_guard.waitForFinished(5000);
        cleanUp(m_folder);
    }
    m_folder.clear();
    if (started.elapsed() >= 60000)
        return QStringLiteral("qemu-storage-daemon did not open it within a minute");
    // "qemu-storage-daemon: --blockdev {...}: Unsupported qcow2 version 0"
    QString said = QString::fromLocal8Bit(m_guard.readAllStandardError()).simplified();
    if (said.startsWith(QLatin1String("qemu-storage-daemon: --")))
        said = said.section(QLatin1String(": "), 2);
    return said.isEmpty() ? QStringLiteral("qemu-storage-daemon could not be started") : said;
}

QemuExport::~QemuExport()
{
    stop();
}

void QemuExport::stop()
{
    if (m_folder.isEmpty())
        return;
    // Asked first: the daemon takes its export down and unmounts it, then ends.
    if (m_monitor.execute("block-export-del", {{QStringLiteral("id"), QStringLiteral("disk")}})
            .isEmpty())
        (void)m_monitor.waitForEvent(QStringLiteral("BLOCK_EXPORT_DELETED"));
    const bool asked = m_monitor.execute("quit").isEmpty();
    for (const int signal : {0, SIGTERM, SIGKILL}) {
        if (signal != 0 && processRuns(m_daemon))
            ::kill(pid_t(m_daemon), signal);
        const QDeadlineTimer patience(signal == 0         ? (asked ? 10000 : 0)
                                      : signal == SIGTERM ? 10000
                                                          : 2000);
        while (processRuns(m_daemon) && !patience.hasExpired())
            QThread::msleep(1);
    }
    // The guard unmounts what is left mounted and removes the folder; had it died, the same is
    // done without it.
    m_guard.closeWriteChannel();
    if (!m_guard.waitForFinished(60000)) {
        m_guard.kill();
        m_guard.waitForFinished(5000);
        cleanUp(m_folder);
    }
    m_folder.clear();
}

RawDisk::RawDisk(QString image) : m_image(std::move(image)) {}

RawDisk::~RawDisk()
{
    if (m_hold >= 0)
        ::close(m_hold);
}

void RawDisk::release()
{
    m_export.reset();
}

RawDisk::View RawDisk::view()
{
    if (m_export)
        return {m_export->file(), 0};
    QFile image;
    openPlainFile(image, m_image, openImage,
                  QStringLiteral("it is a device, pipe or socket, not a disk image file"));
    const ImageFormat format = imageFormat(image, m_image);
    if (format.driver.isEmpty())
        return {m_image, format.diskOffset};
    // QEMU finds a base image or an extent named relative to the image beside the file it is
    // given: given a link, beside the link, where the emulator finds them beside the image.
    const QString real = realWriteTarget(m_image);
    m_files = QStringList{real} + checkOtherFiles(real, format);
    if (const std::optional<QString> why = whyContainersCannotBeOpened())
        fail(openImage, m_image,
             QStringLiteral("it is %1, which Bootvane opens through QEMU, but %2; or convert it "
                            "to a raw image: %3")
                 .arg(format.description, *why, conversion(format, m_image)));
    // A daemon that a copy killed a moment ago left would hold the image.
    const QString root = privateRoot();
    sweep(root);
    m_export = std::make_unique<QemuExport>(root, real, format, m_files, whyNotWritable());
    // One export for all that one action of the user reads and writes.
    QTimer::singleShot(0, &m_releaseContext, [this] { release(); });
    return {m_export->file(), 0};
}

std::optional<QString> RawDisk::whyNotWritable()
{
    const QStringList files = m_files.isEmpty() ? QStringList{m_image} : m_files;
    for (const QString& file : files) {
        const QByteArray name = encodeFileName(file);
        struct stat status {};
        QString reason;
        if (::access(name.constData(), W_OK) != 0)
            reason = systemReason(errno);
        // Root may write any file: an image the user made read-only is kept so all the same.
        else if (::stat(name.constData(), &status) == 0 && (status.st_mode & 0222) == 0)
            reason = QStringLiteral("it is marked read-only");
        else
            continue;
        return file == files.first()
                   ? QStringLiteral("the image file cannot be written (%1)").arg(reason)
                   : QStringLiteral("%1, a part of the image, cannot be written (%2)")
                         .arg(displayFileName(file), reason);
    }
    if (m_export && m_export->readOnlyBecause())
        return m_export->readOnlyBecause();
    // Looking through every process's open files takes milliseconds, and one apply asks for
    // each file twice; an image found free a moment ago is taken as still free.
    constexpr qint64 stillFreeFor = 1000;
    if (m_seenFree.isValid() && m_seenFree.elapsed() < stillFreeFor)
        return std::nullopt;
    if (std::optional<QString> why =
            programWritingToAny(files, m_export ? m_export->daemon() : 0)) {
        m_seenFree.invalidate();
        return why;
    }
    m_seenFree.start();
    return std::nullopt;
}

QString containerExportsFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QDir::tempPath() + QStringLiteral("/bootvane-%1").arg(::getuid())
                             : runtime + QStringLiteral("/bootvane");
}

// Nothing marks an image that a copy writes to through mtools between two of its commands: a
// second copy would take what it has written so far for what a killed copy left, and finish
// or remove it. So a copy about to write takes a flock of the image (its open file description,
// never inherited: no command or daemon it starts keeps it). flock and QEMU's record locks do
// not meet, and mtools takes none on an image file: a container's daemon and Bootvane's own
// commands go on beside it. The lock is taken without waiting, and whoever cannot take it
// writes nothing, so two copies never write at once, and a start that finds the image in use
// leaves every temporary file as it is.
std::optional<QString> RawDisk::holdForWriting()
{
    for (int attempt = 0; m_hold < 0 && attempt < 2; ++attempt) {
        const int image = ::open(encodeFileName(m_image).constData(),
                                 O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (image < 0)
            return QStringLiteral("the image file cannot be opened (%1)").arg(systemReason(errno));
        if (::flock(image, LOCK_EX | LOCK_NB) == 0) {
            m_hold = image;
            QTimer::singleShot(0, &m_releaseContext, [this] {
                ::close(m_hold);
                m_hold = -1;
            });
            break;
        }
        const int error = errno;
        ::close(image);
        if (error != EWOULDBLOCK)
            return QStringLiteral("the image file cannot be locked (%1)").arg(systemReason(error));
        m_seenFree.invalidate();
        if (std::optional<QString> why =
                programWritingTo(m_image, m_export ? m_export->daemon() : 0))
            return why;
        // Let go of a moment ago, or held by another drive of this same copy, which writes in
        // turn with this one, never at once.
    }
    return whyNotWritable();
}

void sweepAbandonedExports()
{
    struct stat status {};
    if (::lstat(encodeFileName(containerExportsFolder()).constData(), &status) != 0)
        return;
    try {
        sweep(privateRoot());
    } catch (const Error&) {
        // A folder that is not private is said when an image is to be opened there.
    }
}

std::optional<QString> whyContainersCannotBeOpened()
{
    const QString install = QStringLiteral(" is not installed (Debian and Ubuntu: sudo apt-get "
                                           "install %1)");
    if (QStandardPaths::findExecutable(QStringLiteral("qemu-storage-daemon")).isEmpty())
        return QStringLiteral("QEMU's qemu-storage-daemon") +
               install.arg(QStringLiteral("qemu-system-common"));
    if (QStandardPaths::findExecutable(QStringLiteral("fusermount3")).isEmpty())
        return QStringLiteral("FUSE") + install.arg(QStringLiteral("fuse3"));
    const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0)
        return QStringLiteral("FUSE cannot be used here: /dev/fuse: %1 (Debian and Ubuntu: sudo "
                              "apt-get install fuse3)")
            .arg(systemReason(errno));
    ::close(fuse);
    return std::nullopt;
}

std::optional<QString> programWritingTo(const QString& path, qint64 ownDaemon)
{
    const QByteArray file = encodeFileName(path);
    struct stat target {};
    if (::stat(file.constData(), &target) != 0)
        return std::nullopt;

    const QByteArray self = QByteArray::number(::getpid());
    const QByteArray own = QByteArray::number(ownDaemon);
    std::optional<QString> holder;
    forEachProcess([&](const QByteArray& pid) {
        struct stat owner {};
        if (pid == self || pid == own || ::stat("/proc/" + pid, &owner) != 0 ||
            (::getuid() != 0 && owner.st_uid != ::getuid()))
            return true;
        DIR* fds = ::opendir("/proc/" + pid + "/fd");
        while (const dirent* fd = fds ? ::readdir(fds) : nullptr) {
            struct stat open {};
            const QByteArray name(fd->d_name);
            if (name.startsWith('.') || ::stat("/proc/" + pid + "/fd/" + name, &open) != 0 ||
                open.st_dev != target.st_dev || open.st_ino != target.st_ino)
                continue;
            if (openForWriting(pid, name)) {
                holder = holdsTheImage(pid);
                break;
            }
        }
        if (fds)
            ::closedir(fds);
        return !holder;
    });
    if (holder)
        return holder;

    // The kernel holds an image attached to a loop device (losetup, udisks), mounted or not,
    // and no process shows it among its open files.
    DIR* loops = ::opendir("/sys/block");
    while (const dirent* device = loops ? ::readdir(loops) : nullptr) {
        const QByteArray name(device->d_name);
        if (!name.startsWith("loop"))
            continue;
        QByteArray backing = firstLine("/sys/block/" + name + "/loop/backing_file");
        if (backing.endsWith(" (deleted)"))
            continue;
        struct stat attached {};
        if (!backing.isEmpty() && ::stat(backing.constData(), &attached) == 0 &&
            attached.st_dev == target.st_dev && attached.st_ino == target.st_ino) {
            ::closedir(loops);
            return QStringLiteral("the image is attached to the loop device /dev/%1: detach it "
                                  "first (udisksctl loop-delete, or losetup -d), as two systems "
                                  "writing one disk damage it")
                .arg(QString::fromLatin1(name));
        }
    }
    if (loops)
        ::closedir(loops);

    // A program of another user is not seen, but a lock is, whoever holds it.
    return lockOn(target, ownDaemon);
}

} // namespace bootvane
