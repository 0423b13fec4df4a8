#!/usr/bin/env bash
# Real Firefox reads what popswat --reset-permissions left of a permissions.sqlite: the grants are gone, every other
# row is still there after Firefox has opened the profile (it deletes a database it cannot read, with every row).
#   firefox_permissions_test.sh BUILD_DIR TESTBED_DIR      (exit 77: skipped, firefox-esr or python3 is missing)
set -u -o pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
testbed=$2
command -v firefox-esr >/dev/null || { echo "firefox-esr is not installed (tools/install-deps.sh): skipped"; exit 77; }
command -v python3 >/dev/null || { echo "python3 is not installed: skipped"; exit 77; }
. "$root/tests/script_sandbox.sh"

# The profile as Firefox keeps it on Windows, below a sandboxed APPDATA; the database made by SQLite itself in
# Firefox's schema (user_version 12: moz_perms and the legacy moz_hosts).
profile=$box/Roaming/Mozilla/Firefox/Profiles/test.default-release
mkdir -p "$profile" "$box/Local"
rows() {  # rows DATABASE: every row of moz_perms but its id, sorted
    python3 - "$1" <<'EOF'
import sqlite3, sys
db = sqlite3.connect("file:" + sys.argv[1] + "?mode=ro", uri=True)
for row in sorted(db.execute("SELECT origin, type, permission, expireType, expireTime, modificationTime FROM moz_perms")):
    print("|".join(str(v) for v in row))
EOF
}
python3 - "$profile/permissions.sqlite" <<'EOF'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.executescript("""
PRAGMA page_size = 32768;
PRAGMA user_version = 12;
CREATE TABLE moz_perms ( id INTEGER PRIMARY KEY,origin TEXT,type TEXT,permission INTEGER,expireType INTEGER,
    expireTime INTEGER,modificationTime INTEGER);
CREATE TABLE moz_hosts ( id INTEGER PRIMARY KEY,host TEXT,type TEXT,permission INTEGER,expireType INTEGER,
    expireTime INTEGER,modificationTime INTEGER,isInBrowserElement INTEGER);
""")
rows = [("https://win-prize.example", "desktop-notification", 1), ("https://deals.example", "popup", 1),
        ("https://mail.example", "popup", 2), ("https://news.example", "desktop-notification", 2),
        ("https://maps.example", "geo", 1), ("https://shop.example", "cookie", 1),
        ("https://video.example", "autoplay-media", 1), ("https://bank.example", "desktop-notification", 3)]
db.executemany("INSERT INTO moz_perms (origin, type, permission, expireType, expireTime, modificationTime) "
               "VALUES (?, ?, ?, 0, 0, 1700000000000)", rows)
db.commit()
EOF
rows "$profile/permissions.sqlite" | grep -v -e '^https://win-prize.example|' -e '^https://deals.example|' >kept.txt
check "the test database holds six rows to keep" test "$(wc -l <kept.txt)" = 6

# PopSwat under Wine, with the sandbox as the user's folders (Wine sets APPDATA itself: a batch file sets it here).
win() { run winepath -w "$1"; }
printf '@echo off\r\nset "APPDATA=%s"\r\nset "LOCALAPPDATA=%s"\r\n"%s" --reset-permissions --yes\r\n' \
    "$(win "$box/Roaming")" "$(win "$box/Local")" "$(win "$build/bin/popswat.exe")" >reset.bat
run cmd /c "$(win "$box/reset.bat")" >reset.log
check "PopSwat says it took back two grants" test "$(grep -c "no longer allowed: https://" reset.log)" = 2
check "the lines name both sites" grep -q "notifications no longer allowed: https://win-prize.example" reset.log
check "the grants are gone, every other row kept" diff kept.txt <(rows "$profile/permissions.sqlite")
check "a copy of the old database is in the run's folder" \
    test "$(find "$box/Local/PopSwat/Backups" -name permissions.sqlite | wc -l)" = 1

# Firefox opens a copy of the profile headless and shows only a local file; its own network is cut off.
firefox_profile=$box/firefox-profile
cp -r "$profile" "$firefox_profile"
cat >"$firefox_profile/user.js" <<'EOF'
user_pref("network.dns.disabled", true);
user_pref("network.proxy.type", 1);
user_pref("network.proxy.http", "127.0.0.1");
user_pref("network.proxy.http_port", 9);
user_pref("network.proxy.ssl", "127.0.0.1");
user_pref("network.proxy.ssl_port", 9);
user_pref("app.update.disabledForTesting", true);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.enabled", false);
user_pref("extensions.update.enabled", false);
user_pref("browser.shell.checkDefaultBrowser", false);
EOF
printf '<!doctype html><title>blank</title><p>blank</p>\n' >blank.html
timeout 60 firefox-esr --headless --no-remote --profile "$firefox_profile" --screenshot "$box/shot.png" \
    "file://$box/blank.html" >firefox.log 2>&1
check "Firefox ran and exited" test -s "$box/shot.png"
check "Firefox kept the database" test -s "$firefox_profile/permissions.sqlite"
# Firefox brings a database of an older schema to its own as it opens it (Firefox 128 and later: user_version 13).
check "Firefox opened the database" fails cmp -s "$profile/permissions.sqlite" "$firefox_profile/permissions.sqlite"
check "Firefox kept every other row and brought back no grant" diff kept.txt <(rows "$firefox_profile/permissions.sqlite")
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; tail -5 firefox.log; exit 1; }
echo "all checks passed"
