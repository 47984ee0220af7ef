#!/usr/bin/env bash
# Whole-program scan throughput from the page cache.
#
# Builds an image of at least 1 GiB (real pictures, sound and video made by
# ImageMagick, ffmpeg and sox, at sector boundaries between random filler),
# reads it once into the page cache, then times in alternating rounds:
#   cat IMG >/dev/null                                 the ceiling
#   pictora-cli scan IMG --types all --list >/dev/null
#   foremost -q (sector-aligned headers, like the scan) and photorec,
#   both limited to the types the image holds, writing what they find to a
#   scratch folder that is emptied before each run
# and prints the median wall time of each, the throughput and the ratios.
#
# Usage: bench/scan-throughput.sh [BUILD_DIR] [ROUNDS] [SIZE_MIB]
#   BUILD_DIR  holds bin/pictora-cli (default build-bench, built here in Release)
#   ROUNDS     alternating rounds (default 5)
#   SIZE_MIB   image size (default 1100)
# Needs: imagemagick ffmpeg sox foremost testdisk time (apt-get install -y ...).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
rounds=${2:-5}
size_mib=${3:-1100}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/zt-scan-bench}
img=$work/card.dd

for tool in convert ffmpeg sox foremost photorec; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (see the Needs line of $0)" >&2; exit 1; }
done

if [ ! -x "$build/bin/pictora-cli" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_TESTS=OFF -DZT_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target pictora-cli >/dev/null
fi
cli=$build/bin/pictora-cli

make_media() {
  local m=$work/media
  mkdir -p "$m"
  cd "$m"
  [ -s a.jpg ] || convert -size 2400x1800 -seed 1 plasma:fractal -quality 92 a.jpg
  [ -s b.jpg ] || convert -size 1600x1200 -seed 2 plasma:fractal -quality 85 b.jpg
  [ -s c.png ] || convert -size 800x600 -seed 3 plasma:fractal c.png
  [ -s d.gif ] || convert -size 640x480 -seed 4 plasma:fractal d.gif
  [ -s e.bmp ] || convert -size 1024x768 -seed 5 plasma:fractal e.bmp
  [ -s f.tif ] || convert -size 800x600 -seed 6 plasma:fractal -compress none -define tiff:endian=lsb f.tif
  [ -s g.wav ] || ffmpeg -loglevel error -y -f lavfi -i sine=duration=10:sample_rate=44100 -ac 2 \
      -metadata date=2026-12-08 g.wav </dev/null
  [ -s h.au ] || sox -n -r 44100 -c 2 h.au synth 5 sine 440
  [ -s i.avi ] || ffmpeg -loglevel error -y -f lavfi -i testsrc=duration=10:size=640x480:rate=25 i.avi </dev/null
  [ -s j.mp3 ] || ffmpeg -loglevel error -y -f lavfi -i sine=duration=30 -id3v2_version 3 j.mp3 </dev/null
  cd - >/dev/null
}

make_image() {
  [ -s "$img" ] && [ "$(stat -c %s "$img")" -ge $((size_mib << 20)) ] && return
  echo "Making a ${size_mib} MiB image in $img ..." >&2
  make_media
  head -c $((64 << 20)) /dev/urandom >"$work/filler"
  : >"$img"
  local media=("$work"/media/*) i=0 size=0 want=$((size_mib << 20))
  while [ "$size" -lt "$want" ]; do
    # Random leftovers of 8 KiB to 1 MiB, then one file, padded to its sector end.
    dd if="$work/filler" bs=8192 skip=$((RANDOM % 7000)) count=$((1 + RANDOM % 128)) status=none >>"$img"
    cat "${media[$((i % ${#media[@]}))]}" >>"$img"
    size=$(stat -c %s "$img")
    truncate -s $(((size + 511) / 512 * 512)) "$img"
    size=$(stat -c %s "$img")
    i=$((i + 1))
  done
  echo "$i media files in $((size >> 20)) MiB" >&2
}

mkdir -p "$work"
make_image
bytes=$(stat -c %s "$img")
cat "$img" >/dev/null  # into the page cache

# The peers write what they find; their scratch folders are emptied before each run.
declare -A cmds=(
  [cat]="cat '$img' >/dev/null"
  [pictora-cli]="'$cli' scan '$img' --types all --list --bad-sectors skip >/dev/null 2>&1"
  [foremost-q]="foremost -q -t jpg,gif,png,bmp,wav,avi -i '$img' -o '$work/fm' >/dev/null 2>&1"
  [photorec]="cd '$work/pr' && photorec /log /d '$work/pr/f' /cmd '$img' partition_none,fileopt,everything,disable,jpg,enable,png,enable,gif,enable,bmp,enable,tif,enable,riff,enable,au,enable,mp3,enable,wholespace,search >/dev/null 2>&1"
)
declare -A prepare=(
  [cat]=":"
  [pictora-cli]=":"
  [foremost-q]="rm -rf '$work/fm'"
  [photorec]="rm -rf '$work/pr' && mkdir -p '$work/pr'"
)
order=(cat pictora-cli foremost-q photorec)
declare -A times
for ((r = 1; r <= rounds; r++)); do
  for name in "${order[@]}"; do
    bash -c "${prepare[$name]}"
    start=$(date +%s%N)
    bash -c "${cmds[$name]}" || true
    end=$(date +%s%N)
    times[$name]+="$(((end - start) / 1000000)) "
  done
  echo "round $r/$rounds done" >&2
done
found_pictora=$("$cli" scan "$img" --list --bad-sectors skip 2>/dev/null | wc -l)
# Peak memory: only the found-file list grows with the image.
/usr/bin/time -f %M -o "$work/rss" "$cli" scan "$img" --list --bad-sectors skip >/dev/null 2>&1
rss_kib=$(tail -1 "$work/rss")
found_foremost=$(find "$work/fm" -type f ! -name audit.txt | wc -l)
found_photorec=$(find "$work/pr" -type f ! -name photorec.log ! -name report.xml | wc -l)
rm -rf "$work/fm" "$work/pr"

median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
declare -A med
printf '%-12s %10s %8s   %s\n' tool "median ms" "GB/s" "runs (ms)"
for name in "${order[@]}"; do
  med[$name]=$(echo "${times[$name]}" | median)
  printf '%-12s %10s %8s   %s\n' "$name" "${med[$name]}" "$(ratio "$bytes" "${med[$name]}e6")" "${times[$name]}"
done
echo
echo "image: $((bytes >> 20)) MiB; files found: pictora-cli $found_pictora, foremost -q $found_foremost, photorec $found_photorec"
echo "pictora-cli peak memory: $((rss_kib / 1024)) MiB"
echo "pictora-cli throughput / cat:         $(ratio "${med[cat]}" "${med[pictora-cli]}")"
echo "pictora-cli throughput / photorec:    $(ratio "${med[photorec]}" "${med[pictora-cli]}")"
echo "pictora-cli throughput / foremost -q: $(ratio "${med[foremost-q]}" "${med[pictora-cli]}")"
