#!/usr/bin/env bash
# The Debian package as a technician gets it: built, unpacked into a scratch
# folder, checked for the rule, the desktop entry, the icons, and the program
# beside its library, then the unpacked program started far enough to report
# the library it found. lintian, where installed, must report no error.
#   check-package.sh BUILD-FOLDER ICON-SIZE...
set -euo pipefail
build=$1
shift
cd "$build"
cpack -G DEB > package-test.log 2>&1 || { cat package-test.log; exit 1; }
deb=$(ls -t packages/bootloader-wizard_*.deb | head -n 1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

fail() { echo "FAIL: $*" >&2; exit 1; }
has() { [ -e "$root/$1" ] || fail "the package lacks $1"; }

rule=lib/udev/rules.d/70-bootloader-wizard.rules
has "$rule"
grep -q 'SUBSYSTEM=="tty", ATTRS{idVendor}=="10c4", ATTRS{idProduct}=="ea60", TAG+="uaccess"' "$root/$rule" \
    || fail "the rule does not give the CP210x to the logged-in user"
grep -q 'ENV{ID_MM_DEVICE_IGNORE}="1"' "$root/$rule" || fail "the rule does not keep ModemManager away"

desktop=usr/share/applications/bootloader-wizard.desktop
has "$desktop"
grep -qx 'Exec=bootloader-wizard' "$root/$desktop" || fail "the desktop entry does not start the command"
grep -qx 'Icon=bootloader-wizard' "$root/$desktop" || fail "the desktop entry names another icon"
for size in "$@"; do
    has "usr/share/icons/hicolor/${size}x${size}/apps/bootloader-wizard.png"
done

program=usr/lib/bootloader-wizard/bootloader-wizard
has "$program"
has usr/lib/bootloader-wizard/libPICBOOT.so
[ -x "$root/$program" ] || fail "the program is not executable"
for command in bootloader-wizard bootloader-cli; do
    [ "$(readlink "$root/usr/bin/$command")" = "../lib/bootloader-wizard/$command" ] \
        || fail "the command $command on the PATH does not lead to its program"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt5core5a libqt5widgets5 libqt5serialport5; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

report=$(QT_QPA_PLATFORM=offscreen timeout 20 "$root/usr/bin/bootloader-wizard" --version 2>/dev/null)
library=$(cd "$root/usr/lib/bootloader-wizard" && pwd -P)/libPICBOOT.so
grep -qxF "Bootloader library: $library, loaded" <<<"$report" \
    || fail "the unpacked program did not load its library: $report"

if command -v lintian > /dev/null; then
    lintian --fail-on error "$deb" || fail "lintian reports errors"
else
    echo "lintian is not installed: the package was not linted"
fi
echo "package $(basename "$deb"), $(stat -c %s "$deb") bytes: checked"
