#!/usr/bin/env bash
# Builds every test and runs them all: with AddressSanitizer and UBSan
# (build-test), or with `release` as it ships, optimised and without the
# sanitizers (build-release-test): a test that holds in one build only is
# a fault of the test or of the code.
#
#   scripts/test.sh [release]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
if [[ ${1:-} == release ]]; then
  cmake -S . -B build-release-test -G Ninja -DCMAKE_BUILD_TYPE=Release
  cmake --build build-release-test
  ctest --test-dir build-release-test --output-on-failure -j2
  exit
fi
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE=ON -DQUORVEL_BENCH=ON
cmake --build build-test
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
ctest --test-dir build-test --output-on-failure -j2
