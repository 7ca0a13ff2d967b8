// The main of a fuzz target where libFuzzer is not at hand (gcc): it feeds every file of the
// folders and files it is given, in name order, to the target once. A crash, a sanitizer
// report or a failed property ends it as it would end libFuzzer, and so does an input that
// takes longer than -timeout=SECONDS, as libFuzzer's option says. The time is the CPU's: the
// tests run side by side, and on a machine busy with them a JPEG that takes 0.3 s of CPU took
// 1.29 s by the wall clock.

#include "support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    double timeout = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "-timeout=", 9) == 0) {
            timeout = std::atof(argv[i] + 9);
            continue;
        }
        const fs::path given = argv[i];
        if (fs::is_directory(given)) {
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(given)) {
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
            }
        } else if (fs::is_regular_file(given)) {
            inputs.push_back(given);
        } else {
            std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
            return 2;
        }
    }
    // A target whose folders hold nothing would pass without testing anything.
    if (inputs.empty()) {
        std::fprintf(stderr, "%s: no inputs to replay\n", argv[0]);
        return 2;
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& input : inputs) {
        std::fprintf(stderr, "Running: %s\n", input.c_str());
        std::ifstream file(input, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                      std::istreambuf_iterator<char>()};
        if (!file.eof() && file.fail()) {
            std::fprintf(stderr, "%s: could not be read\n", input.c_str());
            return 2;
        }
        // A copy of exactly its size, as libFuzzer passes it: reads past the end are caught.
        std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
        const std::clock_t start = std::clock();
        LLVMFuzzerTestOneInput(exact.data(), exact.size());
        const double took = double(std::clock() - start) / CLOCKS_PER_SEC;
        if (timeout > 0 && took > timeout) {
            std::fprintf(stderr, "%s: took %.2f s, more than %g s\n", input.c_str(), took, timeout);
            return 1;
        }
    }
    std::fprintf(stderr, "%s: %zu inputs replayed\n", argv[0], inputs.size());
    return 0;
}
