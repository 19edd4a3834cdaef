#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite headless;
# then runs the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, so that a memory fault, a leak or undefined
# behaviour fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
HELMDECK_EXTRA_PACKAGES="clang-14 libclang-rt-14-dev" scripts/setup.sh build
# After the install: the layer check reads the Qt headers to tell modules apart.
scripts/check-layers.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --parallel "$(nproc)"

# The sanitizer pass has its own build folder and builds only what the tests
# need (no benchmarks), unoptimized with line tables only: that compiles far
# faster than an optimized build, and the suite needs no speed.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" \
  -DWITH_SANITIZE=ON -DHELMDECK_BENCHMARKS=OFF >/dev/null
cmake --build build-asan --parallel "$(nproc)"
# Leaks inside libngspice are third-party and suppressed (tests/lsan.supp);
# everything else stops the test that hit it.
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
  ctest --test-dir build-asan --output-on-failure --parallel "$(nproc)"

# Every fuzz target for 30 s on its corpus (clang's libFuzzer with ASan and
# UBSan, in build-fuzz); a crash or a leak fails the run.
fuzz/run.sh 30
