#!/usr/bin/env bash
# The server's system calls stay within the filter of its systemd unit: the
# server runs under strace, serving a few requests and making a checked copy,
# and every call it makes must be one SystemCallFilter= lets through. A call
# outside it would fail with EPERM under the unit.
# Usage: system_calls.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

build=$1
source_dir=$2
server=$build/server/solvane-server
unit=$source_dir/packaging/systemd/solvane-server.service.in
if ! command -v strace >/dev/null || ! command -v systemd-analyze >/dev/null ||
    ! strace -f -qq -o /dev/null true 2>/dev/null; then
    echo "strace or systemd-analyze cannot run here; skipped"
    exit 0
fi
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT

# The calls the unit's SystemCallFilter= lines allow, groups expanded.
grep '^SystemCallFilter=' "$unit" | sed 's/^SystemCallFilter=//' >"$work/filter"
check "the unit filters system calls" test -s "$work/filter"
python3 - "$work/filter" >"$work/allowed" <<'PY'
import subprocess, sys

def expand(name):
    if not name.startswith('@'):
        return {name}
    listing = subprocess.run(['systemd-analyze', 'syscall-filter', name],
                             capture_output=True, text=True, check=True).stdout
    calls = set()
    for line in listing.splitlines()[1:]:
        word = line.strip()
        if word and not word.startswith('#'):
            calls |= expand(word)
    return calls

allowed = set()
for line in open(sys.argv[1]).read().splitlines():
    deny = line.startswith('~')
    names = set().union(*(expand(word) for word in line.lstrip('~').split()))
    allowed = allowed - names if deny else allowed | names
print('\n'.join(sorted(allowed)))
PY

# serve: a demo database on a free port, a handshake, a member's query and a
# wait for changes, then SIGTERM.
traced() { strace -f -qq -o "$work/trace.$1" "${@:2}"; }
mkfifo "$work/out"
strace -f -qq -o "$work/trace.serve" "$server" --db "$work/solvane.db" --port 0 --demo >"$work/out" 2>"$work/log" &
pid=$!
# The server names its port once it listens.
port=
exec 3<"$work/out"
while IFS= read -r line <&3; do
    port=$(echo "$line" | sed -n 's/.*listening on [^:]*:\([0-9]*\).*/\1/p')
    [ -n "$port" ] && break
done
check "the traced server listens" test -n "$port"
python3 - "$port" <<'PY'
import base64, sys, urllib.request, urllib.error
base = 'http://127.0.0.1:%s/datasnap/' % sys.argv[1]
auth = {'Authorization': 'Basic ' + base64.b64encode(b'tb58:solvane').decode()}
for path, body in [('', None), ('rest/TZelServerDataBase/OpenSQL', b'select * from Programe'),
                   ('changes', None)]:
    request = urllib.request.Request(base + path, data=body, headers=auth)
    try:
        urllib.request.urlopen(request, timeout=10).read()
    except urllib.error.HTTPError:
        pass  # a refusal goes through the same calls
PY
# The server is strace's child; strace ends with it.
server_pid=$(ps -o pid= --ppid "$pid" | tr -d ' ')
kill -TERM "$server_pid"
wait "$pid"
pid=
exec 3<&-
check "the traced server stopped cleanly" grep -q 'solvane-server stopped' "$work/log"
check "the traced copy is made" traced backup "$server" --db "$work/solvane.db" --check \
    --backup "$work/copy.db"

# SQLite hands its files to the database's owner only when running as root,
# which the unit never does.
# Each line of a trace is a thread's id and a call.
sed -E 's/^[0-9]+ +//' "$work"/trace.* | grep -oE '^[a-z_0-9]+\(' | tr -d '(' | sort -u >"$work/used"
check "the traces hold the calls the server made" grep -qx accept4 "$work/used"
outside=$(comm -23 "$work/used" "$work/allowed" | grep -vx fchown)
check "every call is within the filter, not: ${outside//$'\n'/ }" test -z "$outside"

finish
