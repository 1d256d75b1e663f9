#!/usr/bin/env bash
# The whole player playing 30 seconds of an MP3 in a real window (Xvfb, the
# system output through SDL's dummy driver, the 14-LED meters on), beside
# mpg123 decoding the same 30 seconds, both measured in CPU time.
#   bench/playback/PlayCpu.sh [path/to/mirvo]
set -euo pipefail
mirvo=${1:-build/src/mirvo}
seconds=30
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth "$seconds" sine 440 sine 660 gain -6
lame --quiet -b 192 "$work/tone.wav" "$work/tone.mp3"

cpu_of() {  # user + system seconds of a finished process tree, from bash's times
    local me=$BASHPID start end
    start=$(awk '{print $14+$15+$16+$17}' "/proc/$me/stat")
    "$@"
    end=$(awk '{print $14+$15+$16+$17}' "/proc/$me/stat")
    awk -v t="$(getconf CLK_TCK)" -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / t }'
}

reference=$(cpu_of mpg123 -q -t "$work/tone.mp3")

# The X server runs outside the measured processes.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

home="$work/home"
mkdir -p "$home"
printf "[General]\nDevice=${MIRVO_BENCH_DEVICE:-1}\nPlayMode=3\n[Window]\nVUStyle=${MIRVO_BENCH_VUSTYLE:-2}\n" > "$home/Mirvo.ini"
run_player() {
    DISPLAY="$display" MIRVO_HOME="$home" MIRVO_INSTANCE="$work/socket" \
        SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb "$mirvo" "$work/tone.mp3" &
    local pid=$!
    sleep $((seconds + 2))
    MIRVO_HOME="$home" MIRVO_INSTANCE="$work/socket" QT_QPA_PLATFORM=offscreen "$mirvo" -quit
    wait "$pid"
}
player=$(cpu_of run_player)

awk -v p="$player" -v r="$reference" -v s="$seconds" 'BEGIN {
    printf "player, %d s of MP3 in the window: %.2f s CPU (%.2f %% of one core)\n", s, p, 100 * p / s
    printf "mpg123 -t, the same %d s:          %.2f s CPU\n", s, r
    printf "ratio player / mpg123: %.2f\n", (r > 0 ? p / r : 0)
}'
