#!/usr/bin/env bash
# Installs what is missing, builds everything for Windows and runs every test under Wine.
set -eu
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset mingw
cmake --build --preset mingw
# A test that fails is run once more: under Wine, a window's activation or a program's
# start now and then comes late on a busy machine. Both tries stay in the log, and a
# test that fails twice fails the run.
ctest --preset mingw --repeat until-pass:2
