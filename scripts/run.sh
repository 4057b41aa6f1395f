#!/usr/bin/env bash
# Builds Quorlink and starts it. With no cable configured (no stored port setting and not
# exactly one USB serial adapter, or a COM port whose device is missing) it starts with the
# simulated radio (--demo).
# Arguments are passed to the program: scripts/run.sh --demo, scripts/run.sh --config F.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORLINK_TESTS=OFF >/dev/null
cmake --build build/release
exec build/release/quorlink --demo-if-no-cable "$@"
