#!/usr/bin/env bash
# Builds Quorlink with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORLINK_SANITIZE=ON >/dev/null
cmake --build build/asan
cd build/asan
# The suite first, then the Debian package, which builds a Release tree of its own, and the
# real-time import round trip (a whole write and read, over a minute), so that they slow no
# other test.
ctest --output-on-failure -j2 -LE 'package|slow' "$@"
ctest --output-on-failure -j2 -L 'package|slow' "$@"
