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
# FLAC frames alone; FLAC whose channel count or rate changes mid-way (the
# frames of a second file after a first); the sound of an Ogg video.
tone 44100 1 -b 16 "$work/m16.wav"
tone 32000 2 -b 16 "$work/r32.wav"
for f in m16 r32; do flac -s -f -o "$work/$f.flac" "$work/$f.wav"; done
python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
def frames(b):
    at = 4
    while True:
        last, size = b[at] & 0x80, int.from_bytes(b[at + 1:at + 4], "big")
        at += 4 + size
        if last:
            return at
def join(a, b, samples):
    out = bytearray(a + b[frames(b):])
    out[21] = (out[21] & 0xF0) | (samples >> 32)
    out[22:26] = samples.to_bytes(4, "big")
    return bytes(out)
s16, m16, r32 = (open(f"{w}/{n}.flac", "rb").read() for n in ("tone", "m16", "r32"))
open(f"{w}/frames.flac", "wb").write(s16[frames(s16):])
open(f"{w}/channels.flac", "wb").write(join(s16, m16, 2 * 1323))
open(f"{w}/rates.flac", "wb").write(join(s16, r32, 1323 + 960))
PY
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=32x24:rate=10:duration=0.2 -f lavfi \
  -i sine=frequency=440:sample_rate=22050:duration=0.1 -map 0:v -map 1:a -c:v libtheora \
  -c:a libvorbis "$work/video.ogg"
# Opus at 48 kHz, AAC and ALAC in MP4, WavPack (lossless and hybrid); APE has no
# encoder in Debian: its header alone, then the rest of a WavPack file.
tone 48000 2 -b 16 "$work/s48.wav"
opusenc --quiet --bitrate 16 "$work/s48.wav" "$work/ff.opus"
ffmpeg -loglevel error -y -i "$work/s16.wav" -c:a aac -b:a 32k "$work/aac.m4a"
ffmpeg -loglevel error -y -i "$work/m16.wav" -c:a alac "$work/alac.m4a"
wavpack -q -y "$work/s16.wav" -o "$work/tone.wv"
wavpack -q -y -b24 "$work/m16.wav" -o "$work/hybrid.wv"
{ printf 'MAC \x96\x0f\x34\x00'; head -c 200 "$work/tone.wv"; } >"$work/header.ape"
put() { mkdir -p "corpus/$1"; for f in "${@:2}"; do cp "$work/$f" "corpus/$1/$f"; done; }
all=(s16.wav u8.wav s24.wav float.wav plain.wav tone.mp3 bare.mp3 tone.ogg tone.flac tone.oga
     tone.opus tone.aac tune.mod frames.flac channels.flac rates.flac video.ogg)
put fuzz_audio_decode "${all[@]}"
put fuzz_audio_header_seconds s16.wav u8.wav float.wav tone.mp3 bare.mp3
put fuzz_audio_wave s16.wav u8.wav s24.wav float.wav plain.wav
put fuzz_station_decode tone.mp3 tone.ogg tone.opus tone.aac
put fuzz_ffmpeg_decode ff.opus aac.m4a alac.m4a tone.wv hybrid.wv header.ape
