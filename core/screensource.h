#pragma once

#include "drive.h"
#include "screenslots.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <array>

namespace bootvane {

// Where one screen of a new set comes from: a file, copied byte for byte; bytes read already,
// from drive C or made by Bootvane; or nowhere, with the reason in the user's words.
class ScreenSource {
public:
    static ScreenSource file(const QString& path);
    // name is what messages call the bytes.
    static ScreenSource contents(const QByteArray& bytes, const QString& name);
    // why says what is missing, to end a sentence: "drive C has no Waiting Screen (...)"
    static ScreenSource missing(const QString& why);

    bool isMissing() const { return m_kind == Kind::Missing; }
    const QString& whyMissing() const { return m_why; }

    // The screen as a picture. Throws when it cannot be read or is missing.
    QImage picture() const;

    // The file that holds the screen: its own, or one written in folder for bytes. Throws
    // when it is missing.
    QString fileIn(const QString& folder, const ScreenSlot& slot) const;

private:
    enum class Kind { File, Contents, Missing };

    Kind m_kind = Kind::Missing;
    QString m_path; // the file, or the name of the contents
    QByteArray m_bytes;
    QString m_why;
};

using SetSources = std::array<ScreenSource, slotCount>;

// The screen of a set in the file at path. A set that records that the drive had no such
// file (the originals do) has Windows' own screen there, which no file holds.
ScreenSource setScreenSource(const QString& path, const ScreenSlot& slot, bool recordedAbsent,
                             const QString& windows = QLatin1String(defaultWindows));

// The files chosen for a new set, one per slot; an empty path is a slot not chosen yet.
SetSources chosenSources(const std::array<QString, slotCount>& files);

// The screens in use on drive, read now; one that the drive lacks is Windows' own.
SetSources sourcesInUse(const Drive& drive, const QString& windows = QLatin1String(defaultWindows));

// Makes the set name in base from the sources, all of it or nothing, as makeSet does. False,
// with nothing made, when the name was taken meanwhile. Throws when a source is missing.
[[nodiscard]] bool makeSetFrom(const QString& base, const QString& name, const SetSources& screens);

} // namespace bootvane
