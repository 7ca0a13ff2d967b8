// Preloaded by the fault matrix (LD_PRELOAD) into the program under test, it makes the file
// system behave as some network and FUSE ones do:
// - BOOTVANE_LYING_RENAME, "function:number" ("renameat2:3" is the third call of renameat2 in
//   the process): that rename is done but reports EIO, as when the reply to it is lost. It
//   says so on standard error, so that the test knows.
// - BOOTVANE_FLOCK_DOES_NOTHING: every flock succeeds and keeps no one out.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/file.h>

namespace {

// Whether this call of function is the one to lie about; counts the calls of each function.
bool liesAbout(const char* function)
{
    static int renames = 0, renameats = 0, renameat2s = 0;
    int& calls = std::strcmp(function, "rename") == 0     ? renames
                 : std::strcmp(function, "renameat") == 0 ? renameats
                                                          : renameat2s;
    ++calls;
    const char* setting = std::getenv("BOOTVANE_LYING_RENAME");
    if (!setting)
        return false;
    const std::string wanted(setting);
    const std::size_t colon = wanted.find(':');
    if (colon == std::string::npos || wanted.substr(0, colon) != function ||
        std::atoi(wanted.c_str() + colon + 1) != calls)
        return false;
    return true;
}

template <typename Function> Function real(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

// Every call is counted, as strace numbers them; only one that succeeded is lied about.
int reported(int result, const char* function)
{
    if (liesAbout(function) && result == 0) {
        std::fprintf(stderr, "bootvane-renamelie: %s done, EIO reported\n", function);
        errno = EIO;
        return -1;
    }
    return result;
}

} // namespace

extern "C" int rename(const char* from, const char* to)
{
    static const auto call = real<int (*)(const char*, const char*)>("rename");
    return reported(call(from, to), "rename");
}

extern "C" int renameat(int fromFolder, const char* from, int toFolder, const char* to)
{
    static const auto call = real<int (*)(int, const char*, int, const char*)>("renameat");
    return reported(call(fromFolder, from, toFolder, to), "renameat");
}

extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to,
                         unsigned flags)
{
    static const auto call =
        real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    return reported(call(fromFolder, from, toFolder, to, flags), "renameat2");
}

extern "C" int flock(int fd, int operation)
{
    static const auto call = real<int (*)(int, int)>("flock");
    return std::getenv("BOOTVANE_FLOCK_DOES_NOTHING") ? 0 : call(fd, operation);
}
