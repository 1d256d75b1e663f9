#pragma once
// The check every fuzz target makes: a broken property aborts, which both the
// fuzzer and the corpus replay report.
#include <cstdlib>

inline void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}
