#pragma once
// Timing a piece of work over many files, for the benchmarks.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// Best of three runs of `work` over all files, in seconds; ends the program
// when `work` fails on a file.
inline double Best(const std::vector<std::string>& files,
                   const std::function<bool(const std::string&)>& work) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::size_t ok = 0;
        for (const std::string& f : files) {
            ok += work(f) ? 1 : 0;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (ok != files.size()) {
            std::fprintf(stderr, "only %zu of %zu files worked\n", ok, files.size());
            std::exit(1);
        }
        best = std::min(best, seconds);
    }
    return best;
}

}  // namespace bench
