#!/usr/bin/env bash
# Builds Quelm on Debian, installing what the build needs first.
#   ./build.sh run    build, then start quelm (extra arguments go to quelm)
#   ./build.sh test   build, then run every test
#   ./build.sh build  build only
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ qt6-base-dev zlib1g-dev libgl-dev procps iproute2 util-linux)
BUILD_DIR=${QUELM_BUILD_DIR:-build}

install_missing_packages() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

build() {
    install_missing_packages
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$BUILD_DIR" -j "$(nproc)"
}

command=${1:-run}
[ $# -gt 0 ] && shift
case "$command" in
    build) build ;;
    run) build; exec "$BUILD_DIR/quelm" "$@" ;;
    test) build; QT_QPA_PLATFORM=offscreen ctest --test-dir "$BUILD_DIR" --output-on-failure -j 2 ;;
    *) echo "usage: $0 [run|test|build]" >&2; exit 2 ;;
esac
