#include "setarchive.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "libzip.h"
#include "paths.h"
#include "picture.h"
#include "systemscreens.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace bootvane {

namespace {

const QString importOperation = QStringLiteral("import the set from");

// A whole zip is three screens and a few small files; one much larger is no set.
constexpr qint64 largestArchive = 4 * largestSharedScreen;

struct ZipCloser {
    const LibZip* lib;
    void operator()(zip_t* archive) const { lib->zip_discard(archive); }
    void operator()(zip_file_t* file) const { lib->zip_fclose(file); }
};

using FoundPaths = std::array<std::optional<QString>, slotCount>;

bool isWindowsFolder(const QString& name)
{
    return name.compare(QLatin1String("WINDOWS"), Qt::CaseInsensitive) == 0;
}

// The slot whose screen a shared file is, from the parts of its path: a file named for it at
// the top, inside one folder, or in WINDOWS as on drive C (also inside one folder).
std::optional<int> screenAt(const QStringList& parts)
{
    if (parts.isEmpty() || parts.size() > 3)
        return std::nullopt;
    const std::optional<int> slot = slotNamedBy(parts.constLast());
    if (!slot || parts.size() < 3)
        return slot;
    return isWindowsFolder(parts[1]) && *slot != 0 ? slot : std::nullopt;
}

// The folder a screen at parts lies in: none at the top, nor in WINDOWS as on drive C.
QString folderOf(const QStringList& parts, int slot)
{
    if (parts.size() == 3 || (parts.size() == 2 && !(slot != 0 && isWindowsFolder(parts[0]))))
        return parts[0];
    return {};
}

// The parts of a path as whoever made the zip meant them: separators of either kind, and no
// empty or "." parts, which name no folder ("Cool/./logo.sys", "./logo.sys").
QStringList pathParts(const QString& path)
{
    QStringList parts = QString(path)
                            .replace(QLatin1Char('\\'), QLatin1Char('/'))
                            .split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("."));
    return parts;
}

// Takes path, a clean one (pathParts), as the file of the screen its name says, if it is one;
// a second file for the same screen is an error, since either could be the one meant.
void takeCandidate(FoundPaths& found, const QString& path, const QString& shownAs)
{
    const std::optional<int> slot = screenAt(pathParts(path));
    if (!slot)
        return;
    if (found[size_t(*slot)])
        fail(importOperation, shownAs,
             QStringLiteral("it holds two files that could be its %1: \"%2\" and \"%3\"")
                 .arg(QLatin1String(screenSlots[size_t(*slot)].uiName), *found[size_t(*slot)],
                      path));
    found[size_t(*slot)] = path;
}

// The screens found, named, without their bytes yet, and the folder they share. Throws when
// there is not one screen.
SharedSet sharedLayout(const FoundPaths& found, const QString& shownAs)
{
    SharedSet set;
    std::optional<QString> folder;
    QString previous;
    // Screens that all lie in one folder are a set of that folder, even one named WINDOWS,
    // where a Startup Screen is not as on drive C.
    std::optional<QStringList> parent;
    bool oneParent = true;
    for (const std::optional<QString>& path : found) {
        if (!path)
            continue;
        QStringList parts = pathParts(*path);
        parts.removeLast();
        oneParent = oneParent && (!parent || *parent == parts);
        parent = parts;
    }
    if (oneParent && parent && parent->size() <= 1) {
        for (int i = 0; i < slotCount; ++i)
            set.names[size_t(i)] = found[size_t(i)].value_or(QString());
        set.folder = parent->value(0);
        return set;
    }
    for (int i = 0; i < slotCount; ++i) {
        if (!found[size_t(i)])
            continue;
        set.names[size_t(i)] = *found[size_t(i)];
        const QString at = folderOf(pathParts(*found[size_t(i)]), i);
        // Screens of two sets, or stray copies, are no one set: which to take is not known.
        if (folder && *folder != at)
            fail(importOperation, shownAs,
                 QStringLiteral("its screens \"%1\" and \"%2\" lie in different folders; a set's "
                                "screens lie together, at the top, in one folder, or as on "
                                "drive C")
                     .arg(displayFileName(previous), displayFileName(*found[size_t(i)])));
        folder = at;
        previous = *found[size_t(i)];
    }
    if (!folder)
        fail(importOperation, shownAs,
             QStringLiteral("it holds no screen: no logo, logow or logos file, as .sys, .bmp or "
                            "another picture"));
    set.folder = *folder;
    return set;
}

