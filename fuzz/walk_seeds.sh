#!/usr/bin/env bash
# Writes a seed corpus for format_walk_fuzz into DIR: tiny real files of the
# walked formats, made with ImageMagick, sox, flac, lame and ffmpeg (the test
# dependencies of scripts/deps.sh, plus flac and lame), each behind the five
# bytes of the harness's settings. A format whose tool is missing is left out.
# Usage: fuzz/walk_seeds.sh DIR
set -uo pipefail
dir=${1:?usage: $0 DIR}
mkdir -p "$dir" && dir=$(cd "$dir" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

lavfi_video=(-f lavfi -i color=c=red:s=16x16:d=0.04:r=25)
lavfi_sound=(-f lavfi -i sine=d=0.05:r=8000)
ff() { ffmpeg -loglevel error -y "$@" 2>/dev/null; }
{
  convert -size 8x8 xc:red -quality 50 a.jpg
  convert -size 4x4 gradient: a.png
  convert -size 4x4 xc:blue a.gif
  convert -size 4x4 xc:green bmp3:a.bmp
  convert -size 4x4 xc:green -compress none a.tif
  convert -size 4x4 xc:green -define tiff:endian=msb -compress none b.tif
  convert -size 4x4 xc:green a.psd
  convert -size 4x4 xc:green a.webp
  convert -size 4x4 xc:green a.jp2
  sox -n -r 8000 -c 1 -b 8 a.wav synth 0.05 sine 440
  sox -n -r 8000 -c 1 a.aiff synth 0.05 sine 440
  sox -n -r 8000 -c 1 a.au synth 0.05 sine 440
  sox -n -r 8000 -c 1 a.ogg synth 0.1 sine 440
  sox -n -r 8000 -c 1 -b 16 t.wav synth 0.12 sine 440
  flac -s --blocksize=192 -o a.flac t.wav
  lame --silent -b 32 --resample 8 --id3v2-only --tt x t.wav a.mp3
  rm -f t.wav
  ff "${lavfi_video[@]}" -c:v mpeg1video -f mpeg a.mpg
  ff "${lavfi_video[@]}" -c:v mpeg2video -f mpeg2video a.m2v
  ff "${lavfi_video[@]}" -c:v mpeg2video -f mpegts a.ts
  ff "${lavfi_video[@]}" -c:v mpeg4 a.mp4
  ff "${lavfi_video[@]}" -c:v mpeg4 a.mov
  ff "${lavfi_video[@]}" -c:v mpeg4 a.mkv
  ff "${lavfi_video[@]}" -c:v mpeg4 a.avi
  ff "${lavfi_video[@]}" -c:v rv10 a.rm
  ff "${lavfi_sound[@]}" -c:a wmav2 a.wma
  ff "${lavfi_sound[@]}" -c:a aac a.m4a
  ff "${lavfi_sound[@]}" -c:a libopus a.webm
  # A DV frame is 120000 bytes: its first 16000 give the walk a frame to reject.
  ff -f lavfi -i color=c=red:s=720x480:d=0.04:r=30000/1001 -c:v dvvideo -pix_fmt yuv411p -f dv full.dv &&
    head -c 16000 full.dv >a.dv
  rm -f full.dv
  # A MIDI file of one track with one note.
  printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\14\0\220\74\100\140\200\74\0\0\377\57\0' >a.mid
} 2>/dev/null

# The family numbers of FormatFamily, counted from 0 for JPEG.
declare -A family=([jpg]=0 [png]=1 [gif]=2 [bmp]=3 [tif]=4 [mp4]=5 [mov]=5 [m4a]=5 [mkv]=6 [webm]=6
  [wav]=7 [avi]=7 [webp]=7 [aiff]=8 [au]=9 [psd]=10 [mid]=11 [ogg]=12 [flac]=13 [mp3]=14 [mpg]=15
  [m2v]=16 [ts]=17 [dv]=18 [wma]=19 [rm]=20 [jp2]=21)
i=0
for f in *; do
  [ -s "$f" ] || continue
  k=${family[${f#*.}]}
  # As the file's own family read in sector blocks, then as another family
  # read in blocks of 8 bytes with another maximum size.
  { printf "\\x$(printf %02x "$k")\\x80\\x00\\x00\\x04"; cat "$f"; } >"$dir/$f.whole"
  { printf "\\x$(printf %02x $(((k + 7 + i) % 22)))\\x07\\x00\\x00\\x$(printf %02x $((i % 5)))"; cat "$f"; } >"$dir/$f.other"
  i=$((i + 1))
done
echo "$(ls "$dir" | wc -l) seeds in $dir"
