#!/usr/bin/env bash
# Makes the video fixtures of the application tests beside this script.
set -euo pipefail
cd "$(dirname "$0")"

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# A CIF-sized clip (352 x 288, aspect 1.2222): the frame's aspect rule is
# worked out on this size. Three seconds, no sound, small on purpose.
ff -f lavfi -i "testsrc=s=352x288:r=25:d=3" -c:v mpeg1video -q:v 31 -g 25 cif_352x288.mpg
