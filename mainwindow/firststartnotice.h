#pragma once

#include "paths.h"

#include <QString>

namespace bootvane {

// What the first start on a drive knows when it tells the user that it is about to save their
// screens.
struct FirstStartFacts {
    QString setsFolder; // the base path of the sets folder
    SetsFolder choice;  // why the sets are kept there
    // Where the drive was copied from, when it was just told apart from that drive.
    QString copyOf;
};

// The first-start notice: one paragraph for each thing the user should know before their
// screens are saved.
QString firstStartNotice(const FirstStartFacts& facts);

// What the user is told of a drive just told apart from the one at copyOf it was copied from.
QString copyNotice(const QString& copyOf);

} // namespace bootvane
