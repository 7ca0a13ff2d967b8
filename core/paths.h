#pragma once

#include "screenslots.h"

#include <QString>

namespace bootvane {

inline const QString originalsName = QStringLiteral("Originals");
inline const QString setsRootText = QStringLiteral("Bootvane Sets");
inline const QString setsRootKey = QStringLiteral("First");

// Paths are made by plain concatenation with the platform's own separator, as Windows
// does with "\": nothing is normalised, so a base path at a root ends in two separators.
QString pathSeparator();

// The current directory followed by one separator, whatever it already ends with. Throws,
// naming the folder as well as it can, when the system cannot give it (it was deleted).
QString basePath();

// base & set & separator & the slot's file name
QString setFilePath(const QString& base, const QString& setName, const ScreenSlot& slot);

// Why the sets are kept where they are, as start-up chose the folder.
struct SetsFolder {
    bool apartFromHome = false; // started in the home folder, whose own folders are no sets
    bool made = false;          // made for the sets at this start
};

// The folder the desktop's menu entry starts Bootvane in, as its launcher finds it: "Bootvane"
// in the documents folder that the XDG user-dirs settings name, else in the home folder.
QString menuSetsFolder();

// Makes the folder of the sets the working folder. It is asked, when given (relative to the
// folder Bootvane was started in), else that folder itself, unless it is the home folder,
// which would list Documents, Music and the rest as sets: then it is menuSetsFolder(). A
// missing folder is made. Throws, naming the folder, when it is a file or cannot be made or
// entered.
SetsFolder enterSetsFolder(const QString& asked);

} // namespace bootvane
