#pragma once

#include "drive.h"
#include "originals.h"
#include "screenslots.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace bootvane {

// Sets as they are shared: a zip or a folder holding one, two or all three screens, or a
// single picture. Whatever comes from the internet is taken as hostile: nothing is written
// until the whole archive has been checked and its screens read.

using SetScreens = std::array<QByteArray, slotCount>;

// The largest screen file a shared set may hold, and the most entries its zip may have.
inline constexpr qint64 largestSharedScreen = 16 * 1024 * 1024;
inline constexpr int mostArchiveEntries = 64;

// The endings of the files a screen may be shared as: "sys", and every picture format
// Bootvane reads, in lower case.
QStringList screenFileSuffixes();

// The slot whose screen a file's name says it is: "logo", "logow" or "logos" before one of
// screenFileSuffixes, in any case ("LOGOW.BMP"); nothing for any other name.
std::optional<int> slotNamedBy(const QString& fileName);

// What a shared set holds: the screens it has, each with the name it had there.
struct SharedSet {
    std::array<std::optional<QByteArray>, slotCount> screens;
    // Where each screen was found: its path inside the zip or folder, or the file's name.
    std::array<QString, slotCount> names;
    // The one folder inside the zip or folder that holds the screens, when there is one: the
    // name whoever shared them gave them.
    QString folder;
    // A single picture whose name says no screen: it is taken as the Startup Screen, and the
    // user may give it another role.
    bool roleOpen = false;

    // The same set with the Startup Screen and the screen of slot swapped: a single picture
    // given the role of slot by the user.
    SharedSet withRole(int slot) const;
};

// The screens of a set shared as a zip, given as its bytes. A screen is a file named as
// slotNamedBy says, at the top level, inside one folder, or as on drive C (LOGO.SYS,
// WINDOWS/LOGOW.SYS, WINDOWS/LOGOS.SYS); every other file is left alone. Throws, naming
// shownAs and what is wrong, for a damaged, truncated or encrypted zip, entries that climb out
// of it or are links or devices, more than mostArchiveEntries entries, a file over
// largestSharedScreen or one that unpacks to more than the zip says, a screen found twice, and
// a zip that holds no screen at all.
SharedSet readSetArchive(const QByteArray& zip, const QString& shownAs);

// The same from the zip, the folder or the single picture at path, and each screen must be a
// picture.
SharedSet readSharedSet(const QString& path);

// The three screens of a new set: those of shared, and for each screen it lacks a copy of the
// screen in use on drive (inUse, as readScreensInUse gives it). Throws, naming shownAs, when
// drive has no file for a screen shared lacks (Windows shows its own), or no drive is open
// (drive is null), and naming the file when a screen in use is no picture.
SetScreens completedSet(const SharedSet& shared, const ScreensInUse& inUse, const Drive* drive,
                        const QString& shownAs);

// Makes the set name in the working folder base (a base path) from the screens' bytes, all
// or nothing. False, with nothing made, when the name was taken meanwhile.
[[nodiscard]] bool makeSetFromScreens(const QString& base, const QString& name,
                                      const SetScreens& screens);

// Writes the set name of base as a zip at path for anyone to copy to drive C by hand:
// logo.sys, logow.sys and logos.sys as "Set as Current" would write them (a screen Windows
// shows as it is byte for byte, any other converted), and a README.TXT that says where they
// go. The file at path is replaced whole, or stays as it was.
void exportSet(const QString& base, const QString& name, const QString& path);

} // namespace bootvane
