#!/usr/bin/env bash
# Installs what is missing, builds the programs in the Release build of preset run (build/run,
# the one scripts/run.sh uses) and makes the Debian package of them there:
#   bash scripts/package.sh && apt-get install ./build/run/marlo_VERSION_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset run >/dev/null
cmake --build build/run -j2
(cd build/run && cpack -G DEB >/dev/null)
ls build/run/marlo_*.deb
