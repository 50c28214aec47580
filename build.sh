#!/usr/bin/env bash
# Builds Quelm on Debian, installing what the build needs first.
#   ./build.sh run    build, then start quelm (extra arguments go to quelm)
#   ./build.sh test   build, then run every test
#   ./build.sh build  build only
#   ./build.sh package         build, then the Debian package build/quelm_VERSION-1_ARCH.deb,
#                              checked by lintian, desktop-file-validate and appstreamcli where installed
#   ./build.sh sanitize        build with AddressSanitizer and UndefinedBehaviorSanitizer
#                              in build-sanitize/, then run every test there
#   ./build.sh fuzz [SECONDS]  build the libFuzzer targets with clang in build-fuzz/,
#                              then run each for SECONDS (default 20) on its corpus
set -euo pipefail
cd "$(dirname "$0")"

# dpkg-dev (dpkg-shlibdeps), file, man-db, desktop-file-utils and appstream
# build and check the Debian package, in ./build.sh package and in the tests;
# dbus gives the tests a private session bus.
PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-webengine-dev zlib1g-dev libssl-dev libgl-dev procps iproute2 util-linux clang
          libclang-rt-14-dev dpkg-dev file man-db desktop-file-utils appstream dbus xvfb x11-utils)
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

sanitize() {
    install_missing_packages
    local dir=build-sanitize
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELM_SANITIZE=ON
    cmake --build "$dir" -j "$(nproc)"
    # Leaks inside the system's libraries (fonts, the platform plugin, the web
    # engine) are not ours; the web engine's own library also frees objects
    # through a type of another size, which the new/delete check would report.
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:new_delete_type_mismatch=0 \
        LSAN_OPTIONS=suppressions=$PWD/tests/sanitize/lsan.supp:print_suppressions=0 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j 2 --timeout 900
}

package() {
    build
    (cd "$BUILD_DIR" && cpack)
    local deb
    deb=$(ls -t "$BUILD_DIR"/quelm_*.deb | head -n 1)
    dpkg-deb --info "$deb"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate desktop/quelm.desktop
    fi
    if command -v appstreamcli >/dev/null; then
        appstreamcli validate --no-net desktop/net.example.quelm.metainfo.xml
    fi
    # Warnings are listed (the README says which remain and why); errors fail.
    if command -v lintian >/dev/null; then
        lintian --fail-on error "$deb"
    fi
    echo "Built $deb"
}

fuzz() {
    local seconds=${1:-20}
    install_missing_packages
    local dir=build-fuzz
    CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELM_FUZZ=ON
    cmake --build "$dir" -j "$(nproc)" --target fuzz_targets
    local failed=0
    for target in "$dir"/tests/fuzz/fuzz_*; do
        # The build also leaves folders of generated code beside the targets.
        [ -f "$target" ] && [ -x "$target" ] || continue
        local name
        name=$(basename "$target")
        name=${name#fuzz_}
        # New inputs go to a working corpus beside the build; the seeds in
        # the repository stay as they are.
        mkdir -p "$dir/corpus/$name" "$dir/findings/$name"
        echo "== fuzz_$name for ${seconds}s"
        ASAN_OPTIONS=detect_leaks=0 QUELM_ADDRESS=127.0.0.1 \
            "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="$dir/findings/$name/" "$dir/corpus/$name" "tests/fuzz/corpus/$name" \
            || failed=1
    done
    return $failed
}

command=${1:-run}
[ $# -gt 0 ] && shift
case "$command" in
    build) build ;;
    run) build; exec "$BUILD_DIR/quelm" "$@" ;;
    test) build; QT_QPA_PLATFORM=offscreen ctest --test-dir "$BUILD_DIR" --output-on-failure -j 2 ;;
    package) package ;;
    sanitize) sanitize ;;
    fuzz) fuzz "$@" ;;
    *) echo "usage: $0 [run|test|build|package|sanitize|fuzz [SECONDS]]" >&2; exit 2 ;;
esac
