// Raw file names through the name codec: every name on a disk must survive the round trip
// unchanged, or Bootvane can never find the file again.

#include "filenames.h"

#include "support.h"

using namespace bootvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = fuzz::inputBytes(data, size);
    const QString name = decodeFileName(bytes);
    FUZZ_REQUIRE(encodeFileName(name) == bytes);
    // What the user is shown is text: no byte stands in it for itself.
    const QString shown = displayFileName(name);
    FUZZ_REQUIRE(QStringView(shown).isValidUtf16());
    FUZZ_REQUIRE(shown == name || !QByteArrayView(bytes).isValidUtf8());
    return 0;
}
