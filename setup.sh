#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (skipping what is
# present), then configures and builds into build/.
set -euo pipefail
cd "$(dirname "$0")"

packages=(
    # build
    g++ cmake make pkg-config
    libsdl1.2-dev libsdl-image1.2-dev libsdl-net1.2-dev libfreetype-dev
    libgl-dev libglu1-mesa-dev
    # RtAudio must come with JACK 2's headers, or apt picks JACK 1 and drops jackd2
    librtaudio-dev libjack-jackd2-dev jackd2
    # MIDI input (ALSA sequencer and JACK MIDI)
    librtmidi-dev
    libsndfile1-dev libsamplerate0-dev libgtest-dev zlib1g-dev
    # tests: window under Xvfb, fuzzing, sound servers without hardware, art tools
    xvfb xauth xdotool x11-apps imagemagick clang libclang-rt-14-dev python3 python3-pil fonts-dejavu-core
    sox pulseaudio pulseaudio-utils jack-capture
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
