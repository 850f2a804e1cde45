#!/usr/bin/env bash
# Builds the two Debian packages from the build with CPack, lists their
# contents and dependencies, and checks what an `apt install` of them relies on.
# Usage: debian_packages.sh BUILD_DIR
set -uo pipefail
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log"
    exit 1
fi
client=$(find "$out" -maxdepth 1 -name 'solvane_*.deb')
server=$(find "$out" -maxdepth 1 -name 'solvane-server_*.deb')
for deb in "$client" "$server"; do
    echo "== $(basename "$deb")"
    dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
    dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print "   ", $6 }'
done
check "the client package is built" test -f "$client"
check "the server package is built" test -f "$server"

# The contents of one package as a list of paths.
contents() { dpkg-deb --contents "$1" | awk '{ print $6 }'; }
# depends DEB NAME: the package's Depends names NAME.
depends() { dpkg-deb --field "$1" Depends | tr ',' '\n' | grep -Eq "^ *$2( |$)"; }

for path in ./usr/bin/solvane ./usr/share/applications/solvane.desktop \
    ./usr/share/icons/hicolor/scalable/apps/solvane.svg ./usr/share/doc/solvane/README.md \
    ./usr/share/doc/solvane/copyright ./usr/share/doc/solvane/changelog.Debian.gz \
    ./usr/share/man/man1/solvane.1.gz \
    ./usr/share/metainfo/example.c_seed_0f1a35ca.solvane.metainfo.xml; do
    check "solvane holds $path" has_line <(contents "$client") "$path"
done
for path in ./usr/bin/solvane-server ./usr/lib/systemd/system/solvane-server.service \
    ./usr/lib/systemd/system/solvane-backup.service ./usr/lib/systemd/system/solvane-backup.timer \
    ./usr/lib/sysusers.d/solvane-server.conf ./usr/libexec/solvane/solvane-backup \
    ./usr/share/doc/solvane-server/README.md ./usr/share/doc/solvane-server/copyright \
    ./usr/share/doc/solvane-server/changelog.Debian.gz ./usr/share/man/man8/solvane-server.8.gz \
    ./usr/share/doc/solvane-server/examples/solvane-nginx.conf; do
    check "solvane-server holds $path" has_line <(contents "$server") "$path"
done
check "the client holds no server" test -z "$(contents "$client" | grep solvane-server)"

# Dependencies: the libraries the binaries link, computed by dpkg-shlibdeps,
# and what the client needs beyond them.
for name in libc6 libqt6core6 libqt6widgets6 fonts-noto-cjk qt6-qpa-plugins; do
    check "solvane depends on $name" depends "$client" "$name"
done
for name in libc6 libsqlite3-0; do
    check "solvane-server depends on $name" depends "$server" "$name"
done
check "solvane recommends qt6-wayland" has_line \
    <(dpkg-deb --field "$client" Recommends | tr ',' '\n' | sed 's/^ *//') qt6-wayland
check "solvane-server needs no Qt" test -z "$(dpkg-deb --field "$server" Depends | grep -i qt)"

# The unit inside names the packaged program.
unit=$(dpkg-deb --fsys-tarfile "$server" | tar -xO ./usr/lib/systemd/system/solvane-server.service)
check "the packaged unit runs /usr/bin/solvane-server" has_line <(echo "$unit") \
    "ExecStart=/usr/bin/solvane-server --db /var/lib/solvane/solvane.db \$SOLVANE_SERVER_OPTIONS"

# The maintainer scripts create the user and enable or start nothing; they
# reach systemd through deb-systemd-helper and deb-systemd-invoke, which
# respect policy-rc.d and a system not booted with systemd.
control=$out/control
dpkg-deb --control "$server" "$control"
for script in postinst prerm postrm; do
    check "$script is executable" test -x "$control/$script"
    check "$script is valid sh" sh -n "$control/$script"
    check "$script enables and starts nothing" test -z \
        "$(grep -E 'systemctl +(enable|start|restart)|deb-systemd-(helper +enable|invoke +start)' \
            "$control/$script")"
    check "$script calls systemctl for daemon-reload only" test -z \
        "$(grep -E '(^|[;&|] *)systemctl ' "$control/$script" | grep -v daemon-reload)"
done
check "postinst keeps the links of enabled units known for purge" \
    grep -q 'deb-systemd-helper update-state' "$control/postinst"
check "an upgrade restarts a running server only" \
    grep -q 'deb-systemd-invoke try-restart solvane-server.service' "$control/postinst"
check "prerm stops the server and the timer" \
    grep -q 'deb-systemd-invoke stop solvane-server.service solvane-backup.timer' "$control/prerm"
check "postrm forgets the units on purge" grep -q 'deb-systemd-helper purge' "$control/postrm"
check "postinst creates the user solvane" grep -q 'systemd-sysusers solvane-server.conf' \
    "$control/postinst"
sysusers=$(dpkg-deb --fsys-tarfile "$server" | tar -xO ./usr/lib/sysusers.d/solvane-server.conf)
check "the user is declared for systemd-sysusers" prints '^u solvane ' echo "$sysusers"

# The changelog's newest entry is the packages' version.
for deb in "$client" "$server"; do
    name=$(dpkg-deb --field "$deb" Package)
    changelog=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/doc/$name/changelog.Debian.gz" |
        gzip -dc | head -n 1)
    check "$name's changelog starts at its version" test \
        "$changelog" != "${changelog#solvane ("$(dpkg-deb --field "$deb" Version)") }"
done

# What the software centres read of the client, and its desktop entry, as
# packaged.
tree=$out/client-tree
mkdir -p "$tree"
dpkg-deb --extract "$client" "$tree"
validation=$(appstreamcli validate --no-net \
    "$tree"/usr/share/metainfo/*.metainfo.xml 2>&1)
check "appstreamcli validate: $validation" test $? -eq 0
check "the AppStream entry launches the desktop entry" \
    grep -q '<launchable type="desktop-id">solvane.desktop</launchable>' \
    "$tree"/usr/share/metainfo/*.metainfo.xml
validation=$(desktop-file-validate "$tree/usr/share/applications/solvane.desktop" 2>&1)
check "desktop-file-validate: $validation" test $? -eq 0 -a -z "$validation"

# Debian's own verdict: no error and no warning. Overrides are read from the
# packages; each says why its tag is wrong here.
verdict=$(lintian --tag-display-limit 0 "$client" "$server" 2>&1 |
    grep -v '^running with root privileges')
echo "$verdict" | sed 's/^/    lintian: /'
check "lintian finds no error or warning" test -z "$(echo "$verdict" | grep -E '^[EW]: ')"
check "lintian ran" test -z "$(echo "$verdict" | grep -Eiv '^[EWIPNOX]: ' | grep .)"

finish
