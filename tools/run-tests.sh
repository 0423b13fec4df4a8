#!/usr/bin/env bash
# Installs what is missing, builds everything for Windows and runs every test under Wine.
set -eu
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset mingw
cmake --build --preset mingw
ctest --preset mingw
