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

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
owner=""
if [ "$(id -u)" = 0 ]; then  # icecast2 leaves root for nobody
    owner="<changeowner><user>nobody</user><group>nogroup</group></changeowner>"
    chown nobody:nogroup "$work"
fi
cat >"$work/icecast.xml" <<XML
<icecast><limits><sources>2</sources><burst-size>65536</burst-size></limits>
<authentication><source-password>hackme</source-password><admin-user>admin</admin-user>
<admin-password>hackme</admin-password></authentication><hostname>127.0.0.1</hostname>
<location>here</location><admin>nobody@localhost</admin>
<listen-socket><port>$port</port><bind-address>127.0.0.1</bind-address></listen-socket>
<paths><basedir>$work</basedir><logdir>$work</logdir><webroot>/usr/share/icecast2/web</webroot>
<adminroot>/usr/share/icecast2/admin</adminroot></paths>
<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>2</loglevel></logging>
<security><chroot>0</chroot>$owner</security></icecast>
XML
echo "$work/tone.mp3" >"$work/list.m3u"
cat >"$work/ezstream.xml" <<XML
<ezstream><servers><server><hostname>127.0.0.1</hostname><port>$port</port>
<password>hackme</password><tls>none</tls></server></servers>
<streams><stream><mountpoint>/radio.mp3</mountpoint><format>MP3</format>
<stream_name>Benchmark FM</stream_name><stream_bitrate>128</stream_bitrate></stream></streams>
<intakes><intake><type>playlist</type><filename>$work/list.m3u</filename></intake></intakes>
<metadata><format_str>@a@ - @t@</format_str></metadata></ezstream>
XML
chmod 600 "$work/ezstream.xml"
icecast2 -c "$work/icecast.xml" >/dev/null 2>&1 &
children+=($!)
sleep 1
ezstream -c "$work/ezstream.xml" >/dev/null 2>&1 &
children+=($!)
station="http://127.0.0.1:$port/radio.mp3"
for _ in $(seq 100); do
    # A stream never ends: the time limit ends the request, the status is there.
    [ "$(curl -s -m 1 -o /dev/null -w '%{http_code}' "$station" || true)" = 200 ] && break
    sleep 0.1
done

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
