#!/usr/bin/env bash
# Installs what is missing, builds Marlo and starts it: scripts/run.sh [IMAGE] [--paper FILE] ...
# The build is the Release one of preset run (build/run), apart from the test builds.
set -euo pipefail
here=$PWD
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh
cmake --preset run >/dev/null
cmake --build --preset run
cd "$here"
exec "$root/build/run/src/marlo" "$@"
