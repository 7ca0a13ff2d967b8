#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>

namespace bootvane::testing {

// A Wine-style drive C and a working directory in a temporary folder, for one test. It sets
// WINEPREFIX to its prefix and makes the working directory current, and puts both back when
// it goes.
//   <tmp>/prefix/dosdevices/c: -> <tmp>/prefix/drive_c
//   <tmp>/prefix/drive_c/windows/
//   <tmp>/work/   (the working directory: sets and "Originals" live here)
//   <tmp>/runtime/   (XDG_RUNTIME_DIR, where disk images in other formats are opened)
class TempDrive {
public:
    TempDrive();
    ~TempDrive();
    TempDrive(const TempDrive&) = delete;
    TempDrive& operator=(const TempDrive&) = delete;

    QString root() const;    // the temporary folder
    QString driveC() const;  // <tmp>/prefix/drive_c
    QString workDir() const; // <tmp>/work

    // The native file behind a system file, slot 0..2 ("C:\logo.sys" is driveC()/logo.sys).
    QString systemFile(int slot) const;
    // Writes a picture of the given colour as the system file of slot as a BMP.
    void writeSystemScreen(int slot, const QImage& picture) const;
    // Writes all three system files with distinct pictures.
    void writeSystemScreens() const;
    // Makes a set folder in the working directory with the three pictures (nullptr or
    // a null image leaves a file out). Files are written as BMP unless format is given.
    void makeSet(const QString& name, const QImage pictures[3], const char* format = "BMP") const;
    void makeSet(const QString& name) const; // with three distinct test pictures

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPrefix;
    bool m_hadPrefix;
    QString m_oldCurrent;
    QByteArray m_oldRuntime;
};

// A 320 x 400 indexed picture with a 256-colour palette whose pixels depend on seed, so
// that different seeds give different pictures.
QImage screenPicture(int seed, QSize size = QSize(320, 400));

QByteArray fileBytes(const QString& path);

// Every entry below folder, hidden ones too, as sorted paths relative to it: a test compares
// it before and after to see that nothing was made or left behind.
QStringList entriesBelow(const QString& folder);

// Runs call with the size a file may grow to cut to limit bytes, a limit that binds root as
// well, so that writes fail for real. Tells whether the limit could be set and put back.
template <typename Call> bool withFileSizeLimit(rlim_t limit, Call call)
{
    rlimit saved{};
    if (getrlimit(RLIMIT_FSIZE, &saved) != 0)
        return false;
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = limit;
    const bool limited = setrlimit(RLIMIT_FSIZE, &small) == 0;
    auto restore = [&] {
        const bool restored = setrlimit(RLIMIT_FSIZE, &saved) == 0;
        ::signal(SIGXFSZ, oldHandler);
        return restored;
    };
    try {
        call();
    } catch (...) {
        restore();
        throw;
    }
    return restore() && limited;
}
void writeFile(const QString& path, const QByteArray& bytes);

// Whether two pictures show the same pixels (compared as 32-bit colours).
bool samePixels(const QImage& a, const QImage& b);

// The peak signal-to-noise ratio of picture against reference (same size), in decibels,
// over the red, green and blue channels: how closely one shows the other.
double psnr(const QImage& picture, const QImage& reference);

} // namespace bootvane::testing
