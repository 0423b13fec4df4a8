#!/usr/bin/env bash
# The real browsers keep what PopSwat's fix wrote: a Chromium profile whose
# start-up pages, home page and search engine were removed from Preferences and
# Secure Preferences, and a Firefox profile whose home page and proxy statements
# were taken out of user.js and prefs.js, each opened by the browser (headless,
# HOME in the test's folder, no network at all, only a local file) and closed
# again. Chromium renames a settings file it cannot read and starts afresh;
# Firefox drops a prefs.js it cannot parse. Linux Chromium keeps no MACs the
# Windows way, so this shows that the files are read and kept, and the values stay gone.
#   browsers_keep_fix_test.sh BUILD_DIR TESTBED_DIR   (exit 77: skipped, no browser or no network namespace)
set -u -o pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
testbed=$2
chromium=$(command -v chromium || true)
firefox=$(command -v firefox-esr || true)
if [ -z "$chromium" ] && [ -z "$firefox" ]; then
    echo "neither chromium nor firefox-esr is installed (tools/install-deps.sh): skipped"
    exit 77
fi
# The browsers run in a network namespace of their own: no page, no update, no report leaves the machine.
unshare -n true 2>/dev/null || { echo "no network namespace can be made (unshare -n): skipped"; exit 77; }
. "$root/tests/script_sandbox.sh"
mkdir -p "$box/local" "$box/roaming"
# The console under Wine, with LOCALAPPDATA and APPDATA in the test's folder (Wine sets both itself, cmd's set
# passes them on), holding the test bed's locks that a fix needs: it closes processes named like browsers.
export POPSWAT_TEST_LOCKS=popswat_cleanup_run,popswat_policy_keys,popswat_task_scheduler
wine() { "$root/tools/wine-run.sh" "$testbed" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
local_win=$(wine winepath -w "$box/local")
roaming_win=$(wine winepath -w "$box/roaming")
popswat_win=$(wine winepath -w "$build/bin/popswat.exe")
printf '@echo off\r\nset LOCALAPPDATA=%s\r\nset APPDATA=%s\r\n"%s" %%*\r\n' "$local_win" "$roaming_win" "$popswat_win" \
    >"$box/popswat.cmd"
popswat_cmd=$(wine winepath -w "$box/popswat.cmd")
popswat() { wine cmd /c "$popswat_cmd" "$@"; }
# The ids of the findings the fix is asked for: only start-up findings, which only the test's profiles hold.
startup_ids() {
    popswat --review --json | python3 -c '
import json, sys
review = json.load(sys.stdin)
ids = [f["findingId"] for f in review["startup"] + review["proxy"] if f.get("fix") and sys.argv[1] in f["browser" if "browser" in f else "location"]]
print(",".join(ids))' "$1"
}
# Runs a browser briefly on a local page, in its own network namespace; 60 s at most.
printf '<!doctype html><title>blank</title><p>blank</p>\n' >"$box/blank.html"
browse() { timeout 60 unshare -n "$@" >"$box/browser.log" 2>&1; }

json_check() {  # json_check FILE PYTHON-EXPRESSION-OF-d
    python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); sys.exit(0 if eval(sys.argv[2]) else 1)' "$1" "$2"
}

