#!/usr/bin/env bash
# Installs what is missing, builds Marlo and starts it: scripts/run.sh [IMAGE] [--paper FILE] ...
set -euo pipefail
here=$PWD
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DMARLO_TESTS=OFF -DMARLO_BENCH=OFF >/dev/null
cmake --build build -j2 --target marlo
cd "$here"
exec "$root/build/src/marlo" "$@"
