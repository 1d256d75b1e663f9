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
