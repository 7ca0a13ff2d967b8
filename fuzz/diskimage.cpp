// The first sector of a disk image, the boot sector of drive C and the last 512 bytes: the
// partition table, the FAT boot sector, a fixed VHD's footer and the containers refused.

#include "diskimage.h"

#include "error.h"
#include "support.h"

#include <QBuffer>

using namespace bootvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes = fuzz::inputBytes(data, size);
    QBuffer image(&bytes);
    image.open(QIODevice::ReadOnly);
    const QString path = QStringLiteral("/images/fuzz.img");
    FatVolume volume;
    try {
        volume = locateDriveC(image, path);
    } catch (const Error& error) {
        FUZZ_REQUIRE(error.path() == path && !error.reason().isEmpty());
        return 0;
    }
    // mtools is pointed at this offset: it must be a whole boot sector inside the image.
    FUZZ_REQUIRE(volume.offset >= 0 && volume.offset % 512 == 0);
    FUZZ_REQUIRE(volume.offset + 512 <= qint64(size));
    // Writing past the image's end would grow it, past a partition change another one.
    FUZZ_REQUIRE(volume.size >= 512 && volume.offset + volume.size <= qint64(size));
    FUZZ_REQUIRE(volume.fatBits == 12 || volume.fatBits == 16 || volume.fatBits == 32);
    FUZZ_REQUIRE(volume.label.size() <= 11);
    return 0;
}