QString zipReason(const LibZip& lib, zip_error_t* error)
{
    return QString::fromLocal8Bit(lib.zip_error_strerror(error));
}

// An entry's name that leads out of the archive's own folder: absolute, a drive, or "..".
bool climbsOut(const QString& name)
{
    const QString path = QString(name).replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.startsWith(QLatin1Char('/')) || (path.size() > 1 && path[1] == QLatin1Char(':')))
        return true;
    const QStringList parts = path.split(QLatin1Char('/'));
    return parts.contains(QStringLiteral(".."));
}

QByteArray readEntry(const LibZip& lib, zip_t* archive, zip_uint64_t index, zip_uint64_t size,
                     const QString& name, const QString& shownAs)
{
    std::unique_ptr<zip_file_t, ZipCloser> file(lib.zip_fopen_index(archive, index, 0), {&lib});
    if (!file)
        fail(importOperation, shownAs,
             QStringLiteral("\"%1\" cannot be unpacked (%2)")
                 .arg(name, zipReason(lib, lib.zip_get_error(archive))));
    // One byte more than the zip says is asked for: a file that gives it is lying.
    QByteArray bytes(qsizetype(size) + 1, Qt::Uninitialized);
    qint64 got = 0;
    for (;;) {
        const zip_int64_t read =
            lib.zip_fread(file.get(), bytes.data() + got, zip_uint64_t(bytes.size() - got));
        if (read < 0)
            fail(importOperation, shownAs,
                 QStringLiteral("\"%1\" is damaged (%2)")
                     .arg(name, zipReason(lib, lib.zip_file_get_error(file.get()))));
        if (read == 0)
            break;
        got += read;
        if (got > qint64(size))
            fail(importOperation, shownAs,
                 QStringLiteral("\"%1\" unpacks to more than the zip says").arg(name));
    }
    if (got != qint64(size))
        fail(importOperation, shownAs, QStringLiteral("\"%1\" is cut short").arg(name));
    bytes.truncate(got);
    return bytes;
}

SharedSet readSetFolder(const QString& folder)
{
    // The same places as in a zip, three levels down at most. What is there must be read: a
    // folder that cannot be listed, a link or a device named as a screen may be where a screen
    // is, and taking the screen in use instead would make another set than the one shared.
    // Other links than those, and than a WINDOWS where screens are looked for (a Wine drive
    // C's links into the home folder), are neither followed nor read.
    FoundPaths found;
    std::vector<QString> pending{QString()};
    while (!pending.empty()) {
        const QString relative = pending.back();
        pending.pop_back();
        const QString at = relative.isEmpty() ? folder : folder + QLatin1Char('/') + relative;
        QStringList names;
        try {
            names = listFolder(at + QLatin1Char('/'), attributeFolder);
        } catch (const Error& error) {
            fail(importOperation, folder,
                 QStringLiteral("its folder \"%1\" cannot be listed (%2)")
                     .arg(displayFileName(relative), error.reason()));
        }
        for (const QString& name : names) {
            if (name == QLatin1String(".") || name == QLatin1String(".."))
                continue;
            const QString path = relative.isEmpty() ? name : relative + QLatin1Char('/') + name;
            const EntryType type = entryType(at + QLatin1Char('/') + name);
            if (type == EntryType::Folder && pathParts(relative).size() < 2)
                pending.push_back(path);
            else if (type == EntryType::File)
                takeCandidate(found, path, folder);
            else if (type != EntryType::Folder &&
                     (screenAt(pathParts(path)) ||
                      (isWindowsFolder(name) && pathParts(path).size() < 3)))
                fail(importOperation, folder,
                     QStringLiteral("its \"%1\" is a link, a device, a pipe or a socket, not a "
                                    "file")
                         .arg(displayFileName(path)));
        }
    }
    SharedSet set = sharedLayout(found, folder);
    for (int i = 0; i < slotCount; ++i) {
        if (!found[size_t(i)])
            continue;
        const QString path = folder + QLatin1Char('/') + *found[size_t(i)];
        QFile file;
        openPlainFile(file, path, importOperation,
                      QStringLiteral("it is a device, pipe or socket, not a file"));
        set.screens[size_t(i)] = file.readAll();
        if (file.error() != QFileDevice::NoError)
            fail(importOperation, path, file.errorString());
    }
    return set;
}

} // namespace

