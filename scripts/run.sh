#!/usr/bin/env bash
# Builds the editor and starts it, passing on the arguments (a file to open).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_TESTS=OFF
cmake --build build-release --target quorvel
exec ./build-release/quorvel "$@"
