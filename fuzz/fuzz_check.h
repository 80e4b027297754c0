// What a fuzz target does when the code under test breaks one of its
// promises: names the promise and traps, so that libFuzzer stops and keeps
// the input that broke it.
#pragma once

#include <cstdio>

#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "broken promise: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      __builtin_trap();                                                                     \
    }                                                                                       \
  } while (0)
