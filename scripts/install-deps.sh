#!/usr/bin/env bash
# Installs the Debian packages Mirvo builds, runs and tests with. Only missing
# packages are fetched, so a machine that has them all needs no network.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev libgl-dev
  libmpg123-dev libvorbis-dev libflac-dev libsndfile1-dev libopenmpt-dev libfaad-dev libopusfile-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libtag1-dev
  libsdl2-dev libcurl4-openssl-dev libssl-dev libxcb1-dev libxcb-keysyms1-dev libxkbcommon-dev libasound2-dev
)
test_packages=(
  googletest libgtest-dev libgmock-dev clang libclang-rt-14-dev xvfb xauth xdotool
  sox lame flac vorbis-tools opus-tools ffmpeg wavpack libjmac-java id3v2 mpg123 icecast2 ezstream pulseaudio dbus playerctl
  xdg-utils desktop-file-utils audacious python3 python3-mutagen openbox trayer at-spi2-core python3-pyatspi
)
# What scripts/lint-package.sh checks the Debian package with.
package_packages=(lintian appstream desktop-file-utils)

wanted=("${packages[@]}")
case "${1:-}" in
  --tests) wanted+=("${test_packages[@]}" "${package_packages[@]}") ;;
  --package) wanted+=("${package_packages[@]}") ;;
esac

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
