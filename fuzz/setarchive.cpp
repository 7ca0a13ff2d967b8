// A set shared as a zip, given as its bytes: every check on its entries before anything is
// unpacked, then the three screens unpacked.

#include "setarchive.h"

#include "error.h"
#include "support.h"

using namespace bootvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString shownAs = QStringLiteral("/downloads/fuzz.zip");
    SetScreens screens;
    try {
        screens = readSetArchive(fuzz::inputBytes(data, size), shownAs);
    } catch (const Error& error) {
        FUZZ_REQUIRE(error.path() == shownAs && !error.reason().isEmpty());
        return 0;
    }
    for (const QByteArray& screen : screens)
        FUZZ_REQUIRE(screen.size() <= largestSharedScreen);
    return 0;
}
