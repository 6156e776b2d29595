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

packages=(build-essential cmake ninja-build pkg-config python3
          qtbase5-dev libqt5serialport5-dev
          srecord g++-mingw-w64-x86-64
          xvfb xauth)
# Only the tests need these: the Windows program runs under wine (its
# installer is made with nsis, signed with osslsigncode and a certificate
# made with openssl), and the Debian package is checked with lintian. Their
# recommended packages are not needed.
lean=()
[ "$mode" = test ] && lean=(wine wine64 lintian nsis osslsigncode openssl python3-jsonschema)

absent() {
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}
missing=($(absent "${packages[@]}"))
missing_lean=($(absent "${lean[@]}"))
if [ $((${#missing[@]} + ${#missing_lean[@]})) -gt 0 ]; then
    say "Installing Debian packages: ${missing[*]} ${missing_lean[*]}"
    if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
    $sudo apt-get update -qq
    export DEBIAN_FRONTEND=noninteractive
    [ ${#missing[@]} -eq 0 ] || $sudo apt-get install -y -qq "${missing[@]}"
    [ ${#missing_lean[@]} -eq 0 ] || $sudo apt-get install -y -qq --no-install-recommends "${missing_lean[@]}"
else
    say "All Debian packages are present"
fi

# The tests also build the Windows program, its bundle and installer, when
# Qt for Windows is at hand (../shared/windows, or WIZARD_WINDOWS_QT=...).
windows=()
if [ "$mode" = test ]; then
    windows=(-DWIZARD_WINDOWS_PROGRAM=ON)
    [ -n "${WIZARD_WINDOWS_QT:-}" ] && windows+=(-DWIZARD_WINDOWS_QT="$WIZARD_WINDOWS_QT")
    # Without the vendor's certificate, a throw-away one: the build signs
    # with it, and the tests check every signature against its own CA.
    if [ -z "${WIZARD_SIGN_PFX:-}" ]; then
        certificate=$build/throwaway-certificate
        [ -f "$certificate/signer.pfx" ] || bash "$top/tests/windows/throwaway-cert.sh" "$certificate"
        export WIZARD_SIGN_PFX=$certificate/signer.pfx
        WIZARD_SIGN_PASSWORD=$(cat "$certificate/password")
        export WIZARD_SIGN_PASSWORD
        windows+=(-DWIZARD_SIGN_VERIFY_CA="$certificate/ca.pem")
    fi
fi

say "Configuring in $build"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${windows[@]}"

say "Building with $jobs jobs"
cmake --build "$build" -j "$jobs"

if [ "$mode" = test ]; then
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
