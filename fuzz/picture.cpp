// BMP headers and everything else decodePicture reads: the OS/2 rewrite, the palette that
// must fit, run-length codes, biClrImportant and the plain-screen check. Each input is read
// both ways the program reads a screen: as a preview, and for applying, with the bytes kept
// that go on the drive as they are; both must give the same picture. A 320 x 400 picture of
// 8 bits a pixel that is accepted must come back from encodeBmp as it was: that is how every
// screen reaches drive C.

#include "picture.h"

#include "error.h"
#include "support.h"

#include <cstring>
#include <optional>

using namespace bootvane;

namespace {

// A BMP palette entry has no alpha, and Windows shows none.
QRgb opaque(QRgb colour)
{
    return colour | 0xff000000u;
}

void requireSurvivesEncoding(const QImage& picture)
{
    const QByteArray encoded = encodeBmp(picture);
    QByteArray asTheyAre;
    const QImage again = decodePicture(encoded, QStringLiteral("encoded.bmp"), &asTheyAre);
    // What Bootvane writes for such a picture is itself a screen Windows shows as it is.
    FUZZ_REQUIRE(asTheyAre == encoded);
    FUZZ_REQUIRE(again.format() == QImage::Format_Indexed8);
    FUZZ_REQUIRE(again.size() == picture.size());
    for (int y = 0; y < picture.height(); ++y) {
        FUZZ_REQUIRE(std::memcmp(again.constScanLine(y), picture.constScanLine(y),
                                 size_t(picture.width())) == 0);
    }
    const QList<QRgb> before = picture.colorTable();
    const QList<QRgb> after = again.colorTable();
    FUZZ_REQUIRE(after.size() >= before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        FUZZ_REQUIRE(opaque(after[i]) == opaque(before[i]));
    const QString key = QLatin1String(bmpImportantColoursKey);
    FUZZ_REQUIRE(again.text(key).toUInt() == picture.text(key).toUInt());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::startApplicationOnce();
    const QByteArray bytes = fuzz::inputBytes(data, size);
    const QString name = QStringLiteral("fuzz.bmp");
    // The preview's way; only a screen whose bytes are kept takes another path.
    const auto shown = [&]() -> std::optional<QImage> {
        try {
            return decodePicture(bytes, name);
        } catch (const Error& error) {
            FUZZ_REQUIRE(error.path() == name && !error.reason().isEmpty());
            return std::nullopt;
        }
    };
    QByteArray asTheyAre;
    QImage picture;
    try {
        picture = decodePicture(bytes, name, &asTheyAre);
    } catch (const Error& error) {
        FUZZ_REQUIRE(error.path() == name && !error.reason().isEmpty());
        FUZZ_REQUIRE(!shown());
        return 0;
    }
    if (!asTheyAre.isEmpty())
        FUZZ_REQUIRE(shown() == picture);
    FUZZ_REQUIRE(!picture.isNull());
    FUZZ_REQUIRE(asTheyAre.isEmpty() || asTheyAre == bytes);
    if (picture.format() == QImage::Format_Indexed8 && picture.size() == QSize(320, 400))
        requireSurvivesEncoding(picture);
    return 0;
}
