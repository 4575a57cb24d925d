#!/usr/bin/env bash
# Builds kvel and starts the bundled demo application in this terminal.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
cd examples/demo && exec ../../build/app/kvel "$@"
