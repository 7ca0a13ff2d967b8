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
        qint64 size = 0;
    };

    // The bytes of the file at path ("::/WINDOWS/LOGOW.SYS"), or nothing when there is no such
    // file; one larger than maxBytes is refused. shownAs names the file in errors.
    std::optional<QByteArray> read(const QString& path, const QString& shownAs,
                                   qint64 maxBytes) const;
    // The entries of the folder at path, "." and ".." aside; nothing when there is no such folder.
    std::optional<std::vector<Entry>> list(const QString& path, const QString& shownAs) const;
    // The same for several folders at once, with one command where they all are there.
    std::map<QString, std::optional<std::vector<Entry>>> list(const QStringList& paths,
                                                              const QString& shownAs) const;
    // The DOS attributes of the file at path as mattrib letters ("AHR"), nothing when absent.
    std::optional<QString> attributes(const QString& path, const QString& shownAs) const;

    // Writes bytes as a new file at path, replacing one of that name, and makes sure all of
    // them are there.
    void write(const QString& path, const QByteArray& bytes, const QString& shownAs) const;
    void setAttributes(const QString& path, const QString& letters, const QString& shownAs) const;
    // Renames the file at from to to, in the same folder. A file at to is replaced when
    // replacing is set, in the one command; otherwise the rename fails.
    void rename(const QString& from, const QString& to, const QString& shownAs,
                bool replacing = false) const;
    // Removes the file at path; a file that is absent is fine.
    void remove(const QString& path, const QString& shownAs) const;

    // What mdir printed for one folder or more, as the entries of each, in the order listed.
    static std::vector<std::vector<Entry>> parseListing(const QByteArray& mdirOutput);
    // What mattrib printed for one file, as its letters.
    static QString parseAttributes(const QByteArray& mattribOutput);

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

    QString m_image;
    qint64 m_offset;
};

// Whether what mtools said means only that the file or folder is not there.
bool saysNotFound(const QByteArray& mtoolsError);

// Where mtools is told to look for its settings instead of the user's home folder: a folder of
// this process's own, made at the first call and removed at exit. Throws when it cannot be made.
QString mtoolsHome();

} // namespace bootvane
