#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

// What every fuzz target shares. A target is built twice: as a libFuzzer program (the fuzz
// preset, clang) and linked to replay.cpp, which the replay test runs in every build.

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace bootvane::fuzz {

// The input without a copy: a read one byte past its end is then outside the fuzzer's own
// buffer, where AddressSanitizer sees it, not on the terminating zero a copy would have.
inline QByteArray inputBytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The application object Qt's image plugins need, made on the first call, with the picture
// limits the program sets at start.
void startApplicationOnce();

// A property that failed is a fault like a crash: it aborts, naming what failed, so that
// libFuzzer keeps the input and the replay test fails on it.
[[noreturn]] void propertyFailed(const char* what, const char* file, int line);

} // namespace bootvane::fuzz

#define FUZZ_REQUIRE(condition)                                                                    \
    ((condition) ? void(0) : ::bootvane::fuzz::propertyFailed(#condition, __FILE__, __LINE__))
