#!/usr/bin/env bash
# Installs what building, testing and making a release need on Debian 12, if it is missing.
set -eu
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine64 xvfb googletest util-linux rapidjson-dev)
# Only tools/release.sh and its test need these: the installer (wixl; msitools' msibuild finishes it; faketime fixes
# its time stamps), the zip, the signatures, and for the test a certificate (openssl) and the zip's listing (unzip).
packages+=(wixl msitools faketime zip osslsigncode openssl unzip)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
