#!/usr/bin/env bash
# The Windows bundle, zip and installer, each started in a wine prefix made
# fresh for the run, with nothing on its path but what we ship: a DLL or
# plugin the bundle lacks fails here, not on a technician's first start.
# With CA (the certificate the build signed with was issued by it), every
# program of ours, PICBOOT.dll, the installer and the uninstaller must carry a
# signature that verifies against it.
#   check-bundle.sh WINDOWS_BUILD_DIR VERSION PREFIX [CA]
set -euo pipefail
build=$(readlink -f "$1") version=$2 ca=${4:-}
source=$(cd "$(dirname "$0")/../.." && pwd)
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
# What Windows reads from a file of ours: its version; an .exe's manifest (a
# program's as we wrote it; the installer's asking for no administrator);
# and, with a CA, a valid signature.
ours() {
    local file=$1 name info fact
    name=$(basename "$file")
    info=$(python3 "$source/tests/windows/peinfo.py" "$file") || fail "$name: $info"
    grep -qx "version $version.0" <<<"$info" || fail "$name carries no version $version: $info"
    case $name in
        *.exe) grep -qx "manifest 1" <<<"$info" || fail "$name has no manifest"
               grep -qF "requestedExecutionLevel level=asInvoker" <<<"$info" || fail "$name asks for an administrator" ;;
    esac
    if [[ $name == bootloader-wizard.exe || $name == bootloader-cli.exe ]]; then
        for fact in "supportedOS Id={8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" "2005/WindowsSettings}dpiAware  true/pm" \
                    "2016/WindowsSettings}dpiAwareness  permonitor" "longPathAware  true" \
                    "name=Microsoft.Windows.Common-Controls processorArchitecture=* publicKeyToken=6595b64144ccf1df type=win32 version=6.0.0.0"; do
            grep -qF "$fact" <<<"$info" || fail "$name: the manifest lacks $fact"
        done
    fi
    if [ -n "$ca" ]; then
        osslsigncode verify -CAfile "$ca" -in "$file" >/dev/null 2>&1 || fail "$name: no valid signature by the test certificate"
    fi
}
# The bench's Start-menu entry, beside the wizard's (MENU): cmd with a
# title, in the Documents folder given (C:\...), where its command, typed
# into cmd, finds bootloader-cli on the path.
bench() {
    local link menu=$1 documents=$2 lines command out
    link=$(dirname "$menu")/Bancada.lnk
    [ -f "$link" ] || fail "no Bancada entry in $(dirname "$menu")"
    lines=$(strings -el "$link")  # a string's length may show as a character before it
    grep -qF "$documents" <<<"$lines" || fail "Bancada does not open in $documents: $lines"
    command=$(grep -o '/k "title Bancada - bootloader-cli & .*' <<<"$lines") || fail "Bancada: no titled console: $lines"
    command=${command#/k \"}
    out=$(cd "$(winepath -u "$documents")" && printf '%s\r\n' "${command%\"}" | wine cmd 2>&1 | tr -d '\r')
    grep -qF "$documents>Usage: bootloader-cli COMMAND" <<<"$out" || fail "Bancada's console: $out"
    echo "ok: Bancada opens in $documents with bootloader-cli on its path"
}
# Nothing of an install is left: its folder, Start-menu entries, uninstall key.
removed() {
    local folder=$1 menu=$2 key=$3
    [ ! -e "$folder" ] || fail "left behind: $(find "$folder")"
    [ ! -e "$menu" ] || fail "the Start-menu entry is left"
    [ ! -e "$(dirname "$menu")/Bancada.lnk" ] || fail "the Bancada entry is left"
    ! wine reg query "$key" >/dev/null 2>&1 || fail "the uninstall entry is left: $key"
}

rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || fail "wineboot could not make $WINEPREFIX"
[ -f "$setup" ] || fail "no installer at $setup (is nsis installed?)"

echo "== Version, manifests${ca:+ and signatures}"
for file in "$bundle"/bootloader-wizard.exe "$bundle"/bootloader-cli.exe "$bundle"/PICBOOT.dll "$setup"; do ours "$file"; done
[ -n "$ca" ] || echo "(no test CA given: signatures not checked)"
echo "ok: the programs, the library and the installer"

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

key=Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BootloaderWizard
telephone=$(sed -n 's/.*SupportTelephone\[\] *= *"\([^"]*\)".*/\1/p' "$source/pages/contacts.h")
user=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local | grep -v /Public/ | head -1)
user=${user%/AppData/Local}

