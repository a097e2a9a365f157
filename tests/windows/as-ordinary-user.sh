#!/bin/sh
# as-ordinary-user.sh WINE PROGRAM [ARGUMENTS...]: runs a Windows test program under Wine as a
# user who is not root. Root passes every permission check in Wine, so faults such as a
# read-only file opened for writing hide there. As root the program runs as the user nobody,
# from a folder and with a Wine prefix of its own (the build folder may sit where nobody
# cannot enter); as any other user it runs as that user.
set -eu
wine=$1
program=$2
shift 2
if [ "$(id -u)" -ne 0 ]; then
    exec "$wine" "$program" "$@"
fi
if ! command -v setpriv >/dev/null 2>&1; then
    echo "skipped: setpriv (util-linux) is needed to run as another user"
    exit 77
fi
uid=65534
work=$(mktemp -d /tmp/sarvoli3-wine-user.XXXXXX)
chmod 755 "$work"
cp "$program" "$work/"
chown -R "$uid:$uid" "$work"
as_user() {
    setpriv --reuid="$uid" --regid="$uid" --clear-groups \
        env -i PATH=/usr/bin:/bin HOME="$work" WINEPREFIX="$work/prefix" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}
status=0
as_user "$wine" "$work/$(basename "$program")" "$@" || status=$?
as_user "$(dirname "$wine")/wineserver" -k 2>/dev/null || true
rm -rf "$work"
exit "$status"
