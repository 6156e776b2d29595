#!/usr/bin/env bash
# The Windows bundle, zip and installer, each started in a wine prefix made
# fresh for the run, with nothing on its path but what we ship: a DLL or
# plugin the bundle lacks fails here, not on a technician's first start.
#   check-bundle.sh WINDOWS_BUILD_DIR VERSION PREFIX
set -euo pipefail
build=$(readlink -f "$1") version=$2
export WINEPREFIX=$3 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
bundle=$build/bundle/BootloaderWizard
setup=$build/packages/bootloader-wizard-$version-setup.exe
zip=$build/packages/bootloader-wizard-$version-windows.zip
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }
# Runs a program of ours with --version and checks that it started whole:
# its version, Qt's plugins (the wizard), and the bootloader library loaded
# from its own folder, or not loaded (the second argument says which).
started() {
    local program=$1 library=$2 out
    out=$(cd "$work" && wine "$program" --version 2>&1 | tr -d '\r'; exit "${PIPESTATUS[0]}") \
        || fail "$program --version exited with $?: $out"
    grep -qx "BootloaderWizard $version" <<<"$out" || fail "$program printed no version: $out"
    grep -q "^Bootloader library: .*PICBOOT.dll, $library\$" <<<"$out" || fail "$program: library not $library: $out"
    if [[ $program == *bootloader-wizard.exe ]]; then
        grep -q '^Qt plugins: platform windows, style windowsvista, image formats .*\bico\b' <<<"$out" \
            || fail "$program is missing a Qt plugin: $out"
    fi
    echo "ok: $(basename "$program") ($library)"
}

rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || fail "wineboot could not make $WINEPREFIX"
[ -f "$setup" ] || fail "no installer at $setup (is nsis installed?)"

echo "== The bundle and the zip, where they lie"
for program in bootloader-wizard.exe bootloader-cli.exe; do started "$bundle/$program" loaded; done
mkdir "$work/zip" && (cd "$work/zip" && cmake -E tar xf "$zip")
diff <(cd "$bundle" && find . | sort) <(cd "$work/zip/BootloaderWizard" && find . | sort) \
    || fail "the zip does not hold the bundle"
started "$work/zip/BootloaderWizard/bootloader-cli.exe" loaded

echo "== A PICBOOT.dll planted in the working folder is not loaded"
mkdir "$work/lacking" && cp -r "$bundle"/. "$work/lacking/" && rm "$work/lacking/PICBOOT.dll"
cp "$bundle/PICBOOT.dll" "$work/"
for program in bootloader-wizard.exe bootloader-cli.exe; do started "$work/lacking/$program" "not loaded"; done
out=$(cd "$work" && wine "$work/lacking/bootloader-cli.exe" list 2>&1) && fail "list without the library exited 0"
grep -q 'the bootloader library (.*lacking.PICBOOT.dll) is missing' <<<"$out" || fail "list said: $out"
rm "$work/PICBOOT.dll"

echo "== The installer, silently, then the installed programs"
wine "$setup" /S || fail "the installer exited with $?"
wineserver -w
installed="$WINEPREFIX/drive_c/Program Files/Bootloader Wizard"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Bootloader Wizard.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\BootloaderWizard'
[ -f "$menu" ] || fail "no Start-menu entry"
wine reg query "$key" /v DisplayVersion | grep -q "$version" || fail "the uninstall entry lacks the version"
diff <(cd "$bundle" && find . | sort) <(cd "$installed" && find . ! -name uninstall.exe | sort) \
    || fail "the installed folder is not the bundle"
for program in bootloader-wizard.exe bootloader-cli.exe; do
    started "C:\\Program Files\\Bootloader Wizard\\$program" loaded
done

echo "== The uninstaller, silently, leaves nothing behind"
wine "$installed/uninstall.exe" /S || fail "the uninstaller exited with $?"
wineserver -w
[ ! -e "$installed" ] || fail "left behind: $(find "$installed")"
[ ! -e "$menu" ] || fail "the Start-menu entry is left"
! wine reg query "$key" >/dev/null 2>&1 || fail "the uninstall entry is left"
echo "ok: installed, started and uninstalled"
