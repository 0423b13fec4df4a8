#!/usr/bin/env bash
# Installs what is missing, builds the Release programs in a build folder of their own and writes what a Windows
# user downloads: dist/PopSwat-<version>-win64.zip, dist/PopSwat-<version>-x64.msi and dist/SHA256SUMS.
#   tools/release.sh [BUILD_DIR [DIST_DIR]]     (default build/release and dist)
# The version is the CMake project version. Every time stamp is the commit's (SOURCE_DATE_EPOCH, unless set), so
# the same commit gives the same bytes wherever it is built. POPSWAT_HOME_PAGE_URL sets the home page the window
# links to and the installer names; POPSWAT_SIGN_PFX and POPSWAT_SIGN_PASSWORD_FILE sign (tools/release/package.sh).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/release}")
dist=$(realpath -m "${2:-$root/dist}")
cd "$root"
bash tools/install-deps.sh
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) || { echo "Not a git checkout: set SOURCE_DATE_EPOCH." >&2; exit 1; }
    [ -z "$(git status --porcelain --untracked-files=no)" ] ||
        echo "Warning: the work tree has uncommitted changes; this build is not the commit's."
fi
export SOURCE_DATE_EPOCH
home_page=()
[ -z "${POPSWAT_HOME_PAGE_URL:-}" ] || home_page=(-DPOPSWAT_HOME_PAGE_URL="$POPSWAT_HOME_PAGE_URL")
# --fresh: nothing a former configuration left in the cache changes the release.
cmake --preset mingw --fresh -B "$build" -DPOPSWAT_BUILD_TESTS=OFF "${home_page[@]}" >/dev/null
cmake --build "$build" --target popswat popswat-gui
bash tools/release/package.sh "$build" "$dist"
