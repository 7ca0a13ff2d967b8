#pragma once

#include "screenslots.h"

#include <QString>
#include <QStringList>
#include <array>

namespace bootvane {

// The sets are the folders of the working directory; "Originals" is the one made from the
// system's own screens at the first start. Every set is built in a hidden staging folder and
// renamed into place only when all its files are made, so none is ever seen half-made.

// Whether the working directory (the current directory) has no entry named "Originals",
// plain file or folder: then the user's own screens have not been saved yet.
bool originalsMissing();

// Copies the system files byte for byte into a new "Originals" folder of the current
// directory; one that is absent is left out, and that absence is what "Originals" records.
// An "Originals" that appears meanwhile is kept as it is.
void backupOriginals();

// Removes what copies of Bootvane killed while writing left behind: staging folders in base
// (a base path) and temporary files beside the system files.
void removeWorkLeftByDeadCopies(const QString& base);

// The set folders listed in base (a base path, ending in a separator), in listing order:
// every folder but ".", ".." and "Originals", hidden ones excepted.
QStringList setFolderNames(const QString& base);

// Whether name can be one set folder in the working directory and nothing else: no path,
// no device name, nothing Windows would refuse or change.
bool isPlainFolderName(const QString& name);

// Makes the set name in the folder base from the chosen files, one per slot (an empty
// path leaves its slot out), copied byte for byte under the slots' set file names. False,
// with nothing made, when the name was taken meanwhile.
[[nodiscard]] bool makeSet(const QString& base, const QString& name,
                           const std::array<QString, slotCount>& chosenFiles);

} // namespace bootvane