echo "== The installer, silently, for this user: no administrator, nothing of the machine's"
wine "$setup" /S || fail "the installer exited with $?"
wineserver -w
installed="$user/AppData/Local/Programs/Bootloader Wizard"
menu="$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Bootloader Wizard.lnk"
[ -f "$menu" ] || fail "no Start-menu entry in the user's menu"
bench "$menu" "C:\\users\\$(basename "$user")\\Documents"
entry=$(wine reg query "HKCU\\$key" | tr -d '\r') || fail "no uninstall entry under HKCU"
for value in "DisplayVersion +REG_SZ +$version" "EstimatedSize +REG_DWORD +0x[0-9a-f]{4}" \
             "HelpTelephone +REG_SZ +\\Q$telephone\\E"; do
    grep -qP "^ +$value\$" <<<"$entry" || fail "the uninstall entry lacks $value: $entry"
done
! wine reg query "HKLM\\$key" >/dev/null 2>&1 || fail "a per-user install wrote HKLM"
diff <(cd "$bundle" && find . | sort) <(cd "$installed" && find . ! -name uninstall.exe | sort) \
    || fail "the installed folder is not the bundle"
ours "$installed/uninstall.exe"
started "$installed/bootloader-cli.exe" loaded

echo "== An install while bootloader-cli runs is refused, and changes nothing"
# The tool waits on a firmware file that is a pipe nobody writes to, holding
# its mark until the pipe is closed.
fifo=$work/firmware.hex
mkfifo "$fifo" && exec 3<>"$fifo"
(wine "$installed/bootloader-cli.exe" update "Z:${fifo//\//\\}" --port COM7 >/dev/null 2>&1 3>&-) 3>&- &
cli=$!
# Once a process other than a shell has the pipe open, the tool has taken
# its mark (it does so first thing). Our shell and the subshell that starts
# wine hold the pipe too, for a moment.
opened() {
    local pid
    for pid in $(find /proc/[0-9]*/fd -lname "$fifo" 2>/dev/null | cut -d/ -f3 | sort -u); do
        [ "$(cat "/proc/$pid/comm" 2>/dev/null)" != bash ] && return 0
    done
    return 1
}
for _ in $(seq 150); do opened && break; sleep 0.2; done
touch -d '2001-01-01' "$installed/PICBOOT.dll"
status=0; wine "$setup" /S || status=$?
exec 3>&-
wait "$cli" || true
[ "$status" = 3 ] || fail "the installer ran beside bootloader-cli: exit $status, not 3"
[ "$(stat -c %Y "$installed/PICBOOT.dll")" = "$(date -d '2001-01-01' +%s)" ] || fail "the refused install wrote files"
echo "ok: refused with exit code 3"

echo "== The per-user uninstaller leaves nothing behind"
wine "$installed/uninstall.exe" /S || fail "the uninstaller exited with $?"
wineserver -w
removed "$installed" "$menu" "HKCU\\$key"
echo "ok: installed for this user, started, refused beside a running program, uninstalled"

echo "== For every user: a previous version with one DLL more, then this one over it"
# The previous version: this bundle plus a DLL this version no longer has.
stale=libstale-1.dll
cp "$bundle/PICBOOT.dll" "$work/$stale"
awk -v file="$work/$stale" -v name="$stale" '
    /^!macro InstallBundle/ { install = 1 } /^!macro RemoveBundle/ { install = 0 }
    /^!macroend/ { print (install ? "  File \"" file "\"" : "  Delete \"$INSTDIR\\" name "\"") }
    { print }' "$build/bundle/files.nsh" >"$work/previous.nsh"
makensis -V1 -X"SetCompressor /FINAL zlib" -DVERSION=1.0.0 -DFILES="$work/previous.nsh" \
    -DICON="$source/resources/images/bootloaderwizardapp.ico" -DOUTFILE="$work/previous-setup.exe" \
    "$source/packaging/windows/installer.nsi" >/dev/null || fail "could not make the previous version's installer"
wine "$work/previous-setup.exe" /S /AllUsers || fail "the previous version's installer exited with $?"
wineserver -w
installed="$WINEPREFIX/drive_c/Program Files/Bootloader Wizard"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Bootloader Wizard.lnk"
[ -f "$installed/$stale" ] || fail "the previous version was not installed for every user"
# No switch: the kind already installed is kept.
wine "$setup" /S || fail "the installer exited with $?"
wineserver -w
[ -f "$menu" ] || fail "no Start-menu entry"
bench "$menu" 'C:\users\Public\Documents'
wine reg query "HKLM\\$key" /v DisplayVersion | grep -q "$version" || fail "the uninstall entry lacks the version"
! wine reg query "HKCU\\$key" >/dev/null 2>&1 || fail "the update went to this user, not to every user"
diff <(cd "$bundle" && find . | sort) <(cd "$installed" && find . ! -name uninstall.exe | sort) \
    || fail "the updated folder is not the bundle"
for program in bootloader-wizard.exe bootloader-cli.exe; do
    started "C:\\Program Files\\Bootloader Wizard\\$program" loaded
done

echo "== The per-machine uninstaller leaves nothing behind"
wine "$installed/uninstall.exe" /S || fail "the uninstaller exited with $?"
wineserver -w
removed "$installed" "$menu" "HKLM\\$key"
echo "ok: updated over a previous version for every user, started and uninstalled"
