# Shared by the scripts: install what is missing, configure, build.
# Source it; it leaves BUILD_DIR set.
set -euo pipefail

ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT_DIR/build}

# fonts-noto-cjk: the client's Chinese text; without a CJK font it shows empty boxes.
# libpq-dev: the PostgreSQL storage; postgresql: the throwaway cluster the tests
# run it against (scripts/pg-cluster).
# desktop-file-utils, dpkg-dev (dpkg-shlibdeps) and systemd (systemd-analyze): the
# checks of the installed tree and of the Debian packages.
# libsimdjson-dev: bench_parse weighs it against the client's answer readers.
# libicu-dev: the server tells display and login names that look alike apart (uspoof).
# xvfb: test_desktop places the windows on an X display of its own; openbox:
# test_window_manager frames them as a desktop does; dbus (dbus-daemon): the
# session bus of its own on which test_desktop_notices serves notifications;
# weston and qt6-wayland: test_wayland runs the client under a compositor of its
# own (headless, with a seat), the package recommending the plugin.
# qt6-charts-dev (with libqt6opengl6-dev, which its CMake files need and Debian
# does not pull in): the statistics tab's chart; qt6-translations-l10n: Qt's own
# texts (standard buttons, file dialogs, calendars) in Chinese.
PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev
          qt6-translations-l10n
          libcpp-httplib-dev nlohmann-json3-dev
          libsqlite3-dev libxlsxwriter-dev libssl-dev zlib1g-dev libbrotli-dev fonts-noto-cjk
          python3-openpyxl desktop-file-utils dpkg-dev systemd
          libmicrohttpd-dev libpq-dev postgresql libsimdjson-dev xvfb openbox dbus
          weston qt6-wayland
          libicu-dev)
# A script that needs more sets EXTRA_PACKAGES before sourcing this one.
PACKAGES+=(${EXTRA_PACKAGES[@]+"${EXTRA_PACKAGES[@]}"})
# lintian, appstream (appstreamcli), man-db (man formats the manual pages) and
# strace (the server's system calls against its unit's filter): the checks of
# the Debian packages, beside those named above.
PACKAGES+=(lintian appstream man-db strace)
# nginx and openssl (its certificate): the test of two servers behind the
# proxy configuration in packaging/proxy.
PACKAGES+=(nginx openssl)

install_missing_packages() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

configure_and_build() {
    cmake -S "$ROOT_DIR" -B "$BUILD_DIR" -G Ninja ${CMAKE_ARGS:-}
    cmake --build "$BUILD_DIR"
}

install_missing_packages
configure_and_build
