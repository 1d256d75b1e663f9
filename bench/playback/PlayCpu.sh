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
Xvfb -displayfd 3 -screen 0 1024x768x24 3>"$work/display" >/dev/null 2>&1 &
children+=($!)
pulse="$work/pulse"
mkdir -p "$pulse"
HOME="$pulse" XDG_RUNTIME_DIR="$pulse" PULSE_RUNTIME_PATH="$pulse" \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --log-target=stderr \
    --log-level=error -L "module-native-protocol-unix socket=$pulse/native auth-anonymous=1" \
    -L "module-null-sink sink_name=bench_null" &
children+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && [ -S "$pulse/native" ] && break
    sleep 0.1
done
export DISPLAY=":$(cat "$work/display")"
export PULSE_SERVER="unix:$pulse/native" PULSE_SINK=bench_null
# Neither player may start a session bus of its own.
export DBUS_SESSION_BUS_ADDRESS=disabled:

ticks() {  # user + system ticks of a process and its children
    local total=0 pid
    for pid in "$1" $(pgrep -P "$1" || true); do
        total=$((total + $(sed 's/.*) //' "/proc/$pid/stat" | awk '{print $12+$13+$14+$15}')))
    done
    echo "$total"
}

playing() {  # whether the process has an uncorked stream on the null sink
    pactl list sink-inputs | awk -v pid="$1" '
        /^Sink Input/ { corked = "" }
        /Corked:/ { corked = $2 }
        /application.process.id/ { gsub(/"/, "", $3); if ($3 == pid && corked == "no") found = 1 }
        END { exit !found }'
}

# CPU seconds of process $1 between $from and $to seconds after its start, in $cpu.
measure() {
    local pid=$1 name=$2 start end
    sleep "$from"
    playing "$pid" || { echo "$name is not playing through the null sink" >&2; exit 1; }
    start=$(ticks "$pid")
    sleep $((to - from))
    end=$(ticks "$pid")
    playing "$pid" || { echo "$name stopped playing before ${to} s" >&2; exit 1; }
    cpu=$(awk -v t="$(getconf CLK_TCK)" -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / t }')
}

# Audacious with its GTK window, its output forced to PulseAudio.
audacious_home="$work/audacious"
mkdir -p "$audacious_home"
audacious_run() {
    HOME="$audacious_home" XDG_CONFIG_HOME="$audacious_home/.config" audacious "$@" \
        >/dev/null 2>&1 &
    children+=($!)
}
# A first run writes the plugin registry; then only the PulseAudio output is enabled.
audacious_run -H
sleep 3
kill "$!"
wait "$!" 2>/dev/null || true
registry="$audacious_home/.config/audacious/plugin-registry"
awk '/^[a-z]+ \// { output = ($1 == "output"); pulse = ($2 ~ /pulse_audio/) }
     output && $1 == "enabled" { $2 = pulse ? 1 : 0 }
     { print }' "$registry" >"$registry.new"
mv "$registry.new" "$registry"

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
