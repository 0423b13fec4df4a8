#!/usr/bin/env bash
# Makes SQLite's amalgamation (sqlite3.c, sqlite3.h), which both programs compile
# in, from Debian's own sqlite3 source package, with Debian's patches (security
# fixes among them) applied. Kept in deps/sqlite (ignored by git; CMake's
# POPSWAT_SQLITE_SOURCE_DIR) and reused while it is there: delete that folder
# to make it afresh.
#   tools/fetch-sqlite.sh [DEST_DIR]
#
# The machine's apt setup is left as it is: apt reads a private folder of source
# lists (copies of the machine's own, as deb-src), and keeps its lists and cache
# in a private folder too. apt checks every downloaded file against the signed
# index; dpkg-source checks them against the .dsc and applies the patches.
# Needs apt-get, dpkg-source (dpkg-dev), a C compiler and make for the build
# host, and tclsh (tcl) for `make sqlite3.c`; tools/install-deps.sh installs them.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
dest=${1:-$root/deps/sqlite}
if [ -s "$dest/sqlite3.c" ] && [ -s "$dest/sqlite3.h" ] && [ -s "$dest/debian-version" ]; then
    exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/popswat-sqlite.XXXXXX")
trap 'rm -rf "$work"' EXIT
# apt downloads as the user _apt when it runs as root: that user must reach the folders.
chmod 755 "$work"
mkdir -p "$work/sources.list.d" "$work/lists/partial" "$work/cache/archives/partial" "$work/download" \
    "$work/build"
: >"$work/sources.list"
if [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1; then
    chown _apt "$work/lists/partial" "$work/cache/archives/partial" "$work/download"
fi

# The same addresses, suites and components as the machine's own lists, for sources.
for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    sed -E 's/^[Tt]ypes:.*/Types: deb-src/' "$file" >"$work/sources.list.d/$(basename "$file")"
done
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    sed -nE 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$file" >>"$work/sources.list.d/one-line.list"
done
if ! grep -qs . "$work"/sources.list.d/*; then
    echo "fetch-sqlite: the machine has no apt source lists to copy" >&2
    exit 1
fi
apt_options=(-o "Dir::Etc::SourceParts=$work/sources.list.d" -o "Dir::Etc::SourceList=$work/sources.list"
             -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache")

# Runs a step quietly, with its output in a log that is shown when it fails, and says how long it took.
step() {
    local name=$1 log="$work/$1.log" start end
    shift
    start=$(date +%s%N)
    if ! "$@" >"$log" 2>&1; then
        cat "$log" >&2
        echo "fetch-sqlite: $name failed" >&2
        return 1
    fi
    end=$(date +%s%N)
    printf '  %-22s %6.1f s\n' "$name" "$(((end - start) / 100000000))e-1"
}

echo "SQLite from Debian's sqlite3 source package:"
step "apt-get update" apt-get "${apt_options[@]}" update
step "apt-get source" sh -c 'cd "$1" && shift && apt-get "$@" source --download-only sqlite3' \
    sh "$work/download" "${apt_options[@]}"
dsc=$(ls "$work"/download/sqlite3_*.dsc)
version=$(sed -n 's/^Version: //p' "$dsc")
step "dpkg-source -x" dpkg-source -x "$dsc" "$work/src"
# The amalgamation is made for the build host (its tools run here); nothing of it
# but the two files is used.
step "configure" sh -c 'cd "$1" && "$2/configure"' sh "$work/build" "$work/src"
step "make sqlite3.c" make -C "$work/build" sqlite3.c

mkdir -p "$dest"
cp "$work/build/sqlite3.c" "$work/build/sqlite3.h" "$dest/"
echo "$version" >"$dest/debian-version"
echo "  SQLite $(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"/\1/p' "$dest/sqlite3.h") (Debian $version) in $dest"
