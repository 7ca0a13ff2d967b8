// A set shared as a zip, given as its bytes: every check on its entries before anything is
// unpacked, then the screens it holds unpacked.

#include "setarchive.h"

#include "error.h"
#include "support.h"

using namespace bootvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString shownAs = QStringLiteral("/downloads/fuzz.zip");
    SharedSet set;
    try {
        set = readSetArchive(fuzz::inputBytes(data, size), shownAs);
    } catch (const Error& error) {
        FUZZ_REQUIRE(error.path() == shownAs && !error.reason().isEmpty());
        return 0;
    }
    bool any = false;
    for (const std::optional<QByteArray>& screen : set.screens) {
        FUZZ_REQUIRE(!screen || screen->size() <= largestSharedScreen);
        any = any || screen;
    }
    FUZZ_REQUIRE(any); // a zip without a screen is refused
    return 0;
}
