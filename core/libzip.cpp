#include "libzip.h"

#include "error.h"

#include <QLibrary>
#include <QStringList>

namespace bootvane {

namespace {

struct Loaded {
    LibZip functions;
    QString problem; // why libzip could not be loaded, or ""
};

Loaded load()
{
    // The library of libzip's fourth interface, which the header built against declares:
    // libzip.so.4 (Debian's libzip4). It stays loaded once it is.
    QLibrary library(QStringLiteral("zip"), 4);
    Loaded loaded;
    if (!library.load()) {
        loaded.problem = library.errorString();
        return loaded;
    }
    QStringList missing;
#define BOOTVANE_LIBZIP_RESOLVE(name)                                                              \
    loaded.functions.name = reinterpret_cast<decltype(&::name)>(library.resolve(#name));           \
    if (!loaded.functions.name)                                                                    \
        missing.append(QStringLiteral(#name));
    BOOTVANE_LIBZIP_FUNCTIONS(BOOTVANE_LIBZIP_RESOLVE)
#undef BOOTVANE_LIBZIP_RESOLVE
    if (!missing.isEmpty())
        loaded.problem = QStringLiteral("%1 lacks %2")
                             .arg(library.fileName(), missing.join(QStringLiteral(", ")));
    return loaded;
}

} // namespace

const LibZip& libZip(const QString& operation, const QString& path)
{
    static const Loaded loaded = load();
    if (!loaded.problem.isEmpty())
        fail(operation, path,
             QStringLiteral("libzip, which reads and writes zips, cannot be loaded (%1); install "
                            "the package libzip4")
                 .arg(loaded.problem));
    return loaded.functions;
}

} // namespace bootvane
