#pragma once

#include "drive.h"
#include "originals.h"
#include "screenslots.h"
#include "systemscreens.h"

#include <QString>
#include <array>
#include <optional>

namespace bootvane {

// What "Set as Current" and "Restore originals" replaced on a drive, kept in the working folder
// so that "Undo Set as Current" can put it back: the last ten replacements of each drive, in
// ".bootvane-history/<key>/<number>", each a copy of the three screens with the record of the
// files the drive did not have and a fingerprint of each file written over them. Screens
// byte-identical to the drive's originals are kept as a note that says so, the originals being
// kept anyway.
// The folders of base that hold the history of each drive.
QStringList historyFolders(const QString& base);
// The folder of base that holds the history of the drive with recordKey.
QString historyFolderOf(const QString& base, const QString& recordKey);
// Makes such a folder, and the one that holds them all, unless they are there.
void makeHistoryFolder(const QString& folder);

// Removes from one of those folders what forgetting a step left behind when it was cut short.
void removeForgottenSteps(const QString& folder);

class ScreenHistory {
public:
    static constexpr int kept = 10;

    // The history of drive in the working folder base (a base path).
    ScreenHistory(const QString& base, const Drive& drive);

    // One replacement, newest last.
    struct Step {
        QString name;
        QString folder;                     // where its screens are
        std::array<bool, slotCount> absent; // the files the drive did not have then
        // The fingerprint of each file written over them (see fingerprint), or "" when that
        // is not known.
        std::array<QByteArray, slotCount> written;
        QString windowsFolder; // where the Waiting and Shutoff screens kept were

        QString filePath(int slot) const;
    };
    // What tells the bytes of a file, or its absence, from any other.
    static QByteArray fingerprint(const std::optional<QByteArray>& file);

    // Keeps screens, the drive's screens in use, as the newest step, all or nothing, with the
    // fingerprints of the files that go over them; the name of the step.
    QString keep(const ScreensInUse& screens, const std::array<ScreenUpdate, slotCount>& updates);
    // Where the steps are.
    const QString& folder() const { return m_folder; }
    // The newest step, or nothing.
    std::optional<Step> newest() const;
    // Forgets one step: the newest once it has been put back, or one whose apply never began.
    // Whether it is gone from the history.
    bool forget(const QString& step);
    // Forgets the oldest steps beyond the last ten; one that cannot go is tried again later.
    void forgetBeyondKept();

private:
    QStringList stepNames() const;

    QString m_base;
    const Drive& m_drive;
    QString m_folder;
};

// Gives the drive with toKey a copy of the history of the drive with fromKey, as far as it is
// true of a drive that shows now: a copy of a disk image told apart from its twin keeps the
// steps they shared, not those made on the twin since.
void copyHistory(const QString& base, const QString& fromKey, const QString& toKey,
                 const ScreensInUse& now);

// The steps kept in a folder of the history, oldest first.
QStringList stepsIn(const QString& folder);

// Writes updates over the screens in use of drive, as installScreens does, once those screens
// are kept as the newest step of its history in base, unless nothing would change. An apply
// refused before the drive changed leaves no step behind.
void installKeepingHistory(const QString& base, Drive& drive,
                           const std::array<ScreenUpdate, slotCount>& updates);

// Puts back, byte for byte, the screens the newest step of the history of drive kept, and
// forgets the step; false when there is none. A screen in use that is neither what that step
// wrote nor what it kept was changed since, and is not replaced: nothing is written.
bool undoLastInstall(const QString& base, Drive& drive);

} // namespace bootvane
