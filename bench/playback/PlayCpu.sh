#!/usr/bin/env bash
# The whole player playing an MP3 in its window (Xvfb) through a real sound
# server (a private PulseAudio with a null sink), beside Audacious playing the
# same file through the same sink, both measured by the CPU time they take
# over the same 60 seconds of playing. Three rounds per meter (7 and 14 LEDs),
# the order of the two players alternating, and the median of the rounds'
# ratios: Audacious alone varies by a fifth from run to run.
#   bench/playback/PlayCpu.sh [path/to/mirvo]
set -euo pipefail
mirvo=$(realpath "${1:-build/src/mirvo}")
seconds=75
from=5
to=65
rounds=3
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

# Each round runs both players one after the other, Audacious first in odd
# rounds and Mirvo first in even ones, so a machine busy with other work, or
# one warming up, weighs on both alike.
window=$((to - from))
for style in 1 2; do
    leds=$([ "$style" = 1 ] && echo 7 || echo 14)
    ratios=()
    for round in $(seq "$rounds"); do
        if [ $((round % 2)) = 1 ]; then
            audacious_cpu
            reference=$cpu
            mirvo_cpu "$style"
        else
            mirvo_cpu "$style"
            mine=$cpu
            audacious_cpu
            reference=$cpu
            cpu=$mine
        fi
        ratio=$(awk -v p="$cpu" -v r="$reference" 'BEGIN { printf "%.3f", (r > 0 ? p / r : 0) }')
        ratios+=("$ratio")
        awk -v p="$cpu" -v r="$reference" -v w="$window" -v l="$leds" -v n="$round" -v q="$ratio" 'BEGIN {
            printf "round %d (%d-LED): mirvo %.2f s CPU (%.2f %% of one core), audacious %.2f s (%.2f %%), ratio %.2f\n", n, l, p, 100 * p / w, r, 100 * r / w, q
        }'
    done
    median=$(printf '%s\n' "${ratios[@]}" | sort -g | sed -n "$(((rounds + 1) / 2))p")
    echo "median ratio mirvo/audacious (${leds}-LED) over $rounds rounds of ${window} s: $median (goal 0.9)"
done
