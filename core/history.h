#pragma once

#include "drive.h"
#include "originals.h"
#include "screenslots.h"

#include <QString>
#include <array>
#include <optional>

namespace bootvane {

// What "Set as Current" and "Restore originals" replaced on a drive, kept in the working folder
// so that "Undo Set as Current" can put it back: the last ten replacements of each drive, in
// ".bootvane-history/<key>/<number>", each a copy of the three screens with the record of the
// files the drive did not have. Screens byte-identical to the drive's originals are kept as a
// note that says so, the originals being kept anyway.
// The folders of base that hold the history of each drive.
QStringList historyFolders(const QString& base);

class ScreenHistory {
public:
    static constexpr int kept = 10;

    // The history of drive in the working folder base (a base path).
    ScreenHistory(const QString& base, const Drive& drive);

    // One replacement, newest last.
    struct Step {
        QString folder;                     // where its screens are
        std::array<bool, slotCount> absent; // the files the drive did not have then
        QString filePath(int slot) const;
    };

    // Keeps screens, the drive's screens in use, as the newest step, all or nothing, and
    // forgets the oldest beyond the last ten.
    void keep(const ScreensInUse& screens);
    // The newest step, or nothing.
    std::optional<Step> newest() const;
    // Forgets the newest step, once it has been put back.
    void forgetNewest();

private:
    QStringList stepNames() const;
    void forget(const QString& step);

    QString m_base;
    const Drive& m_drive;
    QString m_folder;
};

} // namespace bootvane
