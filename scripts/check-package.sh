#!/usr/bin/env bash
# Builds the Debian package without the tests, checks it with lintian and
# appstreamcli (scripts/lint-package.sh), installs it with apt, checks the
# installed program (scripts/check-installed.sh) and removes the package again.
# Run as root on a machine (or container) where that may be done.
set -euo pipefail
cd "$(dirname "$0")/.."

if dpkg-query -W -f='${Status}' mirvo 2>/dev/null | grep -q 'install ok installed'; then
    echo "check-package: a mirvo package is installed already; not replacing it" >&2
    exit 1
fi
bash scripts/install-deps.sh --package
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIRVO_TESTS=OFF -DMIRVO_BENCH=OFF
cmake --build build-package --target mirvo mirvo_docs -j2
bash scripts/lint-package.sh build-package
rm -f build-package/mirvo_*.deb
(cd build-package && cpack -G DEB)
deb=$(ls "$PWD"/build-package/mirvo_*.deb)
dpkg-deb --field "$deb" Depends

trap 'apt-get remove -y mirvo >/dev/null 2>&1 || true' EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb"
bash scripts/check-installed.sh /usr
echo "check-package: $(basename "$deb") installs, starts and ends"
