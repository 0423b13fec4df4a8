#!/usr/bin/env bash
# tools/release.sh end to end: its build, in a folder of its own, gives the same programs, zip and installer as the
# build being tested packed the same way; the zip holds exactly the shipped files; a certificate made here signs;
# and in the test bed's Wine prefix the installer installs for the user, upgrades, refuses a downgrade and
# uninstalls without a trace, leaving PopSwat's own backups.
#   release_test.sh BUILD_DIR TESTBED_DIR      (exit 77: skipped, wixl is not installed)
set -u -o pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
testbed=${2:?test bed folder}
command -v wixl >/dev/null || { echo "wixl is not installed (tools/install-deps.sh): skipped"; exit 77; }
box=$(mktemp -d)
# Nothing a tool or Wine does may reach the real home folder.
export HOME=$box/home
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME
mkdir -p "$HOME"
cd "$box"
export SOURCE_DATE_EPOCH=1765000000
failures=0
trap 'rm -rf "$box"' EXIT
check() {  # check WHAT COMMAND... : runs the command, says whether WHAT held, with the command's output if not
    local output
    if output=$("${@:2}" 2>&1); then
        echo "ok: $1"
    else
        printf 'FAILED: %s\n%s\n' "$1" "$output" | head -20
        failures=$((failures + 1))
    fi
}
fails() { ! "$@"; }
run() { "$root/tools/wine-run.sh" "$testbed" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }

# Build A: the release script in its own folder (same home page as the build under test). Build B: the programs
# under test, packed by the same step. Then a newer version, signed with a certificate made here.
POPSWAT_HOME_PAGE_URL=$(cache_value POPSWAT_HOME_PAGE_URL) bash "$root/tools/release.sh" "$box/build" "$box/a" \
    >"$box/release.log" 2>&1 || { cat "$box/release.log"; exit 1; }
bash "$root/tools/release/package.sh" "$build" "$box/b" >/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=PopSwat test signer" \
    -addext extendedKeyUsage=codeSigning 2>/dev/null
printf 'test password' >password.txt
openssl pkcs12 -export -inkey key.pem -in cert.pem -out signer.pfx -passout file:password.txt
POPSWAT_SIGN_PFX=$box/signer.pfx POPSWAT_SIGN_PASSWORD_FILE=$box/password.txt \
    bash "$root/tools/release/package.sh" "$build" "$box/c" 99.0.0 >"$box/signed.log"

version=$(cache_value CMAKE_PROJECT_VERSION)
zip_a=$box/a/PopSwat-$version-win64.zip
msi_a=$box/a/PopSwat-$version-x64.msi
msi_c=$box/c/PopSwat-99.0.0-x64.msi
for program in popswat.exe popswat-gui.exe; do
    check "two builds give the same $program" cmp "$box/build/bin/$program" "$build/bin/$program"
done
check "two builds give the same zip and installer" cmp "$box/a/SHA256SUMS" "$box/b/SHA256SUMS"
check "the checksums hold" bash -c "cd '$box/a' && sha256sum -c SHA256SUMS"
check "the zip holds the programs, README.txt and LICENSE" \
    test "$(zipinfo -1 "$zip_a" | tr '\n' ' ')" = "LICENSE README.txt popswat-gui.exe popswat.exe "
check "README.txt has Windows line ends" fails grep -qv $'\r$' <<<"$(unzip -p "$zip_a" README.txt)"
check "an unsigned release says so in one line" test "$(grep -c '^Not signed' "$box/release.log")" = 1
check "a signed release says nothing of it" test "$(grep -c '^Not signed' "$box/signed.log")" = 0
unzip -q "$box/c/PopSwat-99.0.0-win64.zip" -d signed
for file in signed/popswat.exe signed/popswat-gui.exe "$msi_c"; do
    check "$(basename "$file") is signed by the test certificate" osslsigncode verify -CAfile cert.pem -in "$file"
done

