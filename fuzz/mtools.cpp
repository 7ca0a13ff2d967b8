// What mdir and mattrib print. A disk image from the internet decides the names mdir lists,
// and so, through a name holding control characters, any line it prints.

#include "mtools.h"

#include "support.h"

using namespace bootvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray output = fuzz::inputBytes(data, size);
    for (const QStringList& paths :
         {QStringList{QStringLiteral("::/"), QStringLiteral("::/WINDOWS")},
          QStringList{QStringLiteral("::/WINDOWS")}}) {
        for (const bool cut : {false, true}) {
            const MtoolsVolume::Listing listing = MtoolsVolume::parseListing(output, paths, cut);
            // Every folder asked for, or those before the one that could not be read.
            FUZZ_REQUIRE(listing.unreadable.isEmpty()
                             ? listing.folders.size() == size_t(paths.size())
                             : listing.folders.size() < size_t(paths.size()) &&
                                   paths[qsizetype(listing.folders.size())] == listing.unreadable);
            for (const std::vector<MtoolsVolume::Entry>& folder : listing.folders) {
                for (const MtoolsVolume::Entry& entry : folder) {
                    // An 8.3 name of printable characters, as the C locale prints one.
                    FUZZ_REQUIRE(!entry.name.isEmpty() && entry.name.size() <= 12);
                    for (const QChar c : entry.name)
                        FUZZ_REQUIRE(c >= QLatin1Char(' ') && c <= QLatin1Char('~'));
                }
            }
        }
    }
    const QString letters = MtoolsVolume::parseAttributes(output);
    for (const QChar letter : letters) {
        FUZZ_REQUIRE(QStringLiteral("AHRS").contains(letter));
        FUZZ_REQUIRE(letters.count(letter) == 1);
    }
    return 0;
}