SharedSet readSetArchive(const QByteArray& zip, const QString& shownAs)
{
    const LibZip& lib = libZip(importOperation, shownAs);
    zip_error_t error;
    lib.zip_error_init(&error);
    zip_source_t* source =
        lib.zip_source_buffer_create(zip.constData(), zip_uint64_t(zip.size()), 0, &error);
    if (!source)
        fail(importOperation, shownAs, zipReason(lib, &error));
    std::unique_ptr<zip_t, ZipCloser> archive(
        lib.zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error), {&lib});
    if (!archive) {
        lib.zip_source_free(source);
        const QString reason = zipReason(lib, &error);
        lib.zip_error_fini(&error);
        fail(importOperation, shownAs,
             QStringLiteral("it is no zip, or a damaged or cut short one (%1)").arg(reason));
    }
    lib.zip_error_fini(&error);

    const zip_int64_t count = lib.zip_get_num_entries(archive.get(), 0);
    if (count > mostArchiveEntries)
        fail(importOperation, shownAs,
             QStringLiteral("it holds %1 entries; a set holds three files, and no more than %2 "
                            "entries are read")
                 .arg(count)
                 .arg(mostArchiveEntries));
    FoundPaths found;
    std::array<std::pair<zip_uint64_t, zip_uint64_t>, slotCount> where{};
    for (zip_int64_t index = 0; index < count; ++index) {
        zip_stat_t status;
        if (lib.zip_stat_index(archive.get(), zip_uint64_t(index), 0, &status) != 0 ||
            !(status.valid & ZIP_STAT_NAME))
            fail(importOperation, shownAs, QStringLiteral("an entry of it is damaged"));
        const QString name = decodeFileName(QByteArray(status.name));
        if (climbsOut(name))
            fail(
                importOperation, shownAs,
                QStringLiteral("its entry \"%1\" leads out of the set").arg(displayFileName(name)));
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (lib.zip_file_get_external_attributes(archive.get(), zip_uint64_t(index), 0, &system,
                                                 &attributes) == 0 &&
            system == ZIP_OPSYS_UNIX) {
            const mode_t mode = mode_t(attributes >> 16);
            if (S_ISLNK(mode) || S_ISCHR(mode) || S_ISBLK(mode) || S_ISFIFO(mode) || S_ISSOCK(mode))
                fail(importOperation, shownAs,
                     QStringLiteral("its entry \"%1\" is a link or a device, not a file")
                         .arg(displayFileName(name)));
        }
        if ((status.valid & ZIP_STAT_ENCRYPTION_METHOD) && status.encryption_method != ZIP_EM_NONE)
            fail(importOperation, shownAs,
                 QStringLiteral("it is encrypted; unpack it yourself and import the folder with "
                                "\"Import Set from Folder...\""));
        if (name.endsWith(QLatin1Char('/')) || name.endsWith(QLatin1Char('\\')))
            continue;
        if (!(status.valid & ZIP_STAT_SIZE) || status.size > zip_uint64_t(largestSharedScreen))
            fail(importOperation, shownAs,
                 QStringLiteral("its file \"%1\" is over 16 MB, too large for a screen")
                     .arg(displayFileName(name)));
        const auto before = found;
        takeCandidate(found, pathParts(name).join(QLatin1Char('/')), shownAs);
        for (int i = 0; i < slotCount; ++i) {
            if (found[size_t(i)] != before[size_t(i)])
                where[size_t(i)] = {zip_uint64_t(index), status.size};
        }
    }
    SharedSet set = sharedLayout(found, shownAs);
    for (int i = 0; i < slotCount; ++i) {
        if (found[size_t(i)])
            set.screens[size_t(i)] = readEntry(lib, archive.get(), where[size_t(i)].first,
                                               where[size_t(i)].second, *found[size_t(i)], shownAs);
    }
    return set;
}