# The installer, in the test bed's prefix.
local_win=$(run cmd /c echo %LOCALAPPDATA%)
local_dir=$(run winepath -u "$local_win")
roaming_dir=$(run winepath -u "$(run cmd /c echo %APPDATA%)")
install_dir=$local_dir/Programs/PopSwat
shortcut="$roaming_dir/Microsoft/Windows/Start Menu/Programs/PopSwat.lnk"
backups=$local_dir/PopSwat/Backups/2026-12-07_143005
apps_entry() {  # the installed-apps entry of an installer's product, in either hive
    local key code
    code=$(msiinfo export "$1" Property | sed -n 's/^ProductCode\t\(.*\)\r$/\1/p')
    key="Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code"
    run reg query "HKCU\\$key" || run reg query "HKLM\\$key"
}
# The user's PATH without empty entries: Wine 8 takes out what the installer appended but leaves its ";" behind.
user_path() { run reg query 'HKCU\Environment' /v Path | sed -n 's/^ *Path *REG_[A-Z_]* *//p' | tr ';' '\n' | grep . |
    paste -sd ';'; }
cleanup() {
    run msiexec /x "$(run winepath -w "$msi_c")" /qn
    run msiexec /x "$(run winepath -w "$msi_a")" /qn
    run reg delete 'HKCU\Environment' /v Path /f >/dev/null
    rm -rf "$backups"
    rmdir "$local_dir/PopSwat/Backups" "$local_dir/PopSwat" 2>/dev/null
    rm -rf "$box"
}
trap cleanup EXIT
msiexec() { run msiexec "$1" "$(run winepath -w "$2")" /qn; }
# Files of the user's own that an uninstall must leave: PopSwat's backups and a PATH entry.
mkdir -p "$backups"
printf 'Chrome.lnk\tC:\\Users\\Public\\Desktop\\Chrome.lnk\r\n' >"$backups/index.txt"
run reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d 'C:\Tools' /f >/dev/null
# Windows Installer's own cache folder may come and stay; everything the package puts there must go.
listing() { find "$local_dir" "$roaming_dir" | grep -vx "$roaming_dir/Microsoft/Installer" | sort; }
listing >before.txt

check "the installer installs for the user" msiexec /i "$msi_a"
check "the programs, README.txt and LICENSE are installed" \
    test "$(ls "$install_dir" | tr '\n' ' ')" = "LICENSE README.txt popswat-gui.exe popswat.exe "
check "the Start-menu shortcut opens the installed popswat-gui.exe" \
    grep -qaF "$local_win\\Programs\\PopSwat\\popswat-gui.exe" "$shortcut"
entry=$(apps_entry "$msi_a")
check "the installed-apps entry names the version" grep -q "DisplayVersion *REG_SZ *$version\$" <<<"$entry"
check "the installed-apps entry names the publisher" grep -q 'Publisher *REG_SZ *The PopSwat developers$' <<<"$entry"
check "the installed-apps entry names the home page" \
    grep -qx " *URLInfoAbout *REG_SZ *$(cache_value POPSWAT_HOME_PAGE_URL)" <<<"$entry"
path_installed="C:\\Tools;$local_win\\Programs\\PopSwat\\"
check "the install folder is added to the user's PATH" test "$(user_path)" = "$path_installed"
check "popswat --help runs from PATH in a new console" grep -q '^Usage: popswat' <<<"$(run cmd /c popswat --help)"
check "a newer version replaces the older one" msiexec /i "$msi_c"
check "the older version's entry is gone" fails apps_entry "$msi_a"
check "the newer, signed programs are installed" osslsigncode verify -CAfile cert.pem -in "$install_dir/popswat.exe"
check "PATH holds the install folder once" test "$(user_path)" = "$path_installed"
check "an older version refuses to go over a newer one" fails msiexec /i "$msi_a"
check "the newer version stays" grep -q 'DisplayVersion *REG_SZ *99.0.0$' <<<"$(apps_entry "$msi_c")"
check "the installer uninstalls" msiexec /x "$msi_c"
check "the uninstall leaves nothing it installed and keeps the backups" diff before.txt <(listing)
check "the installed-apps entry is gone" fails apps_entry "$msi_c"
check "the user's PATH is as it was" test "$(user_path)" = 'C:\Tools'

echo "$failures check(s) failed"
[ "$failures" = 0 ]
