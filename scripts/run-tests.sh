#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs every test.
#   scripts/run-tests.sh             warnings as errors, build in build/
#   scripts/run-tests.sh --sanitize  the same under AddressSanitizer + UBSan, in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=build
flags=(-DQUILLON_WERROR=ON)
# No optimiser and little debug information: this build is for checking, and
# compiling is most of what it costs.
if [ "${1:-}" = "--sanitize" ]; then
    build=build-asan
    flags+=(-DQUILLON_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O0 -g1")
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    # Qt's own libraries are not instrumented; their one-time allocations are not ours.
    export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
else
    flags+=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O0 -g0")
fi
cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build" --parallel 2
cd "$build"
ctest --output-on-failure --parallel 2 --timeout 300
