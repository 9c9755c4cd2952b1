#pragma once
// Invariant checks for the fuzz targets: a broken invariant prints what broke
// with two numbers that help to tell why, then aborts so libFuzzer keeps the
// input.

#include <cstdio>
#include <cstdlib>

namespace tools::test {

[[noreturn]] inline void broken_invariant(const char* target, const char* what, long a, long b) {
  std::fprintf(stderr, "%s: broken invariant: %s (%ld, %ld)\n", target, what, a, b);
  std::abort();
}

}  // namespace tools::test

// FUZZ_CHECK(cond) or FUZZ_CHECK(cond, a, b): aborts when `cond` is false,
// printing the condition and the values a and b. Each target defines
// FUZZ_TARGET_NAME before including this header.
#define FUZZ_CHECK_3(cond, a, b)                                                                 \
  do {                                                                                           \
    if (!(cond)) ::tools::test::broken_invariant(FUZZ_TARGET_NAME, #cond, (long)(a), (long)(b)); \
  } while (0)
#define FUZZ_CHECK_1(cond) FUZZ_CHECK_3(cond, 0, 0)
#define FUZZ_CHECK_PICK(_1, _2, _3, name, ...) name
#define FUZZ_CHECK(...) FUZZ_CHECK_PICK(__VA_ARGS__, FUZZ_CHECK_3, _unused, FUZZ_CHECK_1, _unused)(__VA_ARGS__)
