#!/usr/bin/env bash
# Renders the knob photo editor/knob.png from editor/knob.pov with POV-Ray and
# ImageMagick. Not part of the build: run it by hand after changing the scene,
# look at the result and commit the PNG.
#
# Three passes of the scene: the picture (straight alpha on a transparent
# ground), the lit foot ring alone (the source of its glow) and a matte of the
# knurled side. The knurl is smoothed along its ridges, the glow and a soft
# contact shadow are laid under the picture, and the knob's alpha is brought
# to 253.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scene="$root/editor/knob.pov"
out="${1:-$root/editor/knob.png}"
work=${KNOB_WORK:-$(mktemp -d)}
mkdir -p "$work"
[ -n "${KNOB_WORK:-}" ] || trap 'rm -rf "$work"' EXIT

render() { # PASS FILE QUALITY...
    local pass=$1 file=$2
    shift 2
    povray -i"$scene" +O"$file" +W700 +H700 +UA +FN8 -D -V -GA "$@" Declare=Pass="$pass" >/dev/null 2>"$work/log" \
        || { cat "$work/log" >&2; exit 1; }
}

# Brushed metal needs every pixel supersampled with jitter, or it shows moire.
# The picture keeps 16 bits until the end, for the smoothing below; the matte
# is linear coverage.
render 0 "$work/picture.png" +AM2 +A0.0 +R3 +J1 +FN16
render 1 "$work/ring.png" +AM2 +A0.0 +R2
render 2 "$work/knurl.png" +AM2 +A0.0 +R3 File_Gamma=1.0

# The knurl's ridges run straight down, so each of its columns should hold one
# tone from top to bottom, but the jittered sampling leaves noise from row to
# row, strongest where the ridges crowd together at the silhouettes. The
# editor stretches those columns across the front when it turns the knob,
# where such noise shows as slanted streaks. Smooth the knurl down its columns,
# weighted by its matte so that nothing around it comes in, lay it back by the
# matte, and make the outermost column, mostly knurl, wholly opaque.
smooth="-morphology Convolve Blur:0x6,90"
convert "$work/knurl.png" -background black -alpha remove -channel R -separate +channel \
    -write "$work/knurl-matte.png" $smooth "$work/knurl-weight.png"
convert "$work/picture.png" -alpha off "$work/knurl-matte.png" -compose Multiply -composite $smooth \
    "$work/knurl-weight.png" -compose DivideSrc -composite "$work/knurl-smooth.png"
convert "$work/picture.png" \( "$work/knurl-smooth.png" "$work/knurl-matte.png" -compose CopyOpacity -composite \) \
    -compose Over -composite "$work/smoothed.png"
convert "$work/smoothed.png" -alpha extract \( "$work/knurl-matte.png" -threshold 50% \) -compose Lighten -composite \
    "$work/alpha.png"
convert "$work/smoothed.png" "$work/alpha.png" -compose CopyOpacity -composite "$work/picture-smooth.png"

# Glow: the ring's light spread over the ground, in its own colour.
convert "$work/ring.png" -background black -flatten -blur 0x7 -channel RGB -evaluate multiply 1.6 +channel \
    \( +clone -colorspace Gray -evaluate multiply 1.8 \) -alpha off -compose CopyOpacity -composite \
    PNG32:"$work/glow.png"

# Shadow: the knob's footprint on the ground, spread by a soft overhead light
# and shifted a little to the right, away from the key light.
convert -size 700x700 xc:none -fill 'rgba(0,0,0,0.62)' -draw 'ellipse 354,372 238,198 0,360' \
    -blur 0x13 PNG32:"$work/shadow.png"

# Picture over glow over shadow; knob alpha 253; plain 8-bit RGBA.
convert "$work/shadow.png" "$work/glow.png" -compose Over -composite \
    "$work/picture-smooth.png" -compose Over -composite \
    -channel A -evaluate multiply 0.99216 +channel \
    -strip -depth 8 -define png:color-type=6 PNG32:"$out"
echo "render-knob: wrote $out ($(stat -c %s "$out") bytes)"
