#pragma once
// A benchmark's main: a failure unwinds, so the server it started is stopped.

#include <cstdio>
#include <exception>

inline int runBenchmark(int (*run)(int, char **), int argc, char **argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "benchmark failed: %s\n", error.what());
        return 1;
    }
}
