# Sourced by the test scripts: a fresh folder of the test's own ($box, removed at exit) with HOME inside it, so
# that nothing a browser, a tool or Wine does reaches the real home folder; check and fails for the results.
box=$(mktemp -d)
trap 'rm -rf "$box"' EXIT
export HOME=$box/home
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR
mkdir -p "$HOME" && cd "$box" || exit 1
failures=0
check() {  # check WHAT COMMAND... : says whether WHAT held, with the command's output if not
    local output
    output=$("${@:2}" 2>&1) && echo "ok: $1" && return
    printf 'FAILED: %s\n%s\n' "$1" "$output" | head -20
    failures=$((failures + 1))
}
fails() { ! "$@"; }
run() { "$root/tools/wine-run.sh" "$testbed" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
