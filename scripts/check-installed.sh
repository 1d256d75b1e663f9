#!/usr/bin/env bash
# Checks an installed Mirvo under PREFIX (default /usr): its files are in place,
# it starts without a display, ends through "-quit", and keeps its settings in
# the user's ~/.config/mirvo rather than beside the program.
set -euo pipefail
prefix=${1:-/usr}
for f in bin/mirvo share/applications/mirvo.desktop share/icons/hicolor/scalable/apps/mirvo.svg \
    share/doc/mirvo/Documentation.html share/metainfo/org.mirvo.Mirvo.metainfo.xml \
    share/man/man1/mirvo.1.gz share/icons/hicolor/48x48/apps/mirvo.png; do
    test -f "$prefix/$f" || { echo "check-installed: $prefix/$f is missing" >&2; exit 1; }
done

# A user of its own: home, settings and the instance socket in a fresh folder.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
unset MIRVO_HOME
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share"
export XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen
mkdir -m 700 "$XDG_RUNTIME_DIR"
mirvo="$prefix/bin/mirvo"
timeout 60 "$mirvo" &
player=$!
# "-quit" does nothing until the player is up, then ends it.
for _ in $(seq 1 150); do
    kill -0 "$player" 2>/dev/null || break
    "$mirvo" -quit
    sleep 0.3
done
wait "$player" || { echo "check-installed: $mirvo did not end cleanly" >&2; exit 1; }
test -f "$XDG_CONFIG_HOME/mirvo/Mirvo.ini" || { echo "check-installed: no settings in ~/.config/mirvo" >&2; exit 1; }
test ! -e "$prefix/bin/Mirvo.ini" || { echo "check-installed: settings written beside the program" >&2; exit 1; }
echo "check-installed: $mirvo starts and ends"
