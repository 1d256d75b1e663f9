#!/usr/bin/env bash
# The whole player in its window (Xvfb) playing a 128 kbit/s MP3 station from a
# local icecast2 fed by ezstream through a private PulseAudio null sink, beside
# Audacious playing the same address through the same sink at the same time;
# both measured by their CPU time over the same 20 seconds.
#   bench/radio/RadioCpu.sh [path/to/mirvo]
set -euo pipefail
mirvo=$(realpath "${1:-build/src/mirvo}")
seconds=20
from=5
# shellcheck source=../Common.sh
source "$(dirname "$0")/../Common.sh"

make_tone 60
lame --quiet -b 128 --tt "Benchmark" --ta "Mirvo" "$work/tone.wav" "$work/tone.mp3"

start_icecast
start_source /radio.mp3 MP3 "$work/tone.mp3"
station="http://127.0.0.1:$port/radio.mp3"

listeners() {
    curl -s "http://127.0.0.1:$port/status-json.xsl" |
        python3 -c 'import json, sys; s = json.load(sys.stdin)["icestats"].get("source", {}); print((s[0] if isinstance(s, list) else s).get("listeners", 0))'
}

# The X server and the sound server run outside the measured processes.
start_desktop_sound
audacious_prepare

home="$work/mirvo"
mkdir -p "$home"
printf "[General]\nDevice=1\n" >"$home/Mirvo.ini"
MIRVO_HOME="$home" MIRVO_INSTANCE="$work/socket" SDL_AUDIODRIVER=pulseaudio QT_QPA_PLATFORM=xcb \
    "$mirvo" "$station" >/dev/null 2>&1 &
pid=$!
children+=("$pid")
audacious_run -G "$station"
reference_pid=$!
sleep "$from"
[ "$(listeners)" = 2 ] || { echo "both players must listen to the station" >&2; exit 1; }
for p in "$pid" "$reference_pid"; do
    playing_on_sink "$p" || { echo "process $p is not playing through the null sink" >&2; exit 1; }
done
start=$(tree_ticks "$pid")
reference_start=$(tree_ticks "$reference_pid")
sleep "$seconds"
end=$(tree_ticks "$pid")
reference_end=$(tree_ticks "$reference_pid")
[ "$(listeners)" = 2 ] || { echo "a player left the station before ${seconds} s" >&2; exit 1; }
MIRVO_HOME="$home" MIRVO_INSTANCE="$work/socket" QT_QPA_PLATFORM=offscreen "$mirvo" -quit
wait "$pid"

awk -v p=$((end - start)) -v r=$((reference_end - reference_start)) -v t="$(getconf CLK_TCK)" \
    -v w="$seconds" 'BEGIN {
    printf "mirvo, %d s of a 128 kbit/s station:     %.2f s CPU (%.1f %% of one core)\n", w, p / t, 100 * p / t / w
    printf "audacious, the same station, same %d s: %.2f s CPU (%.1f %% of one core)\n", w, r / t, 100 * r / t / w
    printf "ratio mirvo/audacious: %.2f\n", (r > 0 ? p / r : 0)
}'
