#!/usr/bin/env bash
# Builds PopSwat and shows it at work in the project's own Wine prefix: sample
# profiles of several browsers, browser stand-ins with open windows, then
# what starts a browser with an ad from outside its files (a pinned shortcut, a Run value, a proxy script),
# "popswat --audit" and "popswat --review" (text and JSON), "popswat --dry-run --reset-permissions
# --repair-shortcuts" and "popswat --yes --reset-permissions --repair-shortcuts", what was deleted, kept and added,
# the shortcut before and after, and a second "popswat --review" that no longer lists the site allowed to notify
# or the shortcut.
#
# The stand-ins are copies of the test helper program named chrome.exe and
# firefox.exe. They live only in this private Wine prefix, whose processes are
# all that Wine's process list holds; no real browser can be touched.
set -eu
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw

testbed=$PWD/build/mingw/testbed
bin=$PWD/build/mingw/bin
demo=$PWD/build/mingw/demo
run() { tools/wine-run.sh "$testbed" "$@"; }
heading() { printf '\n=== %s ===\n\n' "$*"; }

tools/testbed.sh start "$testbed"
trap 'tools/testbed.sh stop "$testbed"' EXIT

# The prefix's own per-user folders, as Windows programs see them.
local_win=$(run cmd /c echo %LOCALAPPDATA% | tr -d '\r')
roaming_win=$(run cmd /c echo %APPDATA% | tr -d '\r')
local_dir=$(run winepath -u "$local_win")
roaming_dir=$(run winepath -u "$roaming_win")
local_dir=${local_dir%/}
roaming_dir=${roaming_dir%/}

sample_roots=("$local_dir/Google/Chrome" "$local_dir/Microsoft/Edge" "$local_dir/BraveSoftware"
              "$roaming_dir/Opera Software" "$roaming_dir/Mozilla/Firefox")
# A taskbar pin below the prefix's APPDATA, and the backups a repair keeps.
pinned="$roaming_dir/Microsoft/Internet Explorer/Quick Launch/User Pinned/TaskBar"
rm -rf "${sample_roots[@]}" "$demo" "$pinned/Google Chrome.lnk" "$local_dir/PopSwat/Backups"
mkdir -p "$demo"

put() {  # put FOLDER FILE... : small files with a line of sample content
    local folder=$1
    shift
    mkdir -p "$folder"
    for f in "$@"; do
        mkdir -p "$(dirname "$folder/$f")"
        printf 'sample %s\n' "$f" >"$folder/$f"
    done
}

settings() {  # settings FILE MEMBERS : compact JSON as the browsers write it, keys around the ones read
    printf '{"account_values":{"browser":{"show_home_button":true}},%s"protection":{"macs":{"homepage":"8A31C0"}}}' \
        "$2" >"$1"
}

chromium_profile() {  # a profile as Chrome, Edge, Brave and Opera keep it
    mkdir -p "$1"
    settings "$1/Preferences" '"profile":{"exit_type":"Normal"},'
    settings "$1/Secure Preferences" '"extensions":{"settings":{"aapocclcgogkmnckokdopfmhonfmgoek":{"location":1,"creation_flags":9,"state":1,"path":"aapocclcgogkmnckokdopfmhonfmgoek\\0.10_0"}}},'
    put "$1" "Bookmarks" "Login Data" "Favicons" \
        "Current Session" "Current Tabs" "Last Session" "Last Tabs" \
        "Sessions/Session_13345678901234567" "Sessions/Tabs_13345678901234567" \
        "History" "History-journal" "Visited Links"
    # An extension from the web store: it carries an update address.
    mkdir -p "$1/Extensions/aapocclcgogkmnckokdopfmhonfmgoek/0.10_0"
    cat >"$1/Extensions/aapocclcgogkmnckokdopfmhonfmgoek/0.10_0/manifest.json" <<'JSON'
{ "name": "Sample Notes", "version": "0.10", "manifest_version": 3,
  "update_url": "https://clients2.google.com/service/update2/crx" }
JSON
}

