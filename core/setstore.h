#pragma once

#include "drive.h"
#include "screenslots.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace bootvane {

// The sets are the folders of the working directory; "Originals" is the one made from the
// system's own screens at the first start. Every set is built in a hidden staging folder and
// renamed into place only when all its files are made, so none is ever seen half-made.

// Removes what copies of Bootvane killed while writing left behind: staging folders in base
// (a base path) and temporary files beside the system files of drive.
void removeWorkLeftByDeadCopies(const QString& base, Drive& drive);

// The set folders listed in base (a base path, ending in a separator), in listing order:
// every folder but ".", ".." and "Originals", hidden ones excepted.
QStringList setFolderNames(const QString& base);

// Whether name can be one set folder in the working directory and nothing else: no path,
// no device name, nothing Windows would refuse or change.
bool isPlainFolderName(const QString& name);

// Whether name is kept for the user's own screens: "Originals", in any case.
bool isReservedSetName(const QString& name);

// The words every way of naming a set uses to refuse a name.
inline const QString setNameMissing = QStringLiteral("You must specify a filename.");
inline const QString setNameTaken = QStringLiteral("That set name already exists.");
inline const QString setNameInvalid = QStringLiteral("That is not a valid set name.");

// Why name cannot be the name of a new set in the working folder base (a base path), in
// those words, or nothing when it can: it is taken when an entry answers to it as a DOS
// listing pattern does, and it must be a plain folder name and no reserved one.
std::optional<QString> refusalOfSetName(const QString& base, const QString& name);

// Whether name can be the name of a new set: a plain folder name, and not a reserved one.
bool isValidSetName(const QString& name);

// What may be proposed as a set's name for proposed (the folder or file a set was shared as):
// its characters that no folder name may hold made spaces, its spaces simplified, the dots and
// spaces at its ends taken away, cut to a length a folder name can have; "" when that is still
// no valid set name ("Originals", "CON", "").
QString usableSetName(const QString& proposed);

// Why Delete Set and Rename Set leave the folder name of base alone, in the user's words
// ("it holds other files ..."), or nothing when they may act on it. They act only on a folder
// that holds nothing but the three screen files, named in any case, and Bootvane's own hidden
// files (".bootvane-..."): any other is the user's, such as their documents when the sets
// folder was chosen badly.
std::optional<QString> whyNotASet(const QString& base, const QString& name);

// Fails, as operation on the folder, when whyNotASet gives a reason.
void requireASet(const QString& base, const QString& name, const QString& operation);

// Moves the set name of base to the desktop's trash, from where the user can get it back.
// "Originals" and a folder that is no set are never moved.
void moveSetToTrash(const QString& base, const QString& name);

// Renames the set from to to in base, all or nothing; never over anything already there,
// never a folder that is no set.
void renameSet(const QString& base, const QString& from, const QString& to);

// Replaces the set file setFile of the working folder base with the bytes of source, whole or
// not at all; never in a folder that leads to what base keeps of the user's own screens.
void replaceSetScreen(const QString& base, const QString& setFile, const QString& source);

// Makes the set name in the folder base from the chosen files, one per slot (an empty
// path leaves its slot out), copied byte for byte under the slots' set file names. False,
// with nothing made, when the name was taken meanwhile.
[[nodiscard]] bool makeSet(const QString& base, const QString& name,
                           const std::array<QString, slotCount>& chosenFiles);

} // namespace bootvane
