#!/usr/bin/env bash
# The whole player playing 30 seconds of an MP3 in its window (Xvfb) through a
# real sound server (a private PulseAudio with a null sink), beside Audacious
# playing the same file through the same sink, both measured by the CPU time
# they take over the same 20 seconds of playing. Once with each meter.
#   bench/playback/PlayCpu.sh [path/to/mirvo]
set -euo pipefail
mirvo=$(realpath "${1:-build/src/mirvo}")
seconds=30
from=5
to=25
# shellcheck source=../Common.sh
source "$(dirname "$0")/../Common.sh"

make_tone "$seconds"
lame --quiet -b 192 "$work/tone.wav" "$work/tone.mp3"

# The X server and the sound server run outside the measured processes.
start_desktop_sound

# CPU seconds of process $1 between $from and $to seconds after its start, in $cpu.
measure() {
    local pid=$1 name=$2 start end
    sleep "$from"
    playing_on_sink "$pid" || { echo "$name is not playing through the null sink" >&2; exit 1; }
    start=$(tree_ticks "$pid")
    sleep $((to - from))
    end=$(tree_ticks "$pid")
    playing_on_sink "$pid" || { echo "$name stopped playing before ${to} s" >&2; exit 1; }
    cpu=$(awk -v t="$(getconf CLK_TCK)" -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / t }')
}

audacious_prepare

audacious_cpu() {
    audacious_run -G "$work/tone.mp3"
    local pid=$!
    measure "$pid" audacious
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}

mirvo_cpu() {  # $1: the meter style, 1 for 7 LEDs, 2 for 14
    local home="$work/mirvo-$1" pid
    mkdir -p "$home"
    printf "[General]\nDevice=1\nPlayMode=3\n[Window]\nVUStyle=%s\n" "$1" >"$home/Mirvo.ini"
    MIRVO_HOME="$home" MIRVO_INSTANCE="$work/socket" SDL_AUDIODRIVER=pulseaudio \
        QT_QPA_PLATFORM=xcb "$mirvo" "$work/tone.mp3" &
    pid=$!
    children+=("$pid")
    measure "$pid" mirvo
    MIRVO_HOME="$home" MIRVO_INSTANCE="$work/socket" QT_QPA_PLATFORM=offscreen "$mirvo" -quit
    wait "$pid"
}

# Each player's run beside a reference run taken just before it, so a
# machine busy with other work weighs on both alike.
window=$((to - from))
for style in 1 2; do
    leds=$([ "$style" = 1 ] && echo 7 || echo 14)
    audacious_cpu
    reference=$cpu
    mirvo_cpu "$style"
    awk -v p="$cpu" -v r="$reference" -v w="$window" -v l="$leds" 'BEGIN {
        printf "mirvo (%d-LED), %d s of playing:    %.2f s CPU (%.1f %% of one core)\n", l, w, p, 100 * p / w
        printf "audacious (GTK), the same %d s:  %.2f s CPU (%.1f %% of one core)\n", w, r, 100 * r / w
        printf "ratio mirvo/audacious (%d-LED): %.2f\n", l, (r > 0 ? p / r : 0)
    }'
done