namespace {

// A set whose screen is no picture would be made whole and then fail at every preview and
// apply: each screen must read as the picture it will be shown as.
SharedSet picturesOnly(const SharedSet& set, const QString& shownAs)
{
    for (int i = 0; i < slotCount; ++i) {
        if (!set.screens[size_t(i)])
            continue;
        try {
            (void)decodePicture(*set.screens[size_t(i)], set.names[size_t(i)]);
        } catch (const Error& error) {
            fail(importOperation, shownAs,
                 QStringLiteral("its \"%1\" is no picture Bootvane can show (%2)")
                     .arg(displayFileName(set.names[size_t(i)]), error.reason()));
        }
    }
    return set;
}

// One picture shared alone: the screen its name says, else the Startup Screen for the user
// to change.
SharedSet singlePicture(const QString& path)
{
    QByteArray bytes;
    try {
        (void)loadPictureWithBytes(path, bytes);
    } catch (const Error& error) {
        fail(importOperation, path,
             QStringLiteral("it is neither a zip nor a picture Bootvane can show (%1)")
                 .arg(error.reason()));
    }
    SharedSet set;
    const QString name = QFileInfo(path).fileName();
    const std::optional<int> slot = slotNamedBy(name);
    set.screens[size_t(slot.value_or(0))] = bytes;
    set.names[size_t(slot.value_or(0))] = name;
    set.roleOpen = !slot;
    return set;
}

} // namespace

QStringList screenFileSuffixes()
{
    QStringList suffixes{QStringLiteral("sys")};
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        suffixes.append(QString::fromLatin1(format).toLower());
    suffixes.removeDuplicates();
    return suffixes;
}

std::optional<int> slotNamedBy(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || !screenFileSuffixes().contains(fileName.mid(dot + 1).toLower()))
        return std::nullopt;
    for (int i = 0; i < slotCount; ++i) {
        const QString stem =
            QString::fromLatin1(screenSlots[size_t(i)].setFileName).section('.', 0, 0);
        if (fileName.left(dot).compare(stem, Qt::CaseInsensitive) == 0)
            return i;
    }
    return std::nullopt;
}

SharedSet SharedSet::withRole(int slot) const
{
    SharedSet moved = *this;
    std::swap(moved.screens[0], moved.screens[size_t(slot)]);
    std::swap(moved.names[0], moved.names[size_t(slot)]);
    return moved;
}

SharedSet readSharedSet(const QString& path)
{
    if (fileAttributesIfPresent(path).value_or(0) & attributeFolder)
        return picturesOnly(readSetFolder(path), path);
    QFile file;
    openPlainFile(file, path, importOperation,
                  QStringLiteral("it is a device, pipe or socket, not a zip file"));
    // Told by its content, as pictures are: every zip starts with a "PK" signature, and no
    // picture format does. A zip's limits are the zip's; a picture is held to those every
    // picture is, as Replace Screen and Create New Set hold it.
    if (file.peek(2) != "PK")
        return singlePicture(path);
    if (file.size() > largestArchive)
        fail(importOperation, path, QStringLiteral("it is far too large to be a set"));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(importOperation, path, file.errorString());
    return picturesOnly(readSetArchive(bytes, path), path);
}

