#!/usr/bin/env bash
# Builds Quorlink with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORLINK_SANITIZE=ON >/dev/null
cmake --build build/asan
cd build/asan
ctest --output-on-failure -j2 "$@"
