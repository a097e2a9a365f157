#!/bin/sh
# installer-check.sh WINE BUILD VERSION: the zip and the installer that cpack made in BUILD.
# The zip holds the program, its console twin, the README and the licence. The installer,
# run silently (/S) in a Wine prefix of its own, puts the program in Program Files\Sarvoli3
# with a Start-menu entry and the mark that it is installed; the program installed there starts
# and keeps its settings under %LOCALAPPDATA%\Sarvoli3; its uninstaller, also run silently,
# removes the program's folder whole and the entry, and leaves the user's settings.
set -eu
wine=$1
build=$2
version=$3
fail() {
    printf 'FAIL: %s\n' "$*"
    exit 1
}
zip="$build/sarvoli3-$version-win64.zip"
setup="$build/sarvoli3-$version-setup.exe"
[ -f "$zip" ] && [ -f "$setup" ] || fail "no $zip or $setup: run cpack in $build first (scripts/windows does)"

listing=$(unzip -Z1 "$zip")
for file in sarvoli3.exe sarvoli3.com README.txt LICENSE.txt; do
    printf '%s\n' "$listing" | grep -qx "sarvoli3-$version-win64/$file" || fail "the zip lacks $file: $listing"
done

work=$(mktemp -d /tmp/sarvoli3-installer-check.XXXXXX)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
server="$(dirname "$wine")/wineserver"
trap '"$server" -k 2>/dev/null || true; rm -rf "$work"' EXIT
"$wine" "$setup" /S || fail "the silent install failed"
"$server" -w
folder="$WINEPREFIX/drive_c/Program Files/Sarvoli3"
for file in sarvoli3.exe sarvoli3.com Uninstall.exe; do
    [ -f "$folder/$file" ] || fail "the installer put no $file in Program Files\\Sarvoli3: $(ls "$WINEPREFIX/drive_c/Program Files")"
done
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'Sarvoli3.lnk' | head -n 1)
[ -n "$shortcut" ] || fail "no Start-menu entry"

"$wine" 'C:\Program Files\Sarvoli3\sarvoli3.com' --help >"$work/help.txt" || fail "the installed program does not start"
grep -q "sarvoli3 --run" "$work/help.txt" || fail "the installed program printed no help: $(cat "$work/help.txt")"

[ -f "$folder/sarvoli3-installed.txt" ] || fail "the installer left no mark beside the program"
# Installed, the program keeps its settings under %LOCALAPPDATA%, even where it could write beside
# itself (as root under Wine, or elevated on Windows): a run records itself there.
mkdir -p "$work/src"
head -c 3000 /dev/urandom >"$work/src/a.txt"
"$wine" 'C:\Program Files\Sarvoli3\sarvoli3.com' --run --from "Z:$(printf '%s' "$work/src" | tr / '\\')" \
    --to "Z:$(printf '%s' "$work/dst" | tr / '\\')" >"$work/run.txt" 2>&1 || fail "the installed program's run failed: $(cat "$work/run.txt")"
settings=$(find "$WINEPREFIX/drive_c/users" -path '*AppData/Local/Sarvoli3/settings.ini' | head -n 1)
[ -n "$settings" ] || fail "no settings.ini under %LOCALAPPDATA%\\Sarvoli3: $(find "$WINEPREFIX/drive_c/users" -name settings.ini)"
[ ! -e "$folder/settings.ini" ] || fail "the installed program wrote settings.ini beside itself"
printf '[ZumerForm]\r\n' >"$folder/settings.ini"  # as an earlier version kept it

"$wine" 'C:\Program Files\Sarvoli3\Uninstall.exe' /S || fail "the silent uninstall failed"
"$server" -w
for _ in $(seq 30); do
    [ -e "$folder/sarvoli3.exe" ] || break
    sleep 1
done
[ ! -e "$folder/sarvoli3.exe" ] || fail "the uninstaller left the program"
[ ! -e "$shortcut" ] || fail "the uninstaller left the Start-menu entry"
for _ in $(seq 30); do
    [ -e "$folder" ] || break
    sleep 1
done
[ ! -e "$folder" ] || fail "the uninstaller left Program Files\\Sarvoli3: $(ls -A "$folder")"
[ -f "$settings" ] || fail "the uninstaller took the user's settings"
echo "installed, started and removed"
