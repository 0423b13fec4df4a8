#!/usr/bin/env bash
# Checks that every layer includes only its own headers and those of the layers
# below it, in this order:
#   base  <  browsers  <  engine  <  audit, review  <  cli, gui
# Layers of one rank do not include each other (audit and review, cli and gui),
# and only browsers/ includes a third-party library's headers (a quoted include
# from a folder that is no layer), with one exception: SQLite's sqlite3.h (and
# sqlite3ext.h) is included by base/sqlite_database.cpp and by no other file of
# a layer, so that browsers/ and engine/ alike use SQLite through
# base/sqlite_database.h, which does not include it. tests/ and bench/ may
# include anything.
# Prints each include that breaks the order and fails; prints nothing and
# succeeds when there is none.
#   tools/check-layering.sh [SOURCE_DIR]
set -eu
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

rank() {
    case $1 in
        base) echo 0 ;;
        browsers) echo 1 ;;
        engine) echo 2 ;;
        audit | review) echo 3 ;;
        cli | gui) echo 4 ;;
        *) echo "" ;;
    esac
}

failures=0
for layer in base browsers engine audit review cli gui; do
    own=$(rank "$layer")
    # file:line:#include "folder/name.h"
    while IFS= read -r hit; do
        file=${hit%%:*}
        rest=${hit#*:}
        line=${rest%%:*}
        included=$(sed -E 's/^[^"]*"([^"]+)".*$/\1/' <<<"$rest")
        folder=${included%%/*}
        [ "$folder" = "$included" ] && continue # a header of the file's own folder or of the build
        [ "$folder" = "$layer" ] && continue
        theirs=$(rank "$folder")
        if [ -z "$theirs" ]; then
            if [ "$layer" != browsers ]; then
                echo "$file:$line: includes \"$included\": only browsers/ includes third-party headers"
                failures=$((failures + 1))
            fi
        elif [ "$theirs" -ge "$own" ]; then
            echo "$file:$line: includes \"$included\": $folder/ is not below $layer/"
            failures=$((failures + 1))
        fi
    done < <(grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' \
        $(find "$layer" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.rc' -o -name '*.h.in' \) | sort) || true)
done
# SQLite's headers, quoted or in angle brackets, with or without a folder.
while IFS= read -r hit; do
    file=${hit%%:*}
    [ "$file" = base/sqlite_database.cpp ] && continue
    rest=${hit#*:}
    echo "$file:${rest%%:*}: includes SQLite's header: only base/sqlite_database.cpp does"
    failures=$((failures + 1))
done < <(grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]*/)?sqlite3(ext)?\.h[">]' \
    $(find base browsers engine audit review cli gui -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.rc' -o -name '*.h.in' \) | sort) || true)
if [ "$failures" -gt 0 ]; then
    echo "$failures include(s) break the layering"
    exit 1
fi
