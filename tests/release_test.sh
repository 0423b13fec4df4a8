#!/usr/bin/env bash
# tools/release.sh: its build in a folder of its own equals the tested build packed the same way; the zip's files;
# a test certificate signs; under Wine the installer installs, upgrades, refuses a downgrade and uninstalls cleanly.
#   release_test.sh BUILD_DIR TESTBED_DIR      (exit 77: skipped, wixl is not installed)
set -u -o pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/.." && pwd)
# The release script runs as the README says, without SOURCE_DATE_EPOCH: it takes the commit's time, and the
# programs under test are packed with that time given, so the two give the same bytes only when it did.
unset SOURCE_DATE_EPOCH
commit_time=$(git -C "$root" log -1 --format=%ct)
build=$(cd "$1" && pwd)
testbed=$2
command -v wixl >/dev/null || { echo "wixl is not installed (tools/install-deps.sh): skipped"; exit 77; }
. "$root/tests/script_sandbox.sh"
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
home_page=$(cache_value POPSWAT_HOME_PAGE_URL)

# A: the release script, building in its own folder. B: the programs under test, packed the same way. C: those
# programs as a newer version, signed with a certificate made here.
POPSWAT_HOME_PAGE_URL=$home_page bash "$root/tools/release.sh" "$box/build" a >release.log 2>&1 ||
    { cat release.log; exit 1; }
export SOURCE_DATE_EPOCH=$commit_time
bash "$root/tools/release/package.sh" "$build" b >/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=PopSwat test" \
    -addext extendedKeyUsage=codeSigning 2>/dev/null && printf 'test password' >password.txt &&
    openssl pkcs12 -export -inkey key.pem -in cert.pem -out signer.pfx -passout file:password.txt
POPSWAT_SIGN_PFX=signer.pfx POPSWAT_SIGN_PASSWORD_FILE=password.txt \
    bash "$root/tools/release/package.sh" "$build" c 99.0.0 >/dev/null
msi_a=$box/a/PopSwat-$version-x64.msi
msi_c=$box/c/PopSwat-99.0.0-x64.msi

for program in popswat.exe popswat-gui.exe; do
    check "two builds give the same $program" cmp "$box/build/bin/$program" "$build/bin/$program"
done
check "two builds give the same zip and installer" cmp a/SHA256SUMS b/SHA256SUMS
check "the zip holds the programs, README.txt and LICENSE" test "$(zipinfo -1 "a/PopSwat-$version-win64.zip" |
    paste -sd ' ')" = "LICENSE README.txt popswat-gui.exe popswat.exe"
check "README.txt has Windows line ends" \
    fails grep -qv $'\r$' <<<"$(unzip -p "a/PopSwat-$version-win64.zip" README.txt)"
check "an unsigned release says so in one line" test "$(grep -c '^Not signed' release.log)" = 1
unzip -q c/PopSwat-99.0.0-win64.zip -d signed
for file in signed/popswat.exe signed/popswat-gui.exe "$msi_c"; do
    check "$(basename "$file") is signed by the test certificate" osslsigncode verify -CAfile cert.pem -in "$file"
done

# The installer in the test bed's prefix, around a user PATH and PopSwat backups that must stay as they are.
local_win=$(run cmd /c echo %LOCALAPPDATA%)
local_dir=$(run winepath -u "$local_win")
roaming_dir=$(run winepath -u "$(run cmd /c echo %APPDATA%)")
[ -d "$local_dir" ] && [ -d "$roaming_dir" ] || { echo "no AppData folders in the test bed"; exit 1; }
backups=$local_dir/PopSwat/Backups/2026-12-07_143005
msiexec() { run msiexec "$1" "$(run winepath -w "$2")" /qn; }
apps_entry() {  # the installed-apps entry of an installer's product (Wine keeps it in HKLM)
    local key="Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(msiinfo export "$1" Property |
        sed -n 's/^ProductCode\t\(.*\)\r$/\1/p')"
    run reg query "HKCU\\$key" || run reg query "HKLM\\$key"
}
# PATH without empty entries: Wine 8 takes out what the installer appended but leaves the ";" before it.
user_path() { run reg query 'HKCU\Environment' /v Path | sed -n 's/^ *Path *REG_[A-Z_]* *//p' | tr ';' '\n' |
    grep . | paste -sd ';'; }
# Windows Installer's own cache folder may come and stay; nothing else may.
listing() { find "$local_dir" "$roaming_dir" | grep -vx "$roaming_dir/Microsoft/Installer" | sort; }
trap 'msiexec /x "$msi_c"; msiexec /x "$msi_a"; run reg delete "HKCU\\Environment" /v Path /f; rm -rf "$backups"
      rmdir "$local_dir/PopSwat/Backups" "$local_dir/PopSwat" 2>/dev/null; rm -rf "$box"' EXIT
mkdir -p "$backups" && printf 'Chrome.lnk\tC:\\Users\\Public\\Desktop\\Chrome.lnk\r\n' >"$backups/index.txt"
run reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d 'C:\Tools' /f >/dev/null
listing >before.txt

check "the installer installs for the user" msiexec /i "$msi_a"
check "the programs, README.txt and LICENSE are installed" \
    test "$(ls "$local_dir/Programs/PopSwat" | paste -sd ' ')" = "LICENSE README.txt popswat-gui.exe popswat.exe"
check "the Start-menu shortcut opens the installed popswat-gui.exe" grep -qaF \
    "$local_win\\Programs\\PopSwat\\popswat-gui.exe" "$roaming_dir/Microsoft/Windows/Start Menu/Programs/PopSwat.lnk"
fields="DisplayVersion +REG_SZ +$version|Publisher +REG_SZ +The PopSwat developers|URLInfoAbout +REG_SZ +$home_page"
check "the installed-apps entry names version, publisher and home page" \
    test "$(apps_entry "$msi_a" | grep -cE "^ *($fields)$")" = 3
check "the install folder is on the user's PATH" test "$(user_path)" = "C:\\Tools;$local_win\\Programs\\PopSwat\\"
check "popswat --help runs from PATH in a new console" grep -q '^Usage: popswat' <<<"$(run cmd /c popswat --help)"
check "a newer version replaces the older one" msiexec /i "$msi_c"
check "the older version's entry is gone" fails apps_entry "$msi_a"
check "the newer, signed programs are installed" osslsigncode verify -CAfile cert.pem \
    -in "$local_dir/Programs/PopSwat/popswat.exe"
check "PATH holds the install folder once" test "$(user_path)" = "C:\\Tools;$local_win\\Programs\\PopSwat\\"
check "an older version refuses to go over a newer one" fails msiexec /i "$msi_a"
check "the newer version stays" grep -q 'DisplayVersion *REG_SZ *99.0.0$' <<<"$(apps_entry "$msi_c")"
check "the installer uninstalls" msiexec /x "$msi_c"
check "the uninstall leaves nothing it installed and keeps the backups" diff before.txt <(listing)
check "the installed-apps entry is gone" fails apps_entry "$msi_c"
check "the user's PATH is as it was" test "$(user_path)" = 'C:\Tools'

echo "$failures check(s) failed"
[ "$failures" = 0 ]
