#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the fuzzer with the broken invariant's name, which libFuzzer then reports with the input.
inline void require(bool condition, const char *what)
{
    if (condition) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}
