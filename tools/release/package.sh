#!/usr/bin/env bash
# Packs the programs of one build folder into what a Windows user downloads:
#   DIST_DIR/PopSwat-<version>-win64.zip   the two programs, README.txt and LICENSE
#   DIST_DIR/PopSwat-<version>-x64.msi     a per-user installer (popswat.wxs)
#   DIST_DIR/SHA256SUMS                    the checksums of both
#     package.sh BUILD_DIR DIST_DIR [VERSION]
# The version and the home page come from the build folder's CMake cache; VERSION overrides the version (tests
# make a "newer" installer with it). SOURCE_DATE_EPOCH is every time stamp written, so the same programs give the
# same bytes. With POPSWAT_SIGN_PFX and POPSWAT_SIGN_PASSWORD_FILE set, the programs and the installer are signed
# (Authenticode, osslsigncode), with a time stamp from POPSWAT_SIGN_TIMESTAMP_URL if that is set too.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
mkdir -p "${2:?dist folder}"
dist=$(cd "$2" && pwd)
epoch=${SOURCE_DATE_EPOCH:?set SOURCE_DATE_EPOCH, for example to git log -1 --format=%ct}

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=${3:-$(cache_value CMAKE_PROJECT_VERSION)}
home_page=$(cache_value POPSWAT_HOME_PAGE_URL)
[ -n "$version" ] && [ -n "$home_page" ] || { echo "no version or home page in $build/CMakeCache.txt" >&2; exit 1; }
zip_name=PopSwat-$version-win64.zip
msi_name=PopSwat-$version-x64.msi

# A UUID made from a text (the first 128 bits of its SHA-1, marked as a name-based UUID): the same text, the same
# UUID, on every machine.
name_uuid() {
    local h
    h=$(printf '%s' "$1" | sha1sum)
    printf '%s-%s-5%s-%x%s-%s' "${h:0:8}" "${h:8:4}" "${h:13:3}" $((0x${h:16:1} & 3 | 8)) "${h:17:3}" "${h:20:12}" |
        tr a-f A-F
}

signing=0
if [ -n "${POPSWAT_SIGN_PFX:-}" ] && [ -n "${POPSWAT_SIGN_PASSWORD_FILE:-}" ]; then
    signing=1
elif [ -n "${POPSWAT_SIGN_PFX:-}${POPSWAT_SIGN_PASSWORD_FILE:-}" ]; then
    echo "Set both POPSWAT_SIGN_PFX and POPSWAT_SIGN_PASSWORD_FILE, or neither." >&2
    exit 1
else
    echo "Not signed: set POPSWAT_SIGN_PFX and POPSWAT_SIGN_PASSWORD_FILE to sign the programs and the installer."
fi
# Signs a file in place. The signing time is the commit's, so the same key signs the same bytes the same way; a
# time-stamp server, if one is given, adds the real time.
sign() {
    [ "$signing" = 1 ] || return 0
    local stamp=()
    [ -z "${POPSWAT_SIGN_TIMESTAMP_URL:-}" ] || stamp=(-ts "$POPSWAT_SIGN_TIMESTAMP_URL")
    osslsigncode sign -pkcs12 "$POPSWAT_SIGN_PFX" -readpass "$POPSWAT_SIGN_PASSWORD_FILE" -h sha256 \
        -n PopSwat -i "$home_page" -time "$epoch" "${stamp[@]}" -in "$1" -out "$1.signed" >/dev/null
    mv "$1.signed" "$1"
}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$build/bin/popswat.exe" "$build/bin/popswat-gui.exe" "$stage/"
sign "$stage/popswat.exe"
sign "$stage/popswat-gui.exe"
# Plain text for Notepad: Windows line ends.
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$here/README.txt" >"$stage/README.txt"
sed -e 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE"
cp "$root/gui/art/popswat.ico" "$stage/"
chmod 644 "$stage"/*
touch -d "@$epoch" "$stage"/*

# The zip: entries in a fixed order, with the commit's time in UTC, no extra fields (-X) and no folder entries.
rm -f "$dist/$zip_name" "$dist/$msi_name" "$dist/SHA256SUMS"
(cd "$stage" && TZ=UTC zip -X -D -9 -q "$dist/$zip_name" LICENSE README.txt popswat-gui.exe popswat.exe)

# The installer. wixl takes the files from the current folder and writes the clock's time into the summary
# information, hence faketime; its package code is random, so msibuild sets one made from what goes in.
product_code=$(name_uuid "PopSwat product $version")
contents=$(cd "$stage" && cat "$here/popswat.wxs" "$here/package.sh" ./* | sha256sum)
package_code=$(name_uuid "PopSwat package $version $contents")
(cd "$stage" && TZ=UTC faketime -f "$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')" \
    wixl -a x64 -D Version="$version" -D ProductCode="$product_code" -D HomePage="$home_page" \
    -o "$stage/$msi_name" "$here/popswat.wxs")
# wixl has no Environment element: the install folder goes on the user's PATH through the Environment table
# ("=-": set at install, taken out at uninstall; "[~];" appends to what is there) and the two actions that use it.
printf 'Environment\tName\tValue\tComponent_\ns72\tl255\tL255\ts72\nEnvironment\tEnvironment\n%s\n' \
    "UserPath	=-Path	[~];[INSTALLDIR]	Programs" >"$stage/Environment.idt"
sequence='INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES'
msibuild "$stage/$msi_name" -i "$stage/Environment.idt" \
    -q "$sequence ('RemoveEnvironmentStrings', 3300)" -q "$sequence ('WriteEnvironmentStrings', 5200)" \
    -s "PopSwat $version" "The PopSwat developers" "x64;1033" "{$package_code}"
sign "$stage/$msi_name"
mv "$stage/$msi_name" "$dist/"

(cd "$dist" && sha256sum "$zip_name" "$msi_name" >SHA256SUMS)
echo "Wrote $dist/$zip_name, $dist/$msi_name and $dist/SHA256SUMS"