SetScreens completedSet(const SharedSet& shared, const ScreensInUse& inUse, const Drive* drive,
                        const QString& shownAs)
{
    SetScreens screens;
    for (int i = 0; i < slotCount; ++i) {
        const ScreenSlot& slot = screenSlots[size_t(i)];
        if (shared.screens[size_t(i)]) {
            screens[size_t(i)] = *shared.screens[size_t(i)];
            continue;
        }
        if (!drive)
            fail(importOperation, shownAs,
                 QStringLiteral("it holds no %1, which would be copied from drive C, and no "
                                "drive C is open: choose one from the Drive menu first")
                     .arg(QLatin1String(slot.uiName)));
        // A set needs a file for each screen, and Windows' own screen is no file.
        if (!inUse[size_t(i)])
            fail(importOperation, shownAs,
                 QStringLiteral("it holds no %1, and drive C has no %2 to copy: Windows shows "
                                "its own there. Choose the three screens in Create New Set")
                     .arg(QLatin1String(slot.uiName), drive->systemFile(slot)));
        (void)decodePicture(*inUse[size_t(i)], drive->displayPath(drive->systemFile(slot)));
        screens[size_t(i)] = *inUse[size_t(i)];
    }
    return screens;
}

bool makeSetFromScreens(const QString& base, const QString& name, const SetScreens& screens)
{
    StagingFolder staging(base,
                          QStringLiteral("make the new set \"%1\" in").arg(displayFileName(name)));
    try {
        for (int i = 0; i < slotCount; ++i)
            writeNewFile(staging.filePath(QLatin1String(screenSlots[size_t(i)].setFileName)),
                         screens[size_t(i)]);
        return staging.commitAs(base + name);
    } catch (const Error& error) {
        staging.rethrowInUsersWords(error);
    }
}

namespace {

// Where each file goes, for whoever copies them to drive C without Bootvane: plain DOS text.
QByteArray readmeText()
{
    QStringList lines{
        QStringLiteral("The three screens Windows 95 shows as it starts and shuts down, as"),
        QStringLiteral("Windows takes them. Copy each file over the one on drive C:"), QString()};
    for (const ScreenSlot& slot : screenSlots)
        lines.append(QStringLiteral("  %1  to  %2  (the %3)")
                         .arg(QLatin1String(slot.setFileName), -9)
                         .arg(QString::fromLatin1(slot.systemFileWritten).toUpper(), -20)
                         .arg(QLatin1String(slot.uiName)));
    lines << QString()
          << QStringLiteral("Windows may live in another folder than C:\\WINDOWS: the line WinDir=")
          << QStringLiteral("in C:\\MSDOS.SYS names it. Windows 98 and ME use the same files.")
          << QString();
    return lines.join(QStringLiteral("\r\n")).toLatin1();
}

const QString exportOperation = QStringLiteral("export the set to");

// What is shared: the three screens and README.TXT, with their names.
using SharedFiles = std::array<std::pair<const char*, QByteArray>, slotCount + 1>;

// Ends an export libzip failed, with its reason: error is the archive's, when there is one, else
// one of the caller's own.
[[noreturn]] void zipFailed(const LibZip& lib, const QString& path, zip_error_t* error,
                            zip_t* archive = nullptr)
{
    const QString reason = zipReason(lib, error);
    if (archive)
        lib.zip_discard(archive);
    else
        lib.zip_error_fini(error);
    fail(exportOperation, path, reason);
}

struct SourceFreer {
    const LibZip* lib;
    void operator()(zip_source_t* source) const { lib->zip_source_free(source); }
};

// Refuses, before anything is written, a path the zip must not replace: what is no file, and
// anything of the sets folder or drive C, whose files only Bootvane's own commands change, with
// a copy kept. A save dialog asks only whether to replace a file, whatever it is.
void requireExportDestination(const QString& base, const Drive* drive, const QString& path)
{
    const EntryType type = entryType(path);
    if (type == EntryType::Folder)
        fail(exportOperation, path,
             QStringLiteral("it is a folder; give the zip a name of its own in it"));
    if (type == EntryType::Other)
        fail(exportOperation, path,
             QStringLiteral("it is a device, pipe or socket, not a file a zip can replace"));
    // The entry the zip replaces, and where it leads should it be a link: either may be the
    // user's screens by another path.
    const QFileInfo entry(path);
    for (const QString& target :
         {realWriteTarget(entry.absolutePath()) + QLatin1Char('/') + entry.fileName(),
          realWriteTarget(path)}) {
        if (changesWorkingFolder(target, base))
            fail(exportOperation, path,
                 QStringLiteral("it lies in the sets folder, among your sets and your own "
                                "screens; export to a folder outside it"));
        if (drive && drive->changedByWriting(target))
            fail(exportOperation, path,
                 QStringLiteral("it lies on drive C, whose files change only with \"Set as "
                                "Current\" and \"Restore originals\"; export to a folder "
                                "outside it"));
    }
    // A file that is no zip is not one the user means to replace with a set, though the save
    // dialog asks only whether to: the base image of a qcow2 drive C, a VMDK's data, a
    // document. A link there is replaced itself, never what it leads to.
    // A zip by another name (a .docx, an .odt, a .jar) is a document all the same.
    if (type == EntryType::File && !path.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive))
        fail(exportOperation, path,
             QStringLiteral("it is a file of another kind than a zip, which the zip would "
                            "replace; give the zip a name of its own, ending in .zip"));
    if (type == EntryType::File) {
        QFile existing(path);
        if (!existing.open(QIODevice::ReadOnly))
            fail(exportOperation, path,
                 QStringLiteral("it cannot be read to tell whether it is a zip (%1)")
                     .arg(existing.errorString()));
        if (existing.size() > 0 && !existing.read(4).startsWith("PK"))
            fail(exportOperation, path,
                 QStringLiteral("it holds something other than a zip (a disk image or a "
                                "document, say), which the zip would replace; give the zip a "
                                "name of its own"));
    }
}

