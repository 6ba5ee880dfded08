#!/usr/bin/env bash
# Makes the small video fixtures used by the playback and media-stream tests.
# Run from anywhere; the clips are written beside this script and committed.
#
# Most clips are "index" clips: 176 x 144 frames whose 4 x 3 grid of 44 x 48
# blocks spells the frame number in binary (bit b is the block in column b % 4,
# row b / 4; white is 1, black is 0), so a test can read which frame it got.
set -euo pipefail
cd "$(dirname "$0")"

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# index_source RATE SECONDS: the lavfi description of an index clip.
index_source() {
    local bit="pow(2\\,floor(X/44)+4*floor(Y/48))"
    echo "color=c=black:s=176x144:r=$1:d=$2,format=yuv420p,geq=lum='if(bitand(N\\,$bit)\\,235\\,16)':cb=128:cr=128"
}
tone() { echo "sine=f=440:r=$1:d=$2"; }

INDEX=$(index_source 25 2)

# One index clip per container and codec family the open dialog offers.
ff -f lavfi -i "$INDEX" -f lavfi -i "$(tone 22050 2)" \
    -c:v mpeg1video -q:v 6 -bf 2 -g 12 -c:a mp2 -b:a 32k index.mpg
ff -f lavfi -i "$INDEX" -f lavfi -i "$(tone 22050 2)" \
    -c:v wmv2 -q:v 6 -g 12 -c:a wmav2 -b:a 32k index.asf
ff -f lavfi -i "$INDEX" -f lavfi -i "$(tone 22050 2)" \
    -c:v mpeg4 -q:v 6 -bf 2 -g 12 -c:a libmp3lame -b:a 32k index_mpeg4.avi
ff -f lavfi -i "$INDEX" -f lavfi -i "$(tone 8000 2)" \
    -c:v mjpeg -q:v 12 -c:a pcm_s16le index_mjpeg.avi
ff -f lavfi -i "$INDEX" -f lavfi -i "$(tone 8000 2)" \
    -c:v rv20 -q:v 6 -g 12 -c:a real_144 index.rm
ff -f lavfi -i "$INDEX" -f lavfi -i "$(tone 22050 2)" \
    -c:v libx264 -preset veryfast -crf 30 -g 12 -c:a aac -b:a 32k index.mp4
ff -f lavfi -i "$INDEX" -f lavfi -i "$(tone 22050 2)" \
    -c:v libvpx -crf 30 -b:v 200k -g 12 -c:a libvorbis -q:a 0 index.webm
ff -f lavfi -i "$INDEX" -f lavfi -i "$(tone 22050 2)" \
    -c:v libtheora -q:v 5 -g 12 -c:a libvorbis -q:a 0 index.ogv

# Five frames at one frame per second, and a clip without sound.
ff -f lavfi -i "$(index_source 1 5)" -c:v libx264 -preset veryfast -crf 30 index_1fps.mp4
ff -f lavfi -i "$INDEX" -c:v libx264 -preset veryfast -crf 30 -g 12 index_silent.mp4

# 59.9 seconds of a still picture: the duration must read 59 whole seconds.
ff -f lavfi -i "color=c=gray:s=64x48:r=10:d=59.9" -c:v libx264 -preset veryfast -crf 40 long_59_9s.mp4

# One frame wider than any surface may be.
ff -f lavfi -i "color=c=gray:s=16400x16:r=1:d=1" -c:v mjpeg -q:v 31 too_wide.avi

# Sound without any video stream.
ff -f lavfi -i "$(tone 8000 1)" -c:a pcm_s16le audio_only.wav

# Bytes that are not a video at all.
printf 'This is a plain text file, not a video.\n%.0s' $(seq 40) > not_a_video.mpg

# An index clip whose middle 4 KiB are overwritten with a fixed non-zero pattern.
cp index.mpg damaged_middle.mpg
size=$(stat -c %s damaged_middle.mpg)
head -c 4096 /dev/zero | tr '\0' '\245' |
    dd of=damaged_middle.mpg bs=1 seek=$((size / 2)) conv=notrunc status=none

# A redirector naming a local clip relative to itself.
cat > index.asx <<'ASX'
<asx version="3.0">
  <title>Index clip</title>
  <entry>
    <ref href="index.asf" />
  </entry>
</asx>
ASX

# Frame numbers from a packet pass. H.264 with three B-frames in a fixed pattern,
# so that presentation order differs from decoding order throughout.
ff -f lavfi -i "$INDEX" -c:v libx264 -preset veryfast -crf 30 -g 25 -bf 3 \
    -x264-params bframes=3:b-adapt=0 index_bframes.mp4
# Cut at 0.5 s without re-encoding: the edit list starts past the keyframe, and
# the packets before it are read but marked to be discarded.
ff -ss 0.5 -i index_bframes.mp4 -c copy index_cut.mp4
# A variable frame rate: 20 frames 40 ms apart, a 140 ms gap, then 20 ms steps.
# The time base is set first so that setpts is not rounded to the frame rate's.
ff -f lavfi -i "$INDEX" -vf "settb=1/1000,setpts='if(lt(N,20),N/25,0.9+(N-20)/50)/TB'" \
    -fps_mode passthrough -enc_time_base 1:1000 -c:v libx264 -preset veryfast -crf 30 -g 25 \
    index_vfr.mkv
