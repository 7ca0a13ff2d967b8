#pragma once

#include <QByteArray>
#include <QString>

namespace bootvane {

// File names are bytes, and not every name on a disk is valid UTF-8: a folder copied from an
// old disk may be called "caf\xe9" in Latin-1. Qt's own file classes decode such a byte to
// U+FFFD and can then never find the file again. Core passes every name to and from the
// system through these two instead: a byte that is not part of valid UTF-8 becomes the lone
// surrogate U+DC80 + byte, and back, so that every name survives the round trip unchanged.
QString decodeFileName(const QByteArray& bytes);
QByteArray encodeFileName(const QString& name);

// What a user is shown for a name decodeFileName gave: the text Qt would have decoded, with
// U+FFFD for the bytes that are not UTF-8. Names that are valid UTF-8 come back unchanged.
QString displayFileName(const QString& name);

} // namespace bootvane
