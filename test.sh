#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once as built for use, once more
# under AddressSanitizer and UndefinedBehaviorSanitizer; then fuzzes what reads untrusted
# input for a bounded time (docs/FUZZING.md).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
tools/install-packages.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900

cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_FUZZ=ON
cmake --build build-fuzz -j "$jobs"
fuzz/run-fuzzers.sh -t 20 -b build-fuzz
