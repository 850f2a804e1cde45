#!/usr/bin/env bash
# The manual pages as man shows them: they format without a warning, and
# every option the programs' --help names is described in its page.
# Usage: manual_pages.sh BUILD_DIR
set -uo pipefail
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

build=$1
pages=$build/packaging/man
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# page PROGRAM PAGE: checks PAGE against PROGRAM --help.
page() {
    local program=$1 page=$2 name
    name=$(basename "$page" .gz)
    check "$name is built" test -s "$page"
    local warnings
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    check "$name formats without warnings: $warnings" test -z "$warnings"
    # The page as read, without the typesetter's hyphens and bold overstrikes.
    LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null | col -bx | sed 's/‐/-/g' >"$work/$name.txt"
    check "$name names its program" grep -q "^NAME" "$work/$name.txt"

    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help >"$work/$name.help"
    local options
    options=$(grep -oE '(^|[[ ,])--?[a-z][a-z-]*' "$work/$name.help" | grep -oE -- '--?[a-z][a-z-]*' |
        sort -u)
    check "$(basename "$program") --help names options" test "$(echo "$options" | wc -l)" -ge 2
    local option
    for option in $options; do
        check "$name describes $option" grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" "$work/$name.txt"
    done
}

page "$build/server/solvane-server" "$pages/solvane-server.8.gz"
page "$build/client/solvane" "$pages/solvane.1.gz"
check "solvane-server --help names at least 30 options" test \
    "$("$build/server/solvane-server" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u | wc -l)" -ge 30

finish
