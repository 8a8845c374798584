#!/usr/bin/env bash
# Morvel's one entry point for set-up, build and tests on Debian 12.
#
#   ./dev.sh demo   install what the build needs, build, and convert the
#                   bundled Shift-JIS sample to UTF-8 on standard output
#   ./dev.sh test   install what the build and tests need, then build and run
#                   every test: the Release build (warnings as errors), the
#                   AddressSanitizer/UndefinedBehaviorSanitizer build, and a
#                   short run of every fuzz target (FUZZ_SECONDS each, 5 by
#                   default)
#   ./dev.sh build  install and build only (build/)
#   ./dev.sh screenshots
#                   build, then take docs/screenshots/*.png of the dialog in
#                   both languages and of the about box under Xvfb
set -euo pipefail
cd "$(dirname "$0")"

# The dialog (morvel-dialog) is Qt 6 Widgets with its SVG module.
BUILD_PACKAGES=(cmake ninja-build g++ make pkg-config libxcb1-dev libxcb-xfixes0-dev libxcb-xtest0-dev
    qt6-base-dev qt6-svg-dev)
# The desktop tests: an X server (xauth is only recommended by xvfb, so it is
# named), a window manager, the clipboard tools, and a headless Wayland
# compositor; for the dialog a CJK font (Japanese labels), synthetic keys and
# xprop; for the package test dpkg-shlibdeps and the desktop entry's checker.
TEST_PACKAGES=(libgtest-dev clang libclang-rt-14-dev python3 xvfb xauth xclip openbox wl-clipboard sway
    fonts-noto-cjk xdotool x11-utils dpkg-dev desktop-file-utils)
JOBS=${JOBS:-$(nproc)}

ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "dev.sh: installing ${missing[*]}" >&2
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_and_build() {  # dir, cmake options...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -Wno-dev "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS" >&2
}

build_release() {
    configure_and_build build -DCMAKE_BUILD_TYPE=Release -DMORVEL_WERROR=ON -DMORVEL_BENCH=OFF "$@"
}

run_tests() {
    local status=0
    ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

    echo "== Release build and tests"
    build_release
    (cd build && ctest --output-on-failure -j "$JOBS") || status=1

    echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
    configure_and_build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEL_SANITIZE=ON -DMORVEL_BENCH=OFF \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
    (cd build-asan && ctest --output-on-failure -j "$JOBS") || status=1

    echo "== Fuzz targets, ${FUZZ_SECONDS:-5} s each"
    configure_and_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEL_FUZZ=ON -DMORVEL_BENCH=OFF \
        -DMORVEL_FUZZ_SECONDS="${FUZZ_SECONDS:-5}" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
    (cd build-fuzz && ctest --output-on-failure -j "$JOBS") || status=1
    return $status
}

case "${1:-}" in
    demo)
        ensure_packages "${BUILD_PACKAGES[@]}"
        configure_and_build build -DCMAKE_BUILD_TYPE=Release -DMORVEL_TESTS=OFF -DMORVEL_BENCH=OFF
        build/morvel /ST res/samples/sample-sjis.txt /dev/stdout
        ;;
    build)
        ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
        build_release
        ;;
    test)
        run_tests
        ;;
    screenshots)
        ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" imagemagick
        build_release
        version=$(build/morvel --version | cut -d' ' -f2)
        tests/ui/dialog_e2e.sh screenshots build/morvel "$version" docs/screenshots
        ls docs/screenshots
        ;;
    *)
        echo "usage: ./dev.sh demo|test|build|screenshots" >&2
        exit 2
        ;;
esac
