# shellcheck shell=bash
# Shared by the shell tests: each check counts as passed or failed, and the
# test ends with the count, failing when any check did.
passed=0
failed=0

# check WHAT COMMAND...: runs COMMAND; WHAT names it when it fails.
check() {
    local what=$1
    shift
    if "$@" >/dev/null 2>&1; then
        passed=$((passed + 1))
    else
        echo "FAIL: $what" >&2
        failed=$((failed + 1))
    fi
}

# prints PATTERN COMMAND...: COMMAND succeeds and a line of its output matches
# the extended regular expression PATTERN.
prints() {
    local pattern=$1 output
    shift
    # Read whole before matching: grep -q stops reading at its match, and a
    # long output would then end its writer with SIGPIPE.
    output=$("$@" 2>&1) || return 1
    grep -Eq -- "$pattern" <<<"$output"
}

# has_line FILE LINE: FILE holds LINE exactly, as a whole line.
has_line() {
    grep -qxF -- "$2" "$1"
}

finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
