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

# start_icecast: a local icecast2 on a free port ($port), left by root for nobody.
start_icecast() {
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    local owner=""
    if [ "$(id -u)" = 0 ]; then
        owner="<changeowner><user>nobody</user><group>nogroup</group></changeowner>"
        chown nobody:nogroup "$work"
    fi
    cat >"$work/icecast.xml" <<XML
<icecast><limits><sources>8</sources><burst-size>65536</burst-size></limits>
<authentication><source-password>hackme</source-password><admin-user>admin</admin-user>
<admin-password>hackme</admin-password></authentication><hostname>127.0.0.1</hostname>
<location>here</location><admin>nobody@localhost</admin>
<listen-socket><port>$port</port><bind-address>127.0.0.1</bind-address></listen-socket>
<paths><basedir>$work</basedir><logdir>$work</logdir><webroot>/usr/share/icecast2/web</webroot>
<adminroot>/usr/share/icecast2/admin</adminroot></paths>
<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>2</loglevel></logging>
<security><chroot>0</chroot>$owner</security></icecast>
XML
    icecast2 -c "$work/icecast.xml" >/dev/null 2>&1 &
    children+=($!)
    sleep 1
}

# start_source MOUNT FORMAT FILE: ezstream sends FILE (again and again) to the
# mount in real time (FORMAT: MP3 or OGG); returns once the mount answers.
start_source() {
    local config="$work/ezstream${1//\//-}.xml"
    echo "$3" >"$config.m3u"
    cat >"$config" <<XML
<ezstream><servers><server><hostname>127.0.0.1</hostname><port>$port</port>
<password>hackme</password><tls>none</tls></server></servers>
<streams><stream><mountpoint>$1</mountpoint><format>$2</format>
<stream_name>Benchmark FM</stream_name><stream_bitrate>128</stream_bitrate></stream></streams>
<intakes><intake><type>playlist</type><filename>$config.m3u</filename></intake></intakes>
<metadata><format_str>@a@ - @t@</format_str></metadata></ezstream>
XML
    chmod 600 "$config"
    ezstream -c "$config" >/dev/null 2>&1 &
    children+=($!)
    wait_mount "$1"
}

# wait_mount MOUNT: returns once the mount answers, fails after 10 s.
wait_mount() {
    for _ in $(seq 100); do
        # A stream never ends: the time limit ends the request, the status is there.
        [ "$(curl -s -m 1 -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port$1" || true)" = 200 ] &&
            return 0
        sleep 0.1
    done
    echo "the mount $1 does not answer" >&2
    return 1
}