// The bytes of a zip of files, made in memory; path is where it goes, for messages.
QByteArray zipOf(const SharedFiles& files, const QString& path)
{
    const LibZip& lib = libZip(exportOperation, path);
    zip_error_t error;
    lib.zip_error_init(&error);
    std::unique_ptr<zip_source_t, SourceFreer> buffer(
        lib.zip_source_buffer_create(nullptr, 0, 0, &error), {&lib});
    if (!buffer)
        zipFailed(lib, path, &error);
    zip_t* archive = lib.zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &error);
    if (!archive)
        zipFailed(lib, path, &error);
    // The archive owns the buffer now; it is kept, to be read once the archive is closed.
    lib.zip_source_keep(buffer.get());
    for (const auto& [name, bytes] : files) {
        zip_source_t* source =
            lib.zip_source_buffer(archive, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        if (!source || lib.zip_file_add(archive, name, source, ZIP_FL_ENC_UTF_8) < 0) {
            if (source)
                lib.zip_source_free(source);
            zipFailed(lib, path, lib.zip_get_error(archive), archive);
        }
    }
    if (lib.zip_close(archive) != 0)
        zipFailed(lib, path, lib.zip_get_error(archive), archive);
    QByteArray zip;
    zip_source_t* source = buffer.get();
    if (lib.zip_source_open(source) == 0) {
        if (lib.zip_source_seek(source, 0, SEEK_END) == 0) {
            zip.resize(qsizetype(lib.zip_source_tell(source)));
            if (lib.zip_source_seek(source, 0, SEEK_SET) != 0 ||
                lib.zip_source_read(source, zip.data(), zip_uint64_t(zip.size())) != zip.size())
                zip.clear();
        }
        lib.zip_source_close(source);
    }
    if (zip.isEmpty())
        fail(exportOperation, path, zipReason(lib, lib.zip_source_error(source)));
    return zip;
}

} // namespace

void exportSet(const QString& base, const QString& name, const QString& path, const Drive* drive)
{
    requireExportDestination(base, drive, path);
    // What Set as Current would write: whoever copies the files by hand gets the same screens.
    SharedFiles files;
    for (int i = 0; i < slotCount; ++i) {
        const ScreenSlot& slot = screenSlots[size_t(i)];
        files[size_t(i)] = {slot.setFileName,
                            prepareScreenUpdate(setFilePath(base, name, slot), slot, false).bytes};
    }
    files[slotCount] = {"README.TXT", readmeText()};
    // Made whole in memory first, then written as a screen file is: through a temporary file
    // that is on the disk before it takes the name, so that path holds the old file or the
    // whole new one, whatever fails. A link at path gives way to the zip, never leads it
    // elsewhere.
    replaceFileAtomically(path, zipOf(files, path), LinkHandling::ReplaceLink);
}

} // namespace bootvane
