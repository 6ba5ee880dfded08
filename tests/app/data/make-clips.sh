#!/usr/bin/env bash
# Makes the video fixtures of the application tests beside this script.
set -euo pipefail
cd "$(dirname "$0")"

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# A CIF-sized clip (352 x 288, aspect 1.2222): the frame's aspect rule is
# worked out on this size. Three seconds, no sound, small on purpose.
ff -f lavfi -i "testsrc=s=352x288:r=25:d=3" -c:v mpeg1video -q:v 31 -g 25 cif_352x288.mpg

# A wide clip larger than a small screen (1280 x 720): the frame shrinks
# it to the screen's room. One second, colour bars only, to stay small.
ff -f lavfi -i "smptehdbars=s=1280x720:r=25:d=1" -c:v mpeg1video -q:v 31 -g 25 hd_1280x720.mpg
