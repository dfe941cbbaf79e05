#!/usr/bin/env bash
# The main job: set-up, a release build of hushkit_render, then a demo
# recording (a real voice from alsa-utils with generated pink noise) written
# to out/demo/noisy.wav and cleaned into out/demo/cleaned.wav, with a
# spectrogram of each beside it (noisy.png, cleaned.png). Prints the
# renderer's summary line and where the files are; quiet otherwise.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh

build=build/demo
mkdir -p build
log=build/demo.log
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DHUSHKIT_TESTS=OFF -DHUSHKIT_BENCH=OFF &&
       cmake --build "$build" -j "$(nproc)" --target hushkit_render; } >"$log" 2>&1; then
    cat "$log"
    echo "demo build failed" >&2
    exit 1
fi

sounds=/usr/share/sounds/alsa
outdir=out/demo
mkdir -p "$outdir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Four spoken words (48 kHz, mono, 16-bit) with a short pause after each.
voices=()
for name in Front_Center Front_Left Front_Right Rear_Center; do
    sox -V1 "$sounds/$name.wav" "$work/$name.wav" pad 0 0.4
    voices+=("$work/$name.wav")
done
sox -V1 "${voices[@]}" "$work/voice.wav"

# Pink noise of the same length, repeatable, mixed in at a moderate level.
frames=$(soxi -s "$work/voice.wav")
sox -V1 -R -n -r 48000 -c 1 -b 16 "$work/noise.wav" synth "${frames}s" pinknoise vol 0.1
sox -V1 -R -m -v 1 "$work/voice.wav" -v 1 "$work/noise.wav" -b 16 "$outdir/noisy.wav"

"$build/render/hushkit_render" "$outdir/noisy.wav" "$outdir/cleaned.wav"

# Spectrograms of the first channel, 0 to 24 kHz over 90 dB.
spectrogram() {
    sox -V1 "$outdir/$1.wav" -n remix 1 spectrogram -x 600 -y 257 -z 90 -t "$2" -c "Hushkit demo" \
        -o "$outdir/$1.png"
}
spectrogram noisy "Noisy recording"
spectrogram cleaned "Cleaned by hushkit_render (Neural Live)"

echo "noisy:   $root/$outdir/noisy.wav (spectrogram noisy.png)"
echo "cleaned: $root/$outdir/cleaned.wav (spectrogram cleaned.png)"
