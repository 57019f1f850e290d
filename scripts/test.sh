#!/usr/bin/env bash
# Installs what is missing, builds Marlo and runs every test: once in a plain build (preset dev,
# build/dev), once under AddressSanitizer and UndefinedBehaviorSanitizer (preset asan,
# build/asan). CMakePresets.json holds the settings of both, the sanitizers' options included.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"

echo "== Build and test =="
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev

echo "== Build and test under AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan
