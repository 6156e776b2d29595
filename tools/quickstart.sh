#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and then either runs the demo
# (the wizard against a virtual panel) or the whole test suite.
#   tools/quickstart.sh demo
#   tools/quickstart.sh test
set -euo pipefail

mode=${1:-}
case "$mode" in
    demo|test) ;;
    *) echo "usage: $0 demo|test" >&2; exit 2 ;;
esac

top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
jobs=$(nproc 2>/dev/null || echo 2)

say() { printf '\n==> %s\n' "$*"; }

packages=(build-essential cmake ninja-build pkg-config
          qtbase5-dev libqt5serialport5-dev
          srecord g++-mingw-w64-x86-64
          xvfb xauth)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    say "Installing Debian packages: ${missing[*]}"
    if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
else
    say "All Debian packages are present"
fi

say "Configuring in $build"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

say "Building with $jobs jobs"
cmake --build "$build" -j "$jobs"

if [ "$mode" = test ]; then
    say "Cross-compiling the bootloader library for Windows (mingw-w64)"
    cmake -S "$top" -B "$build-win" -G Ninja -DPICBOOT_ONLY=ON \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake"
    cmake --build "$build-win" -j "$jobs"

    say "Running the test suite"
    cd "$build"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs"
    exit $?
fi

say "Starting the wizard against a virtual panel"
program="$build/bin/wizard-demo"
[ -x "$program" ] || program="$build/bin/bootloader-wizard"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running under xvfb-run (nothing will be visible; set DISPLAY to see the window)."
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$program"
fi
exec "$program"
