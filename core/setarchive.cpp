#include "setarchive.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "paths.h"
#include "picture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <zip.h>

namespace bootvane {

namespace {

const QString importOperation = QStringLiteral("import the set from");

// A whole zip is three screens and a few small files; one much larger is no set.
constexpr qint64 largestArchive = 4 * largestSharedScreen;

struct ZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

// Where a file of a shared set may lie, as the parts of its path: the slot's file at the top,
// inside one folder, or in WINDOWS as on drive C (also inside one folder), in any case.
bool isPlaceOf(const QStringList& parts, const ScreenSlot& slot)
{
    if (parts.isEmpty() || parts.size() > 3 ||
        parts.constLast().compare(QLatin1String(slot.setFileName), Qt::CaseInsensitive) != 0)
        return false;
    if (parts.size() == 1 || parts.size() == 2)
        return true;
    const bool inWindows = parts[1].compare(QLatin1String("WINDOWS"), Qt::CaseInsensitive) == 0;
    return inWindows && &slot != &screenSlots[0];
}

// Which slot's file the path could be, for each slot; a second candidate is an error.
void takeCandidate(std::array<std::optional<QString>, slotCount>& found, const QString& path,
                   const QString& shownAs)
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (int i = 0; i < slotCount; ++i) {
        const ScreenSlot& slot = screenSlots[size_t(i)];
        if (!isPlaceOf(parts, slot))
            continue;
        if (found[size_t(i)])
            fail(importOperation, shownAs,
                 QStringLiteral("it holds two files that could be its %1: \"%2\" and \"%3\"")
                     .arg(QLatin1String(slot.setFileName), *found[size_t(i)], path));
        found[size_t(i)] = path;
    }
}

void requireAll(const std::array<std::optional<QString>, slotCount>& found, const QString& shownAs)
{
    for (int i = 0; i < slotCount; ++i) {
        if (!found[size_t(i)])
            fail(importOperation, shownAs,
                 QStringLiteral("it holds no %1, so it is no whole set")
                     .arg(QLatin1String(screenSlots[size_t(i)].setFileName)));
    }
}

QString zipReason(zip_error_t* error)
{
    return QString::fromLocal8Bit(zip_error_strerror(error));
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

QByteArray readEntry(zip_t* archive, zip_uint64_t index, zip_uint64_t size, const QString& name,
                     const QString& shownAs)
{
    std::unique_ptr<zip_file_t, ZipCloser> file(zip_fopen_index(archive, index, 0));
    if (!file)
        fail(importOperation, shownAs,
             QStringLiteral("\"%1\" cannot be unpacked (%2)")
                 .arg(name, zipReason(zip_get_error(archive))));
    // One byte more than the zip says is asked for: a file that gives it is lying.
    QByteArray bytes(qsizetype(size) + 1, Qt::Uninitialized);
    qint64 got = 0;
    for (;;) {
        const zip_int64_t read =
            zip_fread(file.get(), bytes.data() + got, zip_uint64_t(bytes.size() - got));
        if (read < 0)
            fail(importOperation, shownAs,
                 QStringLiteral("\"%1\" is damaged (%2)")
                     .arg(name, zipReason(zip_file_get_error(file.get()))));
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

SetScreens readSetFolder(const QString& folder)
{
    // The same places as in a zip, three levels down at most; links are not followed.
    std::array<std::optional<QString>, slotCount> found;
    const QDir root(folder);
    std::vector<QString> pending{QString()};
    while (!pending.empty()) {
        const QString relative = pending.back();
        pending.pop_back();
        const QStringList parts = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        const QFileInfoList entries =
            QDir(root.filePath(relative)).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot);
        for (const QFileInfo& entry : entries) {
            const QString path = relative.isEmpty()
                                     ? entry.fileName()
                                     : relative + QLatin1Char('/') + entry.fileName();
            if (entry.isSymLink())
                continue;
            if (entry.isDir() && parts.size() < 2)
                pending.push_back(path);
            else if (entry.isFile())
                takeCandidate(found, path, folder);
        }
    }
    requireAll(found, folder);
    SetScreens screens;
    for (int i = 0; i < slotCount; ++i) {
        const QString path = root.filePath(*found[size_t(i)]);
        QFile file;
        openPlainFile(file, path, importOperation,
                      QStringLiteral("it is a device, pipe or socket, not a file"));
        if (file.size() > largestSharedScreen)
            fail(importOperation, path, QStringLiteral("it is over 16 MB, too large for a screen"));
        screens[size_t(i)] = file.readAll();
        if (file.error() != QFileDevice::NoError)
            fail(importOperation, path, file.errorString());
    }
    return screens;
}

} // namespace

SetScreens readSetArchive(const QByteArray& zip, const QString& shownAs)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        zip_source_buffer_create(zip.constData(), zip_uint64_t(zip.size()), 0, &error);
    if (!source)
        fail(importOperation, shownAs, zipReason(&error));
    std::unique_ptr<zip_t, ZipCloser> archive(
        zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        zip_source_free(source);
        const QString reason = zipReason(&error);
        zip_error_fini(&error);
        fail(importOperation, shownAs,
             QStringLiteral("it is no zip, or a damaged or cut short one (%1)").arg(reason));
    }
    zip_error_fini(&error);

    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    if (count > mostArchiveEntries)
        fail(importOperation, shownAs,
             QStringLiteral("it holds %1 entries; a set holds three files, and no more than %2 "
                            "entries are read")
                 .arg(count)
                 .arg(mostArchiveEntries));
    std::array<std::optional<QString>, slotCount> found;
    std::array<std::pair<zip_uint64_t, zip_uint64_t>, slotCount> where{};
    for (zip_int64_t index = 0; index < count; ++index) {
        zip_stat_t status;
        if (zip_stat_index(archive.get(), zip_uint64_t(index), 0, &status) != 0 ||
            !(status.valid & ZIP_STAT_NAME))
            fail(importOperation, shownAs, QStringLiteral("an entry of it is damaged"));
        const QString name = decodeFileName(QByteArray(status.name));
        if (climbsOut(name))
            fail(
                importOperation, shownAs,
                QStringLiteral("its entry \"%1\" leads out of the set").arg(displayFileName(name)));
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive.get(), zip_uint64_t(index), 0, &system,
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
                 QStringLiteral("it is encrypted; unpack it yourself and import the folder"));
        if (name.endsWith(QLatin1Char('/')))
            continue;
        if (!(status.valid & ZIP_STAT_SIZE) || status.size > zip_uint64_t(largestSharedScreen))
            fail(importOperation, shownAs,
                 QStringLiteral("its file \"%1\" is over 16 MB, too large for a screen")
                     .arg(displayFileName(name)));
        const auto before = found;
        takeCandidate(found, QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')), shownAs);
        for (int i = 0; i < slotCount; ++i) {
            if (found[size_t(i)] != before[size_t(i)])
                where[size_t(i)] = {zip_uint64_t(index), status.size};
        }
    }
    requireAll(found, shownAs);
    SetScreens screens;
    for (int i = 0; i < slotCount; ++i)
        screens[size_t(i)] = readEntry(archive.get(), where[size_t(i)].first,
                                       where[size_t(i)].second, *found[size_t(i)], shownAs);
    return screens;
}

namespace {

// A set whose screen is no picture would be made whole and then fail at every preview and
// apply: each screen must read as the picture it will be shown as.
SetScreens picturesOnly(const SetScreens& screens, const QString& shownAs)
{
    for (int i = 0; i < slotCount; ++i) {
        const QString file = QLatin1String(screenSlots[size_t(i)].setFileName);
        try {
            (void)decodePicture(screens[size_t(i)], file);
        } catch (const Error& error) {
            fail(importOperation, shownAs,
                 QStringLiteral("its %1 is no picture Bootvane can show (%2)")
                     .arg(file, error.reason()));
        }
    }
    return screens;
}

SetScreens readSharedSetAsItIs(const QString& path)
{
    if (fileAttributesIfPresent(path).value_or(0) & attributeFolder)
        return readSetFolder(path);
    QFile file;
    openPlainFile(file, path, importOperation,
                  QStringLiteral("it is a device, pipe or socket, not a zip file"));
    if (file.size() > largestArchive)
        fail(importOperation, path, QStringLiteral("it is far too large to be a set"));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(importOperation, path, file.errorString());
    return readSetArchive(bytes, path);
}

} // namespace

SetScreens readSharedSet(const QString& path)
{
    return picturesOnly(readSharedSetAsItIs(path), path);
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

void exportSet(const QString& base, const QString& name, const QString& path)
{
    const QString operation = QStringLiteral("export the set to");
    SetScreens screens;
    for (int i = 0; i < slotCount; ++i) {
        const QString file = setFilePath(base, name, screenSlots[size_t(i)]);
        QFile in;
        openPlainFile(in, file, QStringLiteral("read"),
                      QStringLiteral("it is a device, pipe or socket, not a file"));
        if (in.size() > largestSharedScreen)
            fail(operation, path,
                 QStringLiteral("its %1 is over 16 MB, more than a shared set may hold")
                     .arg(QLatin1String(screenSlots[size_t(i)].setFileName)));
        screens[size_t(i)] = in.readAll();
    }
    // libzip writes the whole archive to a temporary file beside path and renames it over
    // path when it closes: path holds the old file or the new one, never part of one.
    int code = 0;
    zip_t* archive = zip_open(encodeFileName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const QString reason = zipReason(&error);
        zip_error_fini(&error);
        fail(operation, path, reason);
    }
    for (int i = 0; i < slotCount; ++i) {
        zip_source_t* source = zip_source_buffer(archive, screens[size_t(i)].constData(),
                                                 zip_uint64_t(screens[size_t(i)].size()), 0);
        if (!source || zip_file_add(archive, screenSlots[size_t(i)].setFileName, source,
                                    ZIP_FL_ENC_UTF_8) < 0) {
            const QString reason = zipReason(zip_get_error(archive));
            if (source)
                zip_source_free(source);
            zip_discard(archive);
            fail(operation, path, reason);
        }
    }
    if (zip_close(archive) != 0) {
        const QString reason = zipReason(zip_get_error(archive));
        zip_discard(archive);
        fail(operation, path, reason);
    }
}

} // namespace bootvane
