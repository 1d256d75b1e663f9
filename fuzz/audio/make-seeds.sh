#!/usr/bin/env bash
# Writes the audio seed files once (they are committed): a few hundredths of a second of
# tone in each format the decoders read, made by the Debian encoders.
#   fuzz/audio/make-seeds.sh
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tone() { sox -n -r "$1" -c "$2" "${@:3}" synth 0.03 sine 440; }
tone 44100 2 -b 16 "$work/s16.wav"
tone 22050 1 -b 8 -e unsigned "$work/u8.wav"
tone 48000 2 -b 24 "$work/s24.wav"
tone 44100 2 -b 32 -e float "$work/float.wav"
tone 44100 1 -b 16 -t wavpcm "$work/plain.wav"
lame --quiet -b 32 "$work/s16.wav" "$work/tone.mp3"
lame --quiet -t -b 32 "$work/s16.wav" "$work/bare.mp3"
oggenc -Q -q 0 -o "$work/tone.ogg" "$work/s16.wav"
flac -s -f -o "$work/tone.flac" "$work/s16.wav"
flac -s -f --ogg -o "$work/tone.oga" "$work/s16.wav"
opusenc --quiet --bitrate 16 "$work/s16.wav" "$work/tone.opus"
ffmpeg -loglevel error -y -i "$work/s16.wav" -c:a aac -b:a 32k -f adts "$work/tone.aac"
# A four-channel MOD with one short square-wave sample.
python3 - "$work/tune.mod" <<'PY'
import sys
out = bytearray(b"mirvoseed".ljust(20, b"\0"))
for s in range(31):
    h = bytearray(30)
    if s == 0:
        h[23], h[25], h[29] = 16, 64, 16
    else:
        h[29] = 1
    out += h
out += bytes([1, 127]) + bytes(128) + b"M.K."
pattern = bytearray(64 * 16)
pattern[0:3] = bytes([0x01, 0xAC, 0x10])
pattern[(15 * 4 + 1) * 4 + 2] = 0x0D
out += pattern + bytes([64] * 16 + [192] * 16)
open(sys.argv[1], "wb").write(out)
PY
put() { mkdir -p "corpus/$1"; for f in "${@:2}"; do cp "$work/$f" "corpus/$1/$f"; done; }
all=(s16.wav u8.wav s24.wav float.wav plain.wav tone.mp3 bare.mp3 tone.ogg tone.flac tone.oga
     tone.opus tone.aac tune.mod)
put fuzz_audio_decode "${all[@]}"
put fuzz_audio_header_seconds s16.wav u8.wav float.wav tone.mp3 bare.mp3
put fuzz_audio_wave s16.wav u8.wav s24.wav float.wav plain.wav
put fuzz_station_decode tone.mp3 tone.ogg tone.opus tone.aac