if [ -n "$chromium" ]; then
    profile=$box/local/Google/Chrome/User\ Data/Default
    mkdir -p "$profile"
    cat >"$profile/Secure Preferences" <<'JSON'
{"default_search_provider_data":{"template_url_data":{"keyword":"find","short_name":"Find Fast","url":"https://find-fast.example/?q={searchTerms}"}},"homepage":"https://hijack.example/","homepage_is_newtabpage":false,"protection":{"macs":{"default_search_provider_data":{"template_url_data":"A1B2"},"homepage":"C3D4","homepage_is_newtabpage":"E5F6","session":{"restore_on_startup":"0A0B","startup_urls":"1C1D"}},"super_mac":"FFEE"},"session":{"restore_on_startup":4,"startup_urls":["https://start.example/"]}}
JSON
    cat >"$profile/Preferences" <<'JSON'
{"browser":{"show_home_button":true},"default_search_provider_data":{"mirrored_template_url_data":{"keyword":"find","url":"https://find-fast.example/?q={searchTerms}"}},"download":{"default_directory":"/tmp/popswat-kept","prompt_for_download":true},"profile":{"name":"Kept Person","exit_type":"Normal"}}
JSON
    ids=$(startup_ids Chrome)
    check "the review names Chrome's three pages, each with a fix" test "$(tr ',' '\n' <<<"$ids" | grep -c .)" -eq 3
    popswat "--fix=$ids" --yes >"$box/fix.log"
    check "the values are gone from Secure Preferences, protection kept" json_check "$profile/Secure Preferences" \
        '"homepage" not in d and "session" in d and "startup_urls" not in d["session"] and d["protection"]["super_mac"] == "FFEE"'
    check "the values are gone from Preferences, the rest kept" json_check "$profile/Preferences" \
        '"show_home_button" not in d["browser"] and "mirrored_template_url_data" not in d["default_search_provider_data"] and d["download"]["default_directory"] == "/tmp/popswat-kept"'
    udd=$box/chromium
    cp -r "$box/local/Google/Chrome/User Data" "$udd"
    browse "$chromium" --headless=new --no-sandbox --disable-gpu --no-first-run --user-data-dir="$udd" \
        --dump-dom "file://$box/blank.html"
    check "Chromium showed the local page" grep -q "<p>blank</p>" "$box/browser.log"
    check "Chromium wrote its settings anew" bash -c "! cmp -s '$profile/Preferences' '$udd/Default/Preferences'"
    check "Chromium kept Preferences (no Preferences.bad)" test ! -e "$udd/Default/Preferences.bad"
    check "Chromium kept the other settings" json_check "$udd/Default/Preferences" \
        'd["download"]["default_directory"] == "/tmp/popswat-kept" and d["profile"]["name"] == "Kept Person"'
    for file in Preferences "Secure Preferences"; do
        [ -e "$udd/Default/$file" ] || continue
        check "Chromium left the removed values out of $file" json_check "$udd/Default/$file" \
            'd.get("homepage") != "https://hijack.example/" and "https://start.example/" not in d.get("session", {}).get("startup_urls", []) and "find-fast" not in json.dumps(d.get("default_search_provider_data", {}))'
    done
fi

if [ -n "$firefox" ]; then
    ffprofile=$box/roaming/Mozilla/Firefox/Profiles/abcd1234.default-release
    mkdir -p "$ffprofile"
    printf '%s\r\n' '// set by the "speed-up" tool' \
        'user_pref("browser.startup.homepage", "https://hijack.example/");' \
        'user_pref("browser.download.dir", "/tmp/popswat-kept");' >"$ffprofile/user.js"
    printf '%s\r\n' '// Mozilla User Preferences' '' \
        'user_pref("browser.startup.homepage",' '    "https://older-hijack.example/");' \
        'user_pref("network.proxy.http", "proxy.example");' 'user_pref("network.proxy.http_port", 3128);' \
        'user_pref("network.proxy.type", 1);' 'user_pref("browser.aboutConfig.showWarning", false);' \
        >"$ffprofile/prefs.js"
    ids=$(startup_ids Firefox)
    proxy_ids=$(popswat --review --json | python3 -c '
import json, sys
print(",".join(f["findingId"] for f in json.load(sys.stdin)["proxy"] if f.get("fix") and "abcd1234" in f["location"]))')
    check "the review names Firefox's home page and proxy, each with a fix" test -n "$ids" -a -n "$proxy_ids"
    popswat "--fix=$ids,$proxy_ids" --yes >"$box/fix.log"
    check "the statements are gone from both files, the rest byte for byte" test \
        "$(cat "$ffprofile/user.js" "$ffprofile/prefs.js")" = \
        "$(printf '%s\r\n' '// set by the "speed-up" tool' 'user_pref("browser.download.dir", "/tmp/popswat-kept");' \
            '// Mozilla User Preferences' '' 'user_pref("browser.aboutConfig.showWarning", false);')"
    copy=$box/firefox
    cp -r "$ffprofile" "$copy"
    browse "$firefox" --headless --no-remote --profile "$copy" --screenshot "$box/shot.png" "file://$box/blank.html"
    check "Firefox opened the profile and the local page" test -s "$box/shot.png"
    check "Firefox wrote prefs.js anew" bash -c "! cmp -s '$ffprofile/prefs.js' '$copy/prefs.js'"
    check "Firefox kept the other settings" grep -q 'browser.aboutConfig.showWarning", false' "$copy/prefs.js"
    check "Firefox wrote no home page back" bash -c "! grep -q 'hijack.example' '$copy/prefs.js'"
    check "Firefox wrote no proxy back" bash -c "! grep -q 'network.proxy' '$copy/prefs.js'"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all checks passed"
