# Shared by the benchmark scripts: a work folder, the processes they start
# (append to `children`), both cleaned up on exit, and a two-tone WAV.
work=$(mktemp -d)
children=()
cleanup() {
    for pid in "${children[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# make_tone SECONDS: $work/tone.wav, 44.1 kHz stereo, 440 Hz left and 660 Hz right.
make_tone() {
    sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth "$1" sine 440 sine 660 gain -6
}

# start_desktop_sound: an Xvfb and a private PulseAudio with the null sink
# bench_null, outside the measured processes; exports DISPLAY and PULSE_*.
start_desktop_sound() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 3>"$work/display" >/dev/null 2>&1 &
    children+=($!)
    local pulse="$work/pulse"
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
    # No player may start a session bus of its own.
    export DBUS_SESSION_BUS_ADDRESS=disabled:
}

tree_ticks() {  # user + system ticks of a process and its children
    local total=0 pid
    for pid in "$1" $(pgrep -P "$1" || true); do
        total=$((total + $(sed 's/.*) //' "/proc/$pid/stat" | awk '{print $12+$13+$14+$15}')))
    done
    echo "$total"
}

playing_on_sink() {  # whether process $1 has an uncorked stream on the null sink
    pactl list sink-inputs | awk -v pid="$1" '
        /^Sink Input/ { corked = "" }
        /Corked:/ { corked = $2 }
        /application.process.id/ { gsub(/"/, "", $3); if ($3 == pid && corked == "no") found = 1 }
        END { exit !found }'
}

# Audacious with its GTK window, its output forced to PulseAudio: audacious_run ARGS.
audacious_home="$work/audacious"
audacious_run() {
    HOME="$audacious_home" XDG_CONFIG_HOME="$audacious_home/.config" audacious "$@" \
        >/dev/null 2>&1 &
    children+=($!)
}
# A first run writes the plugin registry; then only the PulseAudio output is enabled.
audacious_prepare() {
    mkdir -p "$audacious_home"
    audacious_run -H
    sleep 3
    kill "$!"
    wait "$!" 2>/dev/null || true
    local registry="$audacious_home/.config/audacious/plugin-registry"
    awk '/^[a-z]+ \// { output = ($1 == "output"); pulse = ($2 ~ /pulse_audio/) }
         output && $1 == "enabled" { $2 = pulse ? 1 : 0 }
         { print }' "$registry" >"$registry.new"
    mv "$registry.new" "$registry"
}
