#!/usr/bin/env bash
# Builds the audit's plain C++ parts (JSON lookup, Firefox record scan, text
# masking) natively with the host compiler under AddressSanitizer and UBSan, with
# their tests and the randomized test, and runs them. Optional: the Windows build
# and its tests under Wine do not need it.
#   tools/sanitize-audit.sh [BUILD_DIR]        (default build/sanitize)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/sanitize}
gtest=${POPSWAT_GTEST_SOURCE_DIR:-/usr/src/googletest}/googletest
cxx=${CXX_HOST:-g++}
mkdir -p "$out"
flags=(-std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all
       -Wall -Wextra -I"$root" -I"$gtest/include" -I"$gtest")
if [ ! -f "$out/gtest-all.o" ]; then
    "$cxx" "${flags[@]}" -c "$gtest/src/gtest-all.cc" -o "$out/gtest-all.o"
    "$cxx" "${flags[@]}" -c "$gtest/src/gtest_main.cc" -o "$out/gtest_main.o"
fi
"$cxx" "${flags[@]}" -o "$out/audit_plain_tests" \
    "$root/audit/json_lookup.cpp" "$root/audit/firefox_records.cpp" "$root/audit/display_text.cpp" \
    "$root/base/line_text.cpp" "$root/base/ascii_text.cpp" "$root/base/unicode_text.cpp" \
    "$root/tests/audit_json_lookup_test.cpp" "$root/tests/audit_firefox_records_test.cpp" \
    "$root/tests/audit_display_text_test.cpp" "$root/tests/audit_random_json_test.cpp" \
    "$out/gtest-all.o" "$out/gtest_main.o" -pthread
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 "$out/audit_plain_tests"