chromium_profile "$local_dir/Google/Chrome/User Data/Default"
chromium_profile "$local_dir/Google/Chrome/User Data/Profile 1"
put "$local_dir/Google/Chrome/User Data" "Local State"
# Not a profile folder by name: left alone whatever it holds.
put "$local_dir/Google/Chrome/User Data/System Profile" "Preferences" "History"
chromium_profile "$local_dir/Microsoft/Edge/User Data/Default"
chromium_profile "$local_dir/Microsoft/Edge/User Data/Profile 2"
chromium_profile "$local_dir/BraveSoftware/Brave-Browser/User Data/Default"
# Opera keeps its one profile directly in its user-data folder.
chromium_profile "$roaming_dir/Opera Software/Opera Stable"
# A side-loaded extension with a localised name, for the audit to flag.
coupon="$local_dir/Google/Chrome/User Data/Profile 1/Extensions/kdjhfgmnbvcxzlkjhgfdsapoiuytrewq/2.4.1_0"
put "$coupon" "_locales/en/messages.json"
cat >"$coupon/manifest.json" <<'JSON'
{ "name": "__MSG_appName__", "version": "2.4.1", "default_locale": "en", "manifest_version": 3 }
JSON
cat >"$coupon/_locales/en/messages.json" <<'JSON'
{ "appName": { "message": "Super Coupon Finder", "description": "shown in the store" } }
JSON
# What brings pop-ups back: a site allowed to notify (Chrome), the coupon finder
# placed by another program and taking over the new tab page, an extension forced
# by a policy, a hijacked start-up page (Edge), a home page in Firefox's user.js.
chrome="$local_dir/Google/Chrome/User Data"
settings "$chrome/Default/Preferences" '"profile":{"content_settings":{"exceptions":{"notifications":{"https://win-prize.example:443,*":{"expiration":"0","last_modified":"13345678901234567","model":0,"setting":1},"https://news.example:443,*":{"setting":2}}}},"exit_type":"Normal"},'
settings "$chrome/Profile 1/Secure Preferences" '"extensions":{"settings":{"kdjhfgmnbvcxzlkjhgfdsapoiuytrewq":{"location":3,"creation_flags":1,"state":1,"path":"kdjhfgmnbvcxzlkjhgfdsapoiuytrewq\\2.4.1_0","manifest":{"name":"__MSG_appName__","default_locale":"en","version":"2.4.1","chrome_url_overrides":{"newtab":"newtab.html"}}},"aapocclcgogkmnckokdopfmhonfmgoek":{"location":1,"creation_flags":9,"state":1,"path":"aapocclcgogkmnckokdopfmhonfmgoek\\0.10_0"},"ncbkfmpgldjhaiebpnkdcmflhgojeiak":{"location":9,"creation_flags":9,"state":1,"manifest":{"name":"Shopping Helper","version":"5.0"}}}},'
settings "$local_dir/Microsoft/Edge/User Data/Default/Secure Preferences" '"session":{"restore_on_startup":4,"startup_urls":["http://search-hijack.example/?from=edge"]},'
# The policy key, the Run value and the proxy script live in this private prefix
# only and are deleted when the demo ends.
policy_key='HKCU\Software\Policies\Google'
if run reg query "$policy_key" >/dev/null 2>&1; then policy_key+='\Chrome'; fi
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
proxy_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
remove_samples() {
    run reg delete "$policy_key" /f >/dev/null 2>&1
    run reg delete "$run_key" /v "Coupon Updater" /f >/dev/null 2>&1
    run reg delete "$proxy_key" /v AutoConfigURL /f >/dev/null 2>&1
}
trap 'remove_samples; tools/testbed.sh stop "$testbed"' EXIT
run reg add 'HKCU\Software\Policies\Google\Chrome\ExtensionInstallForcelist' /v 1 /t REG_SZ \
    /d "ncbkfmpgldjhaiebpnkdcmflhgojeiak;https://clients2.google.com/service/update2/crx" /f >/dev/null
# What starts a browser with an ad from outside its files: a pinned Chrome shortcut
# that opens one, a Run value that opens one at every log-on, a proxy script.
run reg add "$run_key" /v "Coupon Updater" /t REG_SZ /d "cmd /c start https://win-prize.example/?from=run" \
    /f >/dev/null
if ! run reg query "$proxy_key" /v AutoConfigURL >/dev/null 2>&1; then
    run reg add "$proxy_key" /v AutoConfigURL /t REG_SZ /d "http://proxy.adware.example/pac.js" /f >/dev/null
fi
mkdir -p "$pinned"
# Wine's cscript writes the shortcut through IShellLinkW.
printf '%s\r\n' 'Set link = CreateObject("WScript.Shell").CreateShortcut(WScript.Arguments(0))' \
    'link.TargetPath = "C:\Program Files\Google\Chrome\Application\chrome.exe"' \
    'link.Arguments = "--profile-directory=Default https://win-prize.example/?from=shortcut"' 'link.Save' \
    >"$demo/pin.vbs"
shortcut_win=$(run winepath -w "$pinned/Google Chrome.lnk" | tr -d '\r')
run cscript //nologo "$(run winepath -w "$demo/pin.vbs" | tr -d '\r')" "$shortcut_win" </dev/null >/dev/null 2>&1
# A shortcut holds its arguments as UTF-16 text after its target's ID list.
show_shortcut() {
    echo "  arguments: $(x86_64-w64-mingw32-strings -e l -n 4 "$pinned/Google Chrome.lnk" | grep -o -- '--.*' | head -1)"
}
firefox=$roaming_dir/Mozilla/Firefox
put "$firefox" "profiles.ini"
put "$firefox/Profiles/k3x9w2ab.default-release" "sessionstore.jsonlz4" "recovery.jsonlz4" \
    "sessionstore-backups/recovery.jsonlz4" "sessionstore-backups/previous.jsonlz4" \
    "places.sqlite" "logins.json" "key4.db" "extensions.json"
