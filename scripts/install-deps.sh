#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Tesselon need.
# Idempotent: when every package is present it changes nothing and needs no network.
set -euo pipefail

packages=(
    # Build
    g++ cmake ninja-build make pkg-config
    # Tests, benchmarks, fuzzing (clang's libFuzzer and sanitizer runtimes)
    googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
    # The independent JPEG decoder and speed peer used by tests and benchmarks only
    libjpeg62-turbo-dev
    # PNG and WebP files: the reference libraries write them (the JPEG is ours)
    libpng-dev libwebp-dev
    # The desktop program: Qt 6 widgets and sound output, FFmpeg's decoding libraries
    qt6-base-dev qt6-multimedia-dev libgl-dev
    libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
    # libavfilter: HDR video tone-mapped to BT.709 (zscale, tonemap) and
    # interlaced video deinterlaced (bwdif) before frames are converted
    libavfilter-dev
    # Fixture clips and the video benchmarks use the ffmpeg command
    ffmpeg
    # GNU parallel: tesselon-grab over many videos, in its test and benchmark
    parallel
    # make check-memory: memcheck sees writes that FFmpeg's assembly makes past
    # our buffers, which AddressSanitizer cannot
    valgrind
    # "Arial" resolves to Liberation Sans; headless runs, screenshots and a null sound sink
    fonts-liberation xvfb xauth imagemagick xdotool pulseaudio
    # The desktop entry's test validates it
    desktop-file-utils
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=()
if ((EUID != 0)); then
    command -v sudo >/dev/null || { echo "install-deps: run as root (missing: ${missing[*]})" >&2; exit 1; }
    sudo=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
