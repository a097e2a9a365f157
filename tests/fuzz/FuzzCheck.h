#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

// A property of the code under the fuzzer; a broken one stops the fuzzer with the input kept.
#define FUZZ_CHECK(condition, what)                                                          \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            std::fprintf(stderr, "broken: %s (%s)\n", #condition, std::string(what).c_str()); \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)
