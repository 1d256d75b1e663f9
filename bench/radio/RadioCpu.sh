#!/usr/bin/env bash
# The whole player (offscreen, the "No sound" device) playing a 128 kbit/s MP3
# station for 30 seconds from a local icecast2 fed by ezstream, beside mpg123
# decoding the same 30 seconds of MP3 from a file; both measured by their CPU
# time in the same run.
#   bench/radio/RadioCpu.sh [path/to/mirvo]
set -euo pipefail
mirvo=$(realpath "${1:-build/src/mirvo}")
seconds=30
from=5
# shellcheck source=../Common.sh
source "$(dirname "$0")/../Common.sh"

make_tone "$seconds"
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

ticks() {  # user + system ticks of a process and its threads
    sed 's/.*) //' "/proc/$1/stat" | awk '{print $12+$13}'
}

home="$work/mirvo"
mkdir -p "$home"
printf "[General]\nDevice=0\n" >"$home/Mirvo.ini"
MIRVO_HOME="$home" MIRVO_INSTANCE="$work/socket" QT_QPA_PLATFORM=offscreen "$mirvo" "$station" \
    >/dev/null 2>&1 &
pid=$!
children+=("$pid")
sleep "$from"
[ "$(listeners)" = 1 ] || { echo "the player is not listening to the station" >&2; exit 1; }
start=$(ticks "$pid")
sleep "$seconds"
end=$(ticks "$pid")
[ "$(listeners)" = 1 ] || { echo "the player left the station before ${seconds} s" >&2; exit 1; }
MIRVO_HOME="$home" MIRVO_INSTANCE="$work/socket" QT_QPA_PLATFORM=offscreen "$mirvo" -quit
wait "$pid"

# mpg123 decoding the same 30 seconds from the file, ten times (its CPU time
# is near the clock's resolution); the mean of the ten.
runs=10
TIMEFORMAT="%U %S"
total=$({ time for _ in $(seq "$runs"); do mpg123 -q -t "$work/tone.mp3" >/dev/null 2>&1; done; } 2>&1)
reference=$(echo "$total" | awk -v n="$runs" '{ print ($1 + $2) / n }')
awk -v p="$end" -v s="$start" -v t="$(getconf CLK_TCK)" -v r="$reference" -v w="$seconds" 'BEGIN {
    cpu = (p - s) / t
    printf "mirvo, %d s of a 128 kbit/s station: %.2f s CPU (%.1f %% of one core)\n", w, cpu, 100 * cpu / w
    printf "mpg123 -t, the same %d s from a file: %.2f s CPU\n", w, r
    printf "ratio mirvo/mpg123: %.2f\n", (r > 0 ? cpu / r : 0)
}'
