#!/bin/sh
# program-check.sh WINE BUILD: sarvoli3.exe and sarvoli3.com from BUILD started under Wine as a
# user starts them, from a folder of their own (portable use, settings beside the program):
#  - sarvoli3.com --run, with Finnish regional settings, copies a small tree, prints its log
#    lines with Finnish date-time texts and ends with status 0;
#  - sarvoli3.exe on a virtual screen shows its window, copies a tree when its Copy button is
#    pressed from the keyboard (Alt+K), and writes settings.ini beside itself when it is
#    closed; a picture of the screen after the copy is saved as BUILD/sarvoli3-wine.png.
set -eu
wine=$1
build=$2
for tool in xvfb-run xdotool xwd pnmtopng localedef; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is needed to start the window on a virtual screen"
        exit 77
    fi
done
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
server="$(dirname "$wine")/wineserver"
work=$(mktemp -d /tmp/sarvoli3-program-check.XXXXXX)
trap '"$server" -k 2>/dev/null || true; rm -rf "$work"' EXIT
# Wine takes its regional settings from the Unix locale, which need not be installed: the
# Finnish one is made for the check alone.
mkdir -p "$work/locale"
localedef -i fi_FI -f UTF-8 "$work/locale/fi_FI.UTF-8" || { echo "skipped: no Finnish locale data"; exit 77; }
export LOCPATH="$work/locale" LANG=fi_FI.UTF-8
fail() {
    printf 'FAIL: %s\n' "$*"
    exit 1
}
# The Windows path text of a folder of the check: Wine's drive Z: is the root folder.
text() { printf 'Z:%s\\' "$(printf '%s' "$1" | tr / '\\')"; }

mkdir -p "$work/program" "$work/src/sub"
cp "$build/sarvoli3.exe" "$build/sarvoli3.com" "$work/program/"
# Big enough to be counted in kilobytes: a run of 0 KB is not recorded.
head -c 3000 /dev/urandom >"$work/src/a.txt"
head -c 5000 /dev/urandom >"$work/src/sub/b.txt"
touch -d '2025-05-05 12:00:00' "$work/src/a.txt" "$work/src/sub/b.txt"

# The console twin, in Finnish.
status=0
"$wine" "$work/program/sarvoli3.com" --run --from "$(text "$work/src")" \
    --to "$(text "$work/by-command")" >"$work/out.txt" 2>"$work/err.txt" || status=$?
cat "$work/out.txt"
[ "$status" -eq 0 ] || fail "sarvoli3.com --run ended with $status: $(cat "$work/err.txt")"
grep -q "a.txt   5.5.2025 12.00.00" "$work/out.txt" || fail "no log line with a Finnish date-time text"
grep -q "2 tiedostoa kopioitu, kaikkiaan  8 KB" "$work/out.txt" || fail "no summary of two copies"
cmp -s "$work/src/sub/b.txt" "$work/by-command/sub/b.txt" || fail "sarvoli3.com --run did not copy the tree"

# The window. The Wine server started without a display must be gone before one with a
# display is started.
"$server" -w
printf '[ZumerForm]\r\nFromBox=%s\r\nToFolder=%s\r\nFile=*.txt\r\n' \
    "$(text "$work/src")" "$(text "$work/by-window")" >"$work/program/settings.ini"
cat >"$work/window.sh" <<'SCRIPT'
set -u
wine=$1 work=$2 build=$3
"$wine" "$work/program/sarvoli3.exe" &
program=$!
for _ in $(seq 60); do
    window=$(xdotool search --name '^Sarvoli3' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    sleep 1
done
[ -n "${window:-}" ] || exit 11
sleep 2
xdotool windowfocus --sync "$window" key --clearmodifiers alt+k
for _ in $(seq 60); do
    [ -f "$work/by-window/sub/b.txt" ] && break
    sleep 1
done
sleep 2
xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$build/sarvoli3-wine.png"
xdotool windowfocus --sync "$window" key --clearmodifiers alt+F4
for _ in $(seq 30); do
    kill -0 "$program" 2>/dev/null || exit 0
    sleep 1
done
exit 12
SCRIPT
status=0
xvfb-run -a -s '-screen 0 1280x800x24' sh "$work/window.sh" "$wine" "$work" "$build" || status=$?
[ "$status" -ne 11 ] || fail "sarvoli3.exe showed no window"
[ "$status" -ne 12 ] || fail "sarvoli3.exe did not close on Alt+F4"
[ -s "$build/sarvoli3-wine.png" ] || fail "no picture of the screen"
cmp -s "$work/src/a.txt" "$work/by-window/a.txt" || fail "pressing Kopioi copied nothing"
cmp -s "$work/src/sub/b.txt" "$work/by-window/sub/b.txt" || fail "pressing Kopioi did not copy the subfolder"
# The run is recorded in the source folders' history, which only a copy writes.
awk '/^\[FromBox\]/ { history = 1; next } /^\[/ { history = 0 } history && /src/ { found = 1 } END { exit !found }' \
    "$work/program/settings.ini" || fail "settings.ini beside the program has no record of the copy: $(cat "$work/program/settings.ini")"
echo "the window copied the tree and wrote settings.ini beside the program"
