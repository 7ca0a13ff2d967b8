#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

namespace bootvane {

// One FAT volume in a disk image, reached through GNU mtools (mcopy, mdel, mren, mattrib,
// mdir), run as child processes: Bootvane has no FAT code of its own. Each command's
// arguments are a list, never a shell line; a command that fails becomes an Error naming
// the file and what mtools said. A command once started always runs to its end, even when
// Bootvane itself is killed meanwhile: killing one half-way could leave the FAT half-updated.
// No setting of the user's or the system's changes what a command reads, writes or prints.
class MtoolsVolume {
public:
    MtoolsVolume(QString image, qint64 offset) : m_image(std::move(image)), m_offset(offset) {}

    // An entry of a folder as mtools lists it: its 8.3 name ("LOGO.SYS") and whether it is a
    // folder.
    struct Entry {
        QString name;
        bool isFolder = false;
    };
    enum class Kind { Absent, File, Folder };
    // What a name on the volume reaches: the entry of that 8.3 name, and another entry that
    // mtools takes for it as well, if there is one: by its long name, or a second entry of the
    // same 8.3 name on a damaged volume.
    struct Found {
        Kind kind = Kind::Absent;
        std::optional<Entry> other;
    };
    // What each of paths ("::/WINDOWS/LOGOW.SYS") and each folder on the way to it reaches, with
    // one command where no other entry answers to any of them. operation names what the result
    // is for in errors.
    std::map<QString, Found> lookUp(const QStringList& paths, const QString& operation) const;
    // Throws, naming it, where something other than the entry of its own 8.3 name answers to
    // path or to a folder on the way to it: mtools would take the one for the other. Every path
    // is checked so before Bootvane gives it to mtools. writing names the system file that path
    // is a temporary name of.
    void requireAlone(const std::map<QString, Found>& found, const QString& path,
                      const QString& operation, const QString& writing = {}) const;

    // The bytes of the file at path ("::/WINDOWS/LOGOW.SYS"), or nothing when mtools finds no
    // such file; one larger than maxBytes is refused. A folder at path would be read as the
    // files in it: only a path that lookUp shows to be a file, reached by nothing else, is
    // read. shownAs names the file in errors.
    std::optional<QByteArray> read(const QString& path, const QString& shownAs,
                                   qint64 maxBytes) const;
    // The DOS attributes of the file at path as mattrib letters ("AHR").
    QString attributes(const QString& path, const QString& shownAs) const;

    // Writes bytes as a new file at path, replacing one of that name, and makes sure all of
    // them are there.
    void write(const QString& path, const QByteArray& bytes, const QString& shownAs) const;
    void setAttributes(const QString& path, const QString& letters, const QString& shownAs) const;
    // Renames the file at from to to, in the same folder. A file at to is replaced when
    // replacing is set, in the one command; otherwise the rename fails.
    void rename(const QString& from, const QString& to, const QString& shownAs,
                bool replacing = false) const;
    // Removes the file at path, which a listing showed to be there.
    void remove(const QString& path, const QString& shownAs) const;

    // What mdir -w printed for names looked up in the folders at paths, each folder's names
    // asked for together and the folders in that order: the entries listed in each (none where
    // nothing answered), or the first folder whose part is not exactly as mdir prints one and
    // the entries of those before it. cut: mdir found nothing for some name, and then leaves out
    // the count of the last part and the total.
    struct Listing {
        std::vector<std::vector<Entry>> folders;
        QString unreadable;
    };
    static Listing parseListing(const QByteArray& mdirOutput, const QStringList& paths, bool cut);
    // What mattrib printed for one file, as its letters.
    static QString parseAttributes(const QByteArray& mattribOutput);

    // How messages name the file or folder at path: "C:\\WINDOWS in /vms/win95.img".
    QString shown(const QString& path) const;

private:
    struct Result {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Result run(const QString& tool, const QStringList& arguments, const QString& operation,
               const QString& shownAs, const QByteArray& input = {}, qint64 maxOutput = -1) const;
    [[noreturn]] void failWith(const Result& result, const QString& operation,
                               const QString& shownAs) const;
    // What mdir lists for each of names in folder, one command for each.
    std::vector<std::vector<Entry>> lookUpOneByOne(const QString& folder, const QStringList& names,
                                                   const QString& operation) const;

    QString m_image;
    qint64 m_offset;
};

// The DOS path of the file or folder at path on the volume: "::/WINDOWS" is "C:\\WINDOWS".
QString dosPathOf(const QString& path);

// Whether what mtools said means only that it found no file or folder of that name.
bool saysNotFound(const QByteArray& mtoolsError);

// Where mtools is told to look for its settings instead of the user's home folder: a folder of
// this process's own, made at the first call and removed at exit. Throws when it cannot be made.
QString mtoolsHome();

} // namespace bootvane
