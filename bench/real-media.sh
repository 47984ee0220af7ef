#!/usr/bin/env bash
# How extended signatures recover media of the sizes phones and cameras write
# today, against photorec, on one image in one run, both saving what they find.
#
# Makes 19 files: videos of 40 to 150 MB (MP4 with and without faststart, MOV,
# MKV, AVI, MPEG-TS, M2TS, DV, VOB; long ones are one clip repeated with
# `ffmpeg -stream_loop N -c copy`), an hour of MP3, 40 minutes of FLAC, half an
# hour of M4A, ten minutes of WAV with metadata, a 24 MP camera JPEG with Exif
# and a thumbnail, a 12 MP HEIC and 24 MP TIFF, BMP and PNG pictures. Lays them
# out with corpus-image in an image of at least SIZE_MIB (each at a sector
# start between filler and zeros, with cut and overwritten copies of some),
# reads it once into the page cache, then times in alternating rounds:
#   pictora-cli scan IMG --list --save DIR        (extended signatures, the default)
#   photorec, every file type it knows enabled, the whole space searched
#   foremost -q (headers at sector starts, like the scan), its media types
# and compares each saved folder with the image's manifest (bench/corpus-match.py:
# whole files saved byte-right from their sector, at their exact length,
# pieces of the damaged copies, false files).
#
# Usage: bench/real-media.sh [BUILD_DIR] [SIZE_MIB] [ROUNDS]
#   BUILD_DIR  holds bin/pictora-cli and tests/corpus-image (default build)
#   SIZE_MIB   the image's least size (default 2048)
#   ROUNDS     alternating timed rounds; the median counts (default 1)
# Work folder: $BENCH_DIR, else ${TMPDIR:-/tmp}/zt-real-media-bench (about three
# times the image). The files and the image are kept for a later run.
# Needs: python3 ffmpeg sox lame flac exiftool heif-enc testdisk foremost time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
size_mib=${2:-2048}
rounds=${3:-1}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/zt-real-media-bench}
img=$work/card.dd
manifest=$work/manifest.tsv
files=$work/files

for tool in python3 ffmpeg sox lame flac exiftool heif-enc photorec foremost /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (see the Needs line of $0)" >&2; exit 1; }
done
cli=$build/bin/pictora-cli
[ -x "$cli" ] && [ -x "$build/tests/corpus-image" ] ||
  { echo "build pictora-cli and corpus-image in $build first" >&2; exit 1; }

make_media() {
  local d=$1 t=$work/tmp
  mkdir -p "$d" "$t"
  local ff=(ffmpeg -loglevel error -y -nostdin)
  # One 20-second clip of about 20 MB, repeated for the long videos.
  "${ff[@]}" -f lavfi -i testsrc2=size=1280x720:rate=30 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 20 \
    -c:v libx264 -preset ultrafast -b:v 8M -c:a aac -b:a 128k "$t/clip.mp4"
  "${ff[@]}" -stream_loop 2 -i "$t/clip.mp4" -c copy "$d/phone.mp4"
  "${ff[@]}" -stream_loop 4 -i "$t/clip.mp4" -c copy -movflags +faststart -metadata title=trip "$d/faststart.mp4"
  "${ff[@]}" -stream_loop 6 -i "$t/clip.mp4" -c copy "$d/camera.mov"
  "${ff[@]}" -stream_loop 3 -i "$t/clip.mp4" -c copy "$d/film.mkv"
  "${ff[@]}" -stream_loop 2 -i "$t/clip.mp4" -c:v copy -c:a libmp3lame "$d/old.avi"
  "${ff[@]}" -stream_loop 3 -i "$t/clip.mp4" -c copy -f mpegts "$d/broadcast.ts"
  "${ff[@]}" -stream_loop 3 -i "$t/clip.mp4" -c copy -f mpegts -mpegts_m2ts_mode 1 "$d/camcorder.m2ts"
  "${ff[@]}" -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i sine=sample_rate=48000 -t 14 \
    -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2 -f dv "$d/tape.dv"
  "${ff[@]}" -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i sine=sample_rate=48000 -t 20 \
    -c:v mpeg2video -b:v 8M -maxrate 9M -bufsize 1835k -c:a ac3 -f vob "$t/dvd.vob"
  "${ff[@]}" -stream_loop 3 -i "$t/dvd.vob" -c copy -f vob "$d/dvd.vob"
  # An hour of MP3 (tagged, with its info frame), 40 minutes of FLAC, half an hour of M4A, ten minutes of WAV.
  sox -n -r 44100 -c 2 "$t/minute.wav" synth 60 sine 440 sine 660 vol 0.5
  lame --quiet -b 128 --tt "Minute" "$t/minute.wav" "$t/minute.mp3"
  "${ff[@]}" -stream_loop 59 -i "$t/minute.mp3" -c copy -id3v2_version 3 -metadata title=hour "$d/hour.mp3"
  sox -n -r 44100 -c 2 -b 16 "$d/talk.flac" synth 2400 brownnoise vol 0.05
  "${ff[@]}" -i "$t/minute.wav" -c:a aac -b:a 128k "$t/minute.m4a"
  "${ff[@]}" -stream_loop 29 -i "$t/minute.m4a" -c copy "$d/book.m4a"
  "${ff[@]}" -f lavfi -i sine=frequency=330:sample_rate=44100 -t 600 -ac 2 -metadata artist=band "$d/take.wav"
  # Camera-sized pictures.
  "${ff[@]}" -f lavfi -i testsrc2=size=6000x4000 -frames:v 1 -q:v 2 "$t/photo.jpg"
  "${ff[@]}" -i "$t/photo.jpg" -vf scale=160:120 "$t/thumb.jpg"
  exiftool -q -overwrite_original -Make=Camera -Model=Z24 -DateTimeOriginal='2026:12:09 10:00:00' \
    '-ThumbnailImage<='"$t/thumb.jpg" "$t/photo.jpg"
  cp "$t/photo.jpg" "$d/photo.jpg"
  "${ff[@]}" -f lavfi -i testsrc2=size=4000x3000 -frames:v 1 "$t/heic.png"
  heif-enc -q 80 -o "$d/phone.heic" "$t/heic.png" >/dev/null
  "${ff[@]}" -f lavfi -i testsrc2=size=6000x4000 -frames:v 1 -compression_algo raw "$d/scan.tif"
  "${ff[@]}" -f lavfi -i testsrc2=size=6000x4000 -frames:v 1 "$d/scan.bmp"
  "${ff[@]}" -f lavfi -i mandelbrot=size=6000x4000 -frames:v 1 "$d/drawing.png"
  rm -rf "$t"
}

