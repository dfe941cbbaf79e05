#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks and fetches the pinned
# third-party artifacts into deps/ (ignored by git). Idempotent: quiet when
# everything is already in place.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deps="$root/deps"

say() { printf 'setup: %s\n' "$*" >&2; }

# --- Debian packages ---------------------------------------------------------
packages=(g++ cmake make googletest libgtest-dev libpng-dev sox alsa-utils ca-certificates
          # the Windows module and its tests under Wine on a virtual display
          g++-mingw-w64-x86-64-posix wine wine64 fonts-wine xvfb xdotool imagemagick)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# --- Pinned artifacts from the Debian archive --------------------------------
# The archive's base address is taken from the machine's own apt configuration,
# never written down here: the entry whose release is this system's codename.
archive_base() {
    local codename
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    apt-get indextargets --format '$(REPO_URI) $(RELEASE)' \
        | awk -v c="$codename" '$2 == c { print $1; exit }'
}

# fetch POOL_PATH SHA256 DEST: download once, verified by apt's own helper.
fetch() {
    local pool=$1 sha=$2 dest=$3 base
    if [ -f "$dest" ] && echo "$sha  $dest" | sha256sum -c --status; then
        return 0
    fi
    base=$(archive_base)
    [ -n "$base" ] || { say "no archive in the apt configuration"; exit 1; }
    mkdir -p "$(dirname "$dest")"
    rm -f "$dest"
    say "fetching $(basename "$pool")"
    /usr/lib/apt/apt-helper -o APT::Sandbox::User=root download-file "${base%/}/$pool" "$dest" "SHA256:$sha" >/dev/null
}

mkdir -p "$deps/download"

# RNNoise 0.2: header and static library with the built-in model.
rnnoise_deb=librnnoise-dev_0.2+ds-1_amd64.deb
rnnoise_sha=3f7d0a65ddbf4586f45a80192cbb9d2332bb0b961b259e91bd8958fa728925bc
if [ ! -f "$deps/rnnoise/.stamp-$rnnoise_sha" ]; then
    fetch "pool/main/r/rnnoise/$rnnoise_deb" "$rnnoise_sha" "$deps/download/$rnnoise_deb"
    rm -rf "$deps/rnnoise"
    mkdir -p "$deps/rnnoise/x"
    dpkg-deb -x "$deps/download/$rnnoise_deb" "$deps/rnnoise/x"
    mkdir -p "$deps/rnnoise/include" "$deps/rnnoise/lib"
    cp "$deps/rnnoise/x/usr/include/rnnoise.h" "$deps/rnnoise/include/"
    cp "$deps/rnnoise/x/usr/lib/x86_64-linux-gnu/librnnoise.a" "$deps/rnnoise/lib/"
    rm -rf "$deps/rnnoise/x"
    touch "$deps/rnnoise/.stamp-$rnnoise_sha"
fi

# VST3 SDK 3.7.10: five source tarballs that together form the SDK tree.
sdk_version='3.7.10.14+~4.13.3'
sdk_parts=(
    ":0c9fa7b578f8549d6ce6efeb427e9c7df8ca0e018bea13a523b78bb167663b81"
    "base:b9eb5c1e57ca2ef6b2560dd0e13822dd5a51e437b8f5a6c421b099d621d2bffb"
    "cmake:f4699e910a67e585d7d177b2a48f6aa43706b3f073c8e454615f094484374349"
    "pluginterfaces:fd426c6b26ef93fdfdc8aef7e9b836c1bf43f25b8a1ef4c0642a41fb9250ab8a"
    "public.sdk:ca1f70406b36f0763c799085c67deed5befc69514cc2b9cacb804512e95db335"
)
sdk_stamp="$deps/vst3sdk/.stamp-$sdk_version"
if [ ! -f "$sdk_stamp" ]; then
    rm -rf "$deps/vst3sdk"
    mkdir -p "$deps/vst3sdk"
    for entry in "${sdk_parts[@]}"; do
        dir=${entry%%:*}
        sha=${entry##*:}
        suffix=""
        [ -z "$dir" ] || suffix="-${dir/./-}"
        file="vst3sdk_${sdk_version}.orig${suffix}.tar.gz"
        fetch "pool/main/v/vst3sdk/$file" "$sha" "$deps/download/$file"
        mkdir -p "$deps/vst3sdk/$dir"
        tar -xzf "$deps/download/$file" -C "$deps/vst3sdk/$dir" --strip-components=1
    done
    touch "$sdk_stamp"
fi
