#!/usr/bin/env bash
# Makes the Debian package from a build folder and checks it as Debian and
# software centres would: lintian without errors, the AppStream metainfo and
# the desktop entry valid, the program's version, its manual page.
# Usage: scripts/lint-package.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."
version=$(sed -n 's/.*kProgramVersion = "\(.*\)";/\1/p' src/player/Player.h)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/mirvo_*.deb)

test "$(dpkg-deb --field "$deb" Version)" = "$version" ||
    { echo "lint-package: the package is not version $version" >&2; exit 1; }
# grep -q stops reading early; list first so dpkg-deb never sees a broken pipe.
contents=$(dpkg-deb --contents "$deb")
grep -q ' \./usr/share/man/man1/mirvo\.1\.gz$' <<<"$contents" ||
    { echo "lint-package: no manual page" >&2; exit 1; }
dpkg-deb -x "$deb" "$out/root"
appstreamcli validate --no-net "$out"/root/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$out/root/usr/share/applications/mirvo.desktop"
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "lint-package: $(basename "$deb") passes lintian and appstreamcli"
