#!/bin/sh
# copy-check.sh WINE BUILD: sarvoli3.com --run from BUILD under Wine, as a user who is not root
# (root passes every permission check in Wine), on trees that Windows users meet and that the
# system's ANSI calls could not copy or would misplace:
#  - a source and a destination past 260 characters;
#  - a folder link below the destination root (Wine shows a symbolic link as a reparse point);
#  - names that Windows would change or take for a device (keep., "trail ", name., prn.txt),
#    made on the Linux side as a share or a stick holds them, with --dry-run telling the same;
#  - two names that differ only in case onto Windows' case-insensitive names, run twice;
#  - replaced copies kept by run, a read-only one among them, and the older runs' removed.
set -eu
wine=$1
build=$2
if [ "$(id -u)" -eq 0 ] && ! command -v setpriv >/dev/null 2>&1; then
    echo "skipped: setpriv (util-linux) is needed to run as another user"
    exit 77
fi
server="$(dirname "$wine")/wineserver"
work=$(mktemp -d /tmp/sarvoli3-copy-check.XXXXXX)
chmod 755 "$work"
uid=$(id -u)
[ "$uid" -ne 0 ] || uid=65534
as_user() {
    if [ "$(id -u)" -eq 0 ]; then
        setpriv --reuid="$uid" --regid="$uid" --clear-groups env -i PATH=/usr/bin:/bin HOME="$work" LANG=C.UTF-8 \
            WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
    else
        env HOME="$work" LANG=C.UTF-8 WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
    fi
}
trap 'as_user "$server" -k 2>/dev/null || true; rm -rf "$work"' EXIT
fail() {
    printf 'FAIL: %s\n' "$*"
    exit 1
}
# Wine reads the names of the Linux side in the locale's character set: UTF-8, as they are made.
# The Windows path text of a folder of the check: Wine's drive Z: is the root folder.
text() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
cp "$build/sarvoli3.com" "$work/"
# run CASE [OPTIONS...]: copies $work/CASE/src to $work/CASE/dst; the output is in CASE.out,
# the exit status in CASE.status.
run() {
    case=$1
    shift
    status=0
    as_user "$wine" "$work/sarvoli3.com" --run --settings "$(text "$work/settings.ini")" \
        --from "$(text "$work/$case/src")" --to "$(text "$work/$case/dst")" "$@" \
        >"$work/$case.out" 2>"$work/$case.err" || status=$?
    echo "$status" >"$work/$case.status"
    printf -- '--- %s %s: status %s\n' "$case" "$*" "$status"
    cat "$work/$case.out"
}
expect() {  # CASE STATUS PATTERN...: the status and a line for each pattern
    case=$1
    [ "$(cat "$work/$case.status")" = "$2" ] || fail "$case: status $(cat "$work/$case.status"), not $2"
    shift 2
    for pattern in "$@"; do
        grep -qF -- "$pattern" "$work/$case.out" || fail "$case: no line with \"$pattern\""
    done
}

# A path past 260 characters on both sides.
long=$(printf 'kansio-jonka-nimi-on-pitka-%s/' 1 2 3 4 5 6 7 8 9)
mkdir -p "$work/long/src/$long" "$work/long/dst/$long"
printf 'deep' >"$work/long/src/$long/syvä.txt"
echo "the source file's path text has $(text "$work/long/src/$long/syvä.txt" | wc -c) bytes"

# A folder link below the destination root, to a folder outside it.
mkdir -p "$work/link/src/sub" "$work/link/dst" "$work/link/outside"
printf 'x' >"$work/link/src/sub/a.txt"
printf 'y' >"$work/link/src/b.txt"
ln -s "$work/link/outside" "$work/link/dst/sub"

# Names that Windows changes or refuses, beside one that it keeps.
mkdir -p "$work/names/src/keep." "$work/names/src/trail " "$work/names/src/fine"
for f in "keep./a.txt" "trail /b.txt" "name." "name " "prn.txt" "fine/c.txt"; do
    printf 'n' >"$work/names/src/$f"
done

# Two names that differ only in case.
mkdir -p "$work/case/src"
printf 'upper' >"$work/case/src/Data.txt"
printf 'lower' >"$work/case/src/data.txt"
touch -d '2025-05-05 12:00:00' "$work/case/src/Data.txt"
touch -d '2025-06-06 12:00:00' "$work/case/src/data.txt"
# Copies replaced with versions kept: the old ones go into the run's folder.
mkdir -p "$work/kept/src/sub"
printf 'v1' >"$work/kept/src/sub/a.txt"
touch -d '2025-01-01 12:00:00' "$work/kept/src/sub/a.txt"

chown -R "$uid:$uid" "$work"

run long
# Written to a pipe as UTF-8, as the program's texts are.
expect long 0 "pitka-9\\syvä.txt   " "1 tiedostoa kopioitu"
cmp -s "$work/long/src/$long/syvä.txt" "$work/long/dst/$long/syvä.txt" || fail "the long path was not copied"

run link
expect link 1 "sub\\   VIRHE: kohdekansio on symbolinen linkki tai liitoskohta" "b.txt"
[ -z "$(ls -A "$work/link/outside")" ] || fail "a copy was written through the link: $(ls -A "$work/link/outside")"

run names --dry-run
expect names 1 "keep.   VIRHE: nimi päättyy pisteeseen" "trail    VIRHE: nimi päättyy" "name.   " "prn.txt   " \
    "1 tiedostoa kopioitaisiin" "5 epäonnistuisi"
run names
expect names 1 "keep.   VIRHE: nimi päättyy pisteeseen" "prn.txt   " "Windowsin laitteen nimi" "1 tiedostoa kopioitu" \
    "5 epäonnistui"
[ "$(cd "$work/names/dst" && ls -A)" = "fine" ] || fail "names Windows cannot hold were written: $(ls -A "$work/names/dst")"

run case
expect case 1 "vain kirjainkoko eroaa" "1 tiedostoa kopioitu"
first=$(cat "$work/case/dst/"*)
run case
expect case 1 "vain kirjainkoko eroaa" "0 tiedostoa kopioitu"
[ "$(cat "$work/case/dst/"*)" = "$first" ] || fail "the second run changed the copy"
[ "$(ls "$work/case/dst" | wc -l)" -eq 1 ] || fail "two copies: $(ls "$work/case/dst")"

run kept --keep-versions 1
expect kept 0 "1 tiedostoa kopioitu"
chmod a-w "$work/kept/dst/sub/a.txt"  # read-only as Windows marks it: it is kept all the same
for v in v2 v3; do
    printf '%s' "$v" >"$work/kept/src/sub/a.txt"
    touch -d "2025-0${v#v}-01 12:00:00" "$work/kept/src/sub/a.txt"
    run kept --keep-versions 1
    expect kept 0 "1 vanhaa kopiota säilytetty"
done
[ "$(cat "$work/kept/dst/sub/a.txt")" = v3 ] || fail "the copy was not replaced"
runs=$(ls "$work/kept/dst/Sarvoli3-vanhat-kopiot")
[ "$(echo "$runs" | wc -l)" -eq 1 ] || fail "not one run's folder kept: $runs"
[ "$(cat "$work/kept/dst/Sarvoli3-vanhat-kopiot/$runs/sub/a.txt")" = v2 ] || fail "the newest run's old copy is not kept"
echo "long paths, links, names, case clashes and kept copies as Windows users meet them"
