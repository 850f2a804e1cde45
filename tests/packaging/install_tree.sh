#!/usr/bin/env bash
# The installed tree as an administrator meets it: `cmake --install` of the
# build into a temporary prefix, then the programs, the desktop entry, the
# icon, the systemd units and the backup script, each checked where it landed.
# Usage: install_tree.sh BUILD_DIR
set -uo pipefail
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=$root/usr
if ! cmake --install "$build" --prefix "$prefix" >"$root/install.log" 2>&1; then
    cat "$root/install.log"
    exit 1
fi

for file in bin/solvane bin/solvane-server libexec/solvane/solvane-backup; do
    check "$file is an installed program" test -x "$prefix/$file"
done
for file in share/applications/solvane.desktop share/icons/hicolor/scalable/apps/solvane.svg \
    lib/systemd/system/solvane-server.service lib/systemd/system/solvane-backup.service \
    lib/systemd/system/solvane-backup.timer lib/sysusers.d/solvane-server.conf \
    share/doc/solvane/README.md share/doc/solvane-server/README.md \
    share/doc/solvane/copyright share/doc/solvane-server/copyright \
    share/doc/solvane-server/examples/solvane-nginx.conf \
    share/man/man1/solvane.1.gz share/man/man8/solvane-server.8.gz \
    share/metainfo/example.c_seed_0f1a35ca.solvane.metainfo.xml; do
    check "$file is installed" test -s "$prefix/$file"
done

# --version and --help answer in a terminal with no display.
headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
check "solvane --version" prints '^solvane [0-9]+\.[0-9]+(\.[0-9]+)?$' \
    "${headless[@]}" "$prefix/bin/solvane" --version
check "solvane --help" prints '^Usage: solvane ' "${headless[@]}" "$prefix/bin/solvane" --help
check "solvane-server --version" prints '^solvane-server [0-9]+\.[0-9]+(\.[0-9]+)?$' \
    "$prefix/bin/solvane-server" --version
check "solvane-server --help" prints '^usage: solvane-server ' "$prefix/bin/solvane-server" --help

# The desktop entry validates without a word and starts the installed client
# with the installed icon.
desktop=$prefix/share/applications/solvane.desktop
validation=$(desktop-file-validate "$desktop" 2>&1)
check "desktop-file-validate: $validation" test $? -eq 0 -a -z "$validation"
check "the desktop entry runs solvane" has_line "$desktop" "Exec=solvane"
check "the desktop entry shows the solvane icon" has_line "$desktop" "Icon=solvane"
check "the icon is an SVG document" python3 -c '
import sys, xml.etree.ElementTree as tree
sys.exit(tree.parse(sys.argv[1]).getroot().tag != "{http://www.w3.org/2000/svg}svg")' \
    "$prefix/share/icons/hicolor/scalable/apps/solvane.svg"

# The units: systemd's own verdict where systemd-analyze can run here, and the
# keys that matter in any case.
units=$prefix/lib/systemd/system
probe=$root/probe.service
printf '[Service]\nExecStart=/bin/true\n' >"$probe"
if command -v systemd-analyze >/dev/null && [ -z "$(systemd-analyze verify "$probe" 2>&1)" ]; then
    verdict=$(systemd-analyze verify "$units/solvane-server.service" \
        "$units/solvane-backup.service" "$units/solvane-backup.timer" 2>&1)
    check "systemd-analyze verify: $verdict" test $? -eq 0 -a -z "$verdict"
else
    echo "systemd-analyze verify cannot run here; the units' keys are checked alone"
fi
server_unit=$units/solvane-server.service
# The confinement: what systemd-analyze security weighs, and what keeps the
# TLS files (read under /etc), PostgreSQL's socket (AF_UNIX) and the group's
# way to the backups (the backup unit's UMask) working.
for line in "User=solvane" "Group=solvane" "StateDirectory=solvane" "Restart=on-failure" \
    "NoNewPrivileges=yes" "ProtectSystem=strict" "ProtectHome=yes" "PrivateTmp=yes" \
    "PrivateDevices=yes" "PrivateUsers=yes" "PrivateMounts=yes" "ProtectProc=invisible" \
    "ProcSubset=pid" "DevicePolicy=closed" "UMask=0077" "CapabilityBoundingSet=" \
    "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX" "SystemCallArchitectures=native" \
    "SystemCallFilter=@system-service" "SystemCallFilter=~@privileged @resources" \
    "SystemCallErrorNumber=EPERM" "MemoryDenyWriteExecute=yes" "LimitNOFILE=65536" \
    "WantedBy=multi-user.target" \
    "ExecStart=$prefix/bin/solvane-server --db /var/lib/solvane/solvane.db \$SOLVANE_SERVER_OPTIONS"; do
    check "solvane-server.service: $line" has_line "$server_unit" "$line"
done
backup_unit=$units/solvane-backup.service
for line in "Type=oneshot" "User=solvane" "NoNewPrivileges=yes" "ProtectSystem=strict" \
    "UMask=0027" "StateDirectoryMode=0750" "PrivateNetwork=yes" \
    "ExecStart=$prefix/libexec/solvane/solvane-backup /var/lib/solvane/solvane.db /var/lib/solvane/backup 7"; do
    check "solvane-backup.service: $line" has_line "$backup_unit" "$line"
done
for line in "OnCalendar=daily" "Persistent=true" "WantedBy=timers.target"; do
    check "solvane-backup.timer: $line" has_line "$units/solvane-backup.timer" "$line"
done

# systemd's own rating of the confinement, from the unit files alone.
# exposure UNIT: the overall exposure systemd-analyze gives UNIT, 0.0 to 10.0.
exposure() {
    systemd-analyze security --offline=yes --no-pager "$1" 2>/dev/null |
        sed -n 's/^.*Overall exposure level for [^:]*: \([0-9.]*\) .*$/\1/p'
}
if command -v systemd-analyze >/dev/null && [ -n "$(exposure "$server_unit")" ]; then
    for unit in "$server_unit" "$backup_unit"; do
        level=$(exposure "$unit")
        echo "systemd-analyze security: $(basename "$unit") $level"
        check "$(basename "$unit") is rated 1.5 or lower, not $level" \
            awk -v level="$level" 'BEGIN { exit !(level <= 1.5) }'
    done
else
    echo "systemd-analyze security cannot run here; the units' keys are checked alone"
fi

# The backup script keeps the newest 7 copies and its own copy is sound.
db=$root/live.db
"$prefix/bin/solvane-server" --db "$db" --add-member tb58 pw Mareth >/dev/null
copies=$root/copies
mkdir -p "$copies"
for day in 01 02 03 04 05 06 07 08; do
    cp "$db" "$copies/solvane-202001$day-090000.db"
done
check "solvane-backup runs" "$prefix/libexec/solvane/solvane-backup" "$db" "$copies" 7
check "7 copies are kept" test "$(find "$copies" -name 'solvane-*.db' | wc -l)" -eq 7
check "the oldest copies are gone" test ! -e "$copies/solvane-20200102-090000.db"
check "the oldest kept copy stays" test -e "$copies/solvane-20200103-090000.db"
newest=$(find "$copies" -name 'solvane-*.db' | sort | tail -n 1)
check "the new copy is the newest" test "$newest" != "$copies/solvane-20200108-090000.db"
check "the new copy passes --check" "$prefix/bin/solvane-server" --db "$newest" --check

finish
