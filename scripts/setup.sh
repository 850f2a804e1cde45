# Shared by scripts/test and scripts/run: install what is missing, configure, build.
# Source it; it leaves BUILD_DIR set.
set -euo pipefail

ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT_DIR/build}

PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libcpp-httplib-dev nlohmann-json3-dev
          libsqlite3-dev libxlsxwriter-dev libssl-dev zlib1g-dev libbrotli-dev
          libmicrohttpd-dev)

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
