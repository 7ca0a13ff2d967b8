// The first bytes of a disk image, the boot sector of drive C and the last 512 bytes: the
// format told by its signature (what a qcow2 header names, a VMDK descriptor's extents, an
// HDI's header), then on a raw disk the partition table, the FAT boot sector and a fixed VHD's
// footer.

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
    ImageFormat format;
    FatVolume volume;
    try {
        format = imageFormat(image, path);
        // A container's own bytes are QEMU's to read.
        if (!format.driver.isEmpty())
            return 0;
        volume = locateDriveC(image, path, format.diskOffset);
    } catch (const Error& error) {
        FUZZ_REQUIRE(error.path() == path && !error.reason().isEmpty());
        return 0;
    }
    // mtools is pointed at this offset: it must be a whole boot sector inside the image.
    FUZZ_REQUIRE(format.diskOffset >= 0 && volume.offset >= format.diskOffset &&
                 (volume.offset - format.diskOffset) % 512 == 0);
    FUZZ_REQUIRE(volume.offset + 512 <= qint64(size));
    // Writing past the image's end would grow it, past a partition change another one.
    FUZZ_REQUIRE(volume.size >= 512 && volume.offset + volume.size <= qint64(size));
    FUZZ_REQUIRE(volume.fatBits == 12 || volume.fatBits == 16 || volume.fatBits == 32);
    FUZZ_REQUIRE(volume.label.size() <= 11);
    return 0;
}
