#!/usr/bin/env bash
# Installs what is missing, builds, and shows the engine at work on sample profiles under Wine.
set -eu
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset mingw
cmake --build --preset mingw
testbed=build/mingw/testbed
tools/wine-run.sh "$testbed" build/mingw/bin/popswat_engine_tests.exe --gtest_brief=1