fox_profile=$firefox/Profiles/k3x9w2ab.default-release
printf 'user_pref("browser.startup.homepage", "https://www.mozilla.org/");\nuser_pref("browser.startup.page", 1);\n' \
    >"$fox_profile/prefs.js"
printf '// placed by a "browser helper"\nuser_pref("browser.startup.homepage", "http://search-hijack.example/?from=firefox");\n' \
    >"$fox_profile/user.js"
cat >"$firefox/Profiles/k3x9w2ab.default-release/extensions.json" <<'JSON'
{"schemaVersion":36,"addons":[
 {"id":"uBlock0@raymondhill.net","version":"1.58.0","type":"extension","defaultLocale":{"name":"uBlock Origin"},
  "location":"app-profile"},
 {"id":"default-theme@mozilla.org","version":"1.3","type":"theme","defaultLocale":{"name":"System theme"},
  "location":"app-builtin"},
 {"id":"{d10d0bf8}","version":"2.0","type":"theme","defaultLocale":{"name":"Dark Night"},"location":"app-profile"}]}
JSON

list_samples() {  # every sample file, relative to AppData
    for root in "${sample_roots[@]}"; do
        [ -d "$root" ] && find "$root" -type f
    done | sed -e "s|^$local_dir/|  Local/|" -e "s|^$roaming_dir/|  Roaming/|" | sort
}
list_samples >"$demo/before.txt"
heading "Sample profiles in the Wine prefix ($local_win, $roaming_win)"
cat "$demo/before.txt"

# Browser stand-ins: three Chrome processes and one Firefox process, each with
# a visible window that takes half a second to close, as a browser saving its
# session would.
cp "$bin/popswat_testhelper.exe" "$demo/chrome.exe"
cp "$bin/popswat_testhelper.exe" "$demo/firefox.exe"
standins=()
for name in chrome-1 chrome-2 chrome-3 firefox-1; do
    log_win=$(run winepath -w "$demo/$name.log")
    run "$demo/${name%-*}.exe" browser visible exit 500 "$log_win" </dev/null >/dev/null 2>&1 &
    standins+=("$name")
done
for name in "${standins[@]}"; do
    for _ in $(seq 300); do
        [ -s "$demo/$name.log" ] && break
        sleep 0.1
    done
done
heading "Running: ${#standins[@]} browser stand-ins (chrome.exe x3, firefox.exe x1)"
for name in "${standins[@]}"; do echo "  $name: window open"; done

heading "popswat --audit"
run "$bin/popswat.exe" --audit

heading "popswat --audit --json"
run "$bin/popswat.exe" --audit --json

heading "popswat --review"
run "$bin/popswat.exe" --review

heading "popswat --review --json"
run "$bin/popswat.exe" --review --json

granted="$chrome/Default/Preferences"
cp "$granted" "$demo/Preferences.before"
heading "The pinned Chrome shortcut"
echo "$shortcut_win"
show_shortcut

heading "popswat --dry-run --reset-permissions --repair-shortcuts"
run "$bin/popswat.exe" --dry-run --reset-permissions --repair-shortcuts
cmp -s <(list_samples) "$demo/before.txt" && cmp -s "$granted" "$demo/Preferences.before" && echo "(no file changed)"

heading "popswat --yes --reset-permissions --repair-shortcuts"
start=$(date +%s%N)
run "$bin/popswat.exe" --yes --reset-permissions --repair-shortcuts
echo "(took $(( ($(date +%s%N) - start) / 1000000 )) ms)"

list_samples >"$demo/after.txt"
heading "Deleted"
comm -23 "$demo/before.txt" "$demo/after.txt"
heading "Kept"
comm -12 "$demo/before.txt" "$demo/after.txt"
heading "Added"
comm -13 "$demo/before.txt" "$demo/after.txt"
heading "Chrome's Default/Preferences before and after"
cat "$demo/Preferences.before"
printf '\n'
cat "$granted"
printf '\n'
for copy in "$local_dir"/PopSwat/Backups/*/*.Preferences; do
    cmp -s "$copy" "$demo/Preferences.before" && echo "(the copy in the run's folder holds the old bytes)"
done

heading "The pinned Chrome shortcut after the repair, and the backup's index"
show_shortcut
for index in "$local_dir"/PopSwat/Backups/*/index.txt; do
    [ -f "$index" ] || continue
    echo "  ${index#"$local_dir/"}:"
    sed 's/^/    /' "$index"
done

heading "popswat --review, once more"
run "$bin/popswat.exe" --review

heading "Browser stand-ins"
for name in "${standins[@]}"; do
    if grep -qx exit "$demo/$name.log"; then
        echo "  $name: asked to close, saved and exited on its own"
    else
        echo "  $name: terminated"
    fi
done
wait
