#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace bootvane {

// Reads a picture file. Its format is decided from its content, never from its name (screen
// files are BMPs called .sys), and every format Qt reads is accepted. The empty name gives
// the empty picture. Throws when the file is missing, unreadable, no picture, damaged (a BMP
// shorter than its header says) or too large to hold in memory.
//
// When bytesAsTheyAre is given and the file is a BMP that Windows 95 shows as it is (an
// uncompressed 8-bit BMP of 320 x 400 pixels), it receives the file's bytes, read from the
// same open file as the picture; otherwise it is left empty.
QImage loadPicture(const QString& path, QByteArray* bytesAsTheyAre = nullptr);

// Reads a picture from bytes in memory as loadPicture reads a file; errors name name.
QImage decodePicture(const QByteArray& bytes, const QString& name,
                     QByteArray* bytesAsTheyAre = nullptr);

// Reads the whole file at path into bytes, whatever it holds, and the picture they make, as
// loadPicture reads it; throws as loadPicture does.
QImage loadPictureWithBytes(const QString& path, QByteArray& bytes);

// Encodes a picture as a BMP that Windows 95 can show as a screen: up to 256 colours as
// 8 bits per pixel with a full 256-entry palette (an indexed picture keeps its palette order
// and pixel indexes), more colours as 24 bits per pixel. The colour-cycling field that
// Windows 95 reads from biClrImportant is carried over from a BMP source unchanged.
QByteArray encodeBmp(const QImage& picture);

// Writes the picture as a BMP over path, atomically: the old file stays whole on failure.
void savePicture(const QImage& picture, const QString& path);

// The size of the picture as its file has it: a large photo is decoded at a fraction of its
// size, which the picture itself then has.
QSize pictureSize(const QImage& picture);

// 0 for the empty picture, a number unique to the picture otherwise.
qint64 pictureHandle(const QImage& picture);

// The key under which a picture read from a BMP remembers its biClrImportant field.
inline constexpr char bmpImportantColoursKey[] = "Bootvane.BmpClrImportant";
// The key under which a picture read from a file or bytes keeps how they hold it: screenBmpForm
// for the BMP that goes over a system file byte for byte, runLengthForm for a run-length coded
// BMP, else the format's name as Qt gives it ("bmp", "png", "jpeg"). A picture made in memory
// has none.
inline constexpr char storedFormKey[] = "Bootvane.StoredForm";
inline constexpr char screenBmpForm[] = "screen";
inline constexpr char runLengthForm[] = "run-length";
// The key under which a picture decoded at a reduced scale keeps its file's size, "8000x6000".
inline constexpr char decodedFromKey[] = "Bootvane.DecodedFrom";

} // namespace bootvane
