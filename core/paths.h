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

} // namespace bootvane
