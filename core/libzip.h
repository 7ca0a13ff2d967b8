#pragma once

#include <QString>
#include <zip.h>

namespace bootvane {

// The libzip functions Bootvane calls, from the library loaded at the first zip read or
// written. Linked in, libzip brings OpenSSL's libcrypto with it into every start, which costs
// a start several milliseconds for zips that most starts never see.
#define BOOTVANE_LIBZIP_FUNCTIONS(F)                                                               \
    F(zip_close)                                                                                   \
    F(zip_discard)                                                                                 \
    F(zip_error_fini)                                                                              \
    F(zip_error_init)                                                                              \
    F(zip_error_init_with_code)                                                                    \
    F(zip_error_strerror)                                                                          \
    F(zip_fclose)                                                                                  \
    F(zip_file_add)                                                                                \
    F(zip_file_get_error)                                                                          \
    F(zip_file_get_external_attributes)                                                            \
    F(zip_fopen_index)                                                                             \
    F(zip_fread)                                                                                   \
    F(zip_get_error)                                                                               \
    F(zip_get_num_entries)                                                                         \
    F(zip_open)                                                                                    \
    F(zip_open_from_source)                                                                        \
    F(zip_source_buffer)                                                                           \
    F(zip_source_buffer_create)                                                                    \
    F(zip_source_free)                                                                             \
    F(zip_stat_index)

struct LibZip {
#define BOOTVANE_LIBZIP_POINTER(name) decltype(&::name) name = nullptr;
    BOOTVANE_LIBZIP_FUNCTIONS(BOOTVANE_LIBZIP_POINTER)
#undef BOOTVANE_LIBZIP_POINTER
};

// libzip, loaded at the first call and kept. Throws, naming operation and path, when it cannot
// be loaded, with the package to install.
const LibZip& libZip(const QString& operation, const QString& path);

} // namespace bootvane
