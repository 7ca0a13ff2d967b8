#pragma once

#include "screenslots.h"

#include <QByteArray>
#include <QString>
#include <array>

namespace bootvane {

// Sets as they are shared: a zip, or a folder, holding logo.sys, logow.sys and logos.sys.
// Whatever comes from the internet is taken as hostile: nothing is written until the whole
// archive has been checked and the three screens read.

using SetScreens = std::array<QByteArray, slotCount>;

// The largest screen file a shared set may hold, and the most entries its zip may have.
inline constexpr qint64 largestSharedScreen = 16 * 1024 * 1024;
inline constexpr int mostArchiveEntries = 64;

// The three screens of a set shared as a zip, given as its bytes. They may lie at the top
// level, inside one folder, or as on drive C (LOGO.SYS, WINDOWS/LOGOW.SYS,
// WINDOWS/LOGOS.SYS), named in any case. Throws, naming shownAs and what is wrong, for a
// damaged, truncated or encrypted zip, entries that climb out of it or are links or
// devices, more than mostArchiveEntries entries, a file over largestSharedScreen or one that
// unpacks to more than the zip says, and a screen missing or found twice.
SetScreens readSetArchive(const QByteArray& zip, const QString& shownAs);

// The same from the zip file or folder at path, and each screen must be a picture.
SetScreens readSharedSet(const QString& path);

// Makes the set name in the working folder base (a base path) from the screens' bytes, all
// or nothing. False, with nothing made, when the name was taken meanwhile.
[[nodiscard]] bool makeSetFromScreens(const QString& base, const QString& name,
                                      const SetScreens& screens);

// Writes the set name of base as a zip at path holding logo.sys, logow.sys and logos.sys,
// byte for byte: the file at path is replaced whole, or stays as it was.
void exportSet(const QString& base, const QString& name, const QString& path);

} // namespace bootvane
