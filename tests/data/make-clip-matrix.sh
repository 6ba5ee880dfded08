#!/usr/bin/env bash
# Makes the clips listed in clip-matrix.txt (beside this script) into OUTDIR.
# Usage: make-clip-matrix.sh OUTDIR [--subset] [--list]
#   --subset  only the clips marked for the memory check (also when
#             TESSELON_CLIP_MATRIX_SUBSET is set and not 0, as the tests read it)
#   --list    then print the path of every selected clip, one a line
#
# Clips already in OUTDIR are kept, so a second run makes only what is missing;
# a change to the table or to this script makes them all afresh. Each clip is
# written under a temporary name first, so an interrupted run leaves no
# half-written clip behind. Without the ffmpeg command it says so and
# makes nothing: the tests that play the matrix then skip.
#
# Every clip shows one colour, 0x3080C0 (the tests expect it on average), so
# that a conversion that mixes up planes or channels shows. A little noise that
# changes every frame keeps encoders from coding a frame as a repeat of the
# last, which some decoders then do not return at all.
set -euo pipefail
# Encoder options hold filter graphs with brackets: never expand them as globs.
set -f

table="$(cd "$(dirname "$0")" && pwd)/clip-matrix.txt"
outdir=""
subset=false
[[ "${TESSELON_CLIP_MATRIX_SUBSET:-0}" != 0 ]] && subset=true
list=false
for argument in "$@"; do
    case "$argument" in
        --subset) subset=true ;;
        --list) list=true ;;
        -*) echo "usage: make-clip-matrix.sh OUTDIR [--subset] [--list]" >&2; exit 64 ;;
        *) outdir=$argument ;;
    esac
done
[[ -n "$outdir" ]] || { echo "usage: make-clip-matrix.sh OUTDIR [--subset] [--list]" >&2; exit 64; }

if ! command -v ffmpeg >/dev/null 2>&1; then
    echo "make-clip-matrix: no ffmpeg command; no clips made" >&2
    exit 0
fi
mkdir -p "$outdir"
recipe=$(cat "$table" "$0" | sha256sum | cut -d ' ' -f 1)
if [[ "$(cat "$outdir/.recipe" 2>/dev/null)" != "$recipe" ]]; then
    find "$outdir" -maxdepth 1 -type f -delete
    echo "$recipe" > "$outdir/.recipe"
fi

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# make_clip FILE SIZE PIXELS FRAMES RATE SOUND OPTIONS...
make_clip() {
    local file=$1 size=$2 pixels=$3 frames=$4 rate=$5 sound=$6
    shift 6
    # The colour source keeps every size exact when it works in RGB; left to
    # itself it would pick 4:2:0 and round odd sizes down. It ends after the
    # clip's frames, since a palette is made only at the end of its input.
    local colour="color=c=0x3080C0:s=$size:r=$rate,trim=end_frame=$frames"
    local inputs=(-f lavfi -i "$colour,format=gbrp,noise=alls=8:allf=t")
    local sound_options=()
    if [[ "$sound" != "-" ]]; then
        # Opus takes 48 kHz only; the FLV muxer takes MP3 at 44.1 kHz but not 48.
        local sample_rate=44100
        [[ "$sound" == libopus ]] && sample_rate=48000
        local seconds
        seconds=$(awk -v f="$frames" -v r="$rate" 'BEGIN { printf "%.3f", f / r }')
        inputs+=(-f lavfi -i "sine=f=440:r=$sample_rate:d=$seconds")
        sound_options=(-c:a "$sound")
    fi
    local partial="$outdir/.partial.$file"
    # Without full_chroma_inp swscale gets the chroma of a 1 x 1 picture wrong
    # when it converts planar RGB to 4:2:0.
    ff "${inputs[@]}" -frames:v "$frames" -sws_flags bicubic+full_chroma_inp -pix_fmt "$pixels" \
        "$@" "${sound_options[@]}" "$partial" && mv "$partial" "$outdir/$file"
}

selected=()
while read -r file size pixels frames rate sound marked options; do
    [[ -z "$file" || "$file" == \#* ]] && continue
    [[ "$subset" == true && "$marked" != memory ]] && continue
    selected+=("$outdir/$file")
    [[ -f "$outdir/$file" ]] && continue
    # The options are words without quoting: split them on purpose.
    # shellcheck disable=SC2086
    make_clip "$file" "$size" "$pixels" "$frames" "$rate" "$sound" $options ||
        { echo "make-clip-matrix: could not make $file" >&2; exit 1; }
done < "$table"

if [[ "$list" == true ]]; then
    printf '%s\n' "${selected[@]}"
fi