mkdir -p "$work"
stamp="size_mib=$size_mib"
if [ "$(cat "$work/stamp" 2>/dev/null)" != "$stamp" ] || [ ! -s "$img" ] || [ ! -s "$manifest" ]; then
  rm -rf "$files" "$img" "$manifest" "$work/stamp"
  echo "Making the media in $files ..." >&2
  make_media "$files"
  echo "Laying them out in a ${size_mib} MiB image ..." >&2
  "$build/tests/corpus-image" "$files" "$img" 1 "$size_mib" >"$manifest"
  echo "$stamp" >"$work/stamp"
fi
bytes=$(stat -c %s "$img")
cat "$img" >/dev/null  # into the page cache, so that every tool reads it from there

order=(extended photorec foremost)
declare -A label=([extended]="pictora-cli (extended)" [photorec]="photorec" [foremost]="foremost -q")
declare -A cmds=(
  [extended]="'$cli' scan '$img' --bad-sectors skip --list --save '$work/out-extended' </dev/null"
  [photorec]="cd '$work/out-photorec' && photorec /log /d '$work/out-photorec/f' /cmd '$img' partition_none,fileopt,everything,enable,wholespace,search"
  [foremost]="foremost -q -t jpg,gif,png,bmp,avi,wav,mpg,wmv,mov,mp4 -i '$img' -o '$work/out-foremost'"
)
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
declare -A walls wall
for ((r = 1; r <= rounds; r++)); do
  for name in "${order[@]}"; do
    out=$work/out-$name
    rm -rf "$out"
    # foremost makes its own folder and refuses one that holds files.
    [ "$name" = foremost ] || mkdir -p "$out"
    sync
    echo "Round $r/$rounds: ${label[$name]} ..." >&2
    /usr/bin/time -v -o "$work/time-$name.txt" bash -c "${cmds[$name]}" >"$work/list-$name.txt" 2>"$work/log-$name.txt" || true
    walls[$name]+="$(awk -F': ' '/Elapsed \(wall clock\)/ {
        n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$work/time-$name.txt") "
  done
done
for name in "${order[@]}"; do wall[$name]=$(echo "${walls[$name]}" | median | awk '{printf "%.2f", $1}'); done

placed=$(wc -l <"$manifest")
whole=$(awk -F'\t' '$4 == "whole"' "$manifest" | wc -l)
echo
echo "image: $((bytes >> 20)) MiB, $placed files placed ($whole whole, $((placed - whole)) damaged copies)"
row='%-24s %6s %6s %11s %6s %6s %6s %8s\n'
printf "$row" tool whole saved byte-right exact pieces false "wall s"
for name in "${order[@]}"; do
  list=()
  [ "$name" = extended ] && list=("$work/list-$name.txt")
  read -r w right exact saved pieces false < <(python3 "$root/bench/corpus-match.py" --by-form "$work/forms-$name.txt" "$manifest" "$files" \
    "$img" "$work/out-$name" "$work/misses-$name.txt" "${list[@]}")
  printf "$row" "${label[$name]}" "$w" "$saved" "$right" "$exact" "$pieces" "$false" "${wall[$name]}"
done
echo
for peer in photorec foremost; do
  echo "pictora-cli extended throughput / ${label[$peer]}: $(awk -v a="${wall[$peer]}" -v b="${wall[extended]}" 'BEGIN {printf "%.2f", a / b}')"
done
echo
echo "per form, exact/byte-right of the whole files placed:"
forms=()
for name in "${order[@]}"; do forms+=("$name=$work/forms-$name.txt"); done
python3 "$root/bench/forms-table.py" "${forms[@]}"
echo "what each missed, its pieces and false files: $work/misses-*.txt"
