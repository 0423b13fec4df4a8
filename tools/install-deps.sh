#!/usr/bin/env bash
# Installs what building, testing and making a release need on Debian 12, if it is
# missing, then makes SQLite's amalgamation from Debian's source package
# (tools/fetch-sqlite.sh, once: it is kept in deps/sqlite).
set -eu
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine64 xvfb googletest util-linux rapidjson-dev)
# SQLite's amalgamation: dpkg-source unpacks Debian's source package, a host
# compiler and make run its configure, tclsh its `make sqlite3.c`.
packages+=(dpkg-dev xz-utils gcc make tcl)
# Only tools/release.sh and its test need these: the installer (wixl; msitools' msibuild finishes it; faketime fixes
# its time stamps), the zip, the signatures, and for the test a certificate (openssl) and the zip's listing (unzip).
packages+=(wixl msitools faketime zip osslsigncode openssl unzip)
# Only tests/browsers_keep_fix_test.sh needs these: the real browsers open a fixed profile (headless, no network).
packages+=(chromium firefox-esr)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
bash "$(dirname "$0")/fetch-sqlite.sh"
