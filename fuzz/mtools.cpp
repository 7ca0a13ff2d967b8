// What mdir and mattrib print. A disk image from the internet decides the names and sizes
// mdir lists, and so any line it prints.

#include "mtools.h"

#include "support.h"

using namespace bootvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray output = fuzz::inputBytes(data, size);
    for (const std::vector<MtoolsVolume::Entry>& folder : MtoolsVolume::parseListing(output)) {
        for (const MtoolsVolume::Entry& entry : folder) {
            // An 8.3 name, compared with the one a system file has.
            FUZZ_REQUIRE(!entry.name.isEmpty() && entry.name.size() <= 12);
            FUZZ_REQUIRE(!entry.isFolder || entry.size == 0);
        }
    }
    const QString letters = MtoolsVolume::parseAttributes(output);
    for (const QChar letter : letters) {
        FUZZ_REQUIRE(QStringLiteral("AHRS").contains(letter));
        FUZZ_REQUIRE(letters.count(letter) == 1);
    }
    return 0;
}
