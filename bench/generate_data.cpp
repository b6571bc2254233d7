// Writes the benchmarks' generated history into a folder, for measuring whole programs from a script:
//   kelmora-bench-data FOLDER [TASKS] [INTERVALS_PER_TASK]     (default 1,000 x 1,000)
#include "benchdata.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: kelmora-bench-data FOLDER [TASKS] [INTERVALS_PER_TASK]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    if (std::filesystem::exists(folder, ec) && !std::filesystem::is_empty(folder, ec)) {
        std::fprintf(stderr, "kelmora-bench-data: %s is not empty\n", argv[1]);
        return 1;
    }
    const int tasks = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int intervals = argc > 3 ? std::atoi(argv[3]) : 1000;
    kelmora::bench::GenerateDataFolder(folder, tasks, intervals);
    return 0;
}
