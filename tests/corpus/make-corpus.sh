#!/usr/bin/env bash
# Makes real media files of many forms with the public tools (ImageMagick,
# ffmpeg, sox, lame, flac, cwebp, heif-enc, exiftool), for scans to find.
# Usage: make-corpus.sh OUTDIR [VARIANTS [SCALE]]
#   VARIANTS  how many files of each form, each different (default 1)
#   SCALE     grows pictures and durations for larger files (default 1)
# Prints nothing on success; a form whose tool is missing or fails is
# reported on stderr and left out, and the script exits 1 at the end.
set -uo pipefail
out=$1
variants=${2:-1}
scale=${3:-1}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# The same bytes on every run, so that a scan's result never depends on the
# run: sox in its repeatable mode (no random dither), ffmpeg without random
# stream numbers, and no time stamps in PNG files.
ff() { ffmpeg -nostdin -loglevel error -y "${@:1:$#-1}" -fflags +bitexact "${@: -1}"; }
sox() { command sox -R "$@"; }
make() {  # make NAME COMMAND...: runs the command, which writes $out/NAME
  local name=$1
  shift
  if ! "$@" >"$work/log" 2>&1 || [ ! -s "$out/$name" ]; then
    echo "make-corpus: could not make $name: $(tail -n 3 "$work/log" | tr '\n' ' ')" >&2
    rm -f "$out/$name"
    failed=1
  fi
}

for v in $(seq 1 "$variants"); do
  # Sizes in multiples of 16, which every video encoder takes.
  w=$(( (160 + 32 * v) * scale ))
  h=$(( (112 + 16 * v) * scale ))
  secs=$(( 1 + v % 3 ))
  secs=$(( secs * scale ))
  pic="$work/pic$v.png"
  convert -seed "$v" -size "${w}x${h}" "plasma:fractal" -swirl $((v * 17 % 180)) "$pic" 2>/dev/null ||
    convert -size "${w}x${h}" xc:gray "$pic"
  thumb="$work/thumb$v.jpg"
  convert "$pic" -resize 160x120 -quality 80 "$thumb"

  # Pictures
  make "jfif$v.jpg" convert "$pic" -quality $((60 + v % 35)) "$out/jfif$v.jpg"
  make "progressive$v.jpg" convert "$pic" -interlace JPEG "$out/progressive$v.jpg"
  # Camera-style Exif of a length that differs per file, with a thumbnail inside.
  make "camera$v.jpg" bash -c "convert '$pic' -strip '$out/camera$v.jpg' &&
    exiftool -q -overwrite_original -Make='Canon' -Model='EOS $((v * 10))D' \
      -ImageDescription='$(printf 'x%.0s' $(seq 1 $((v * 13 % 200))))' -DateTimeOriginal='2024:05:0$((v % 9 + 1)) 10:11:12' \
      '-ThumbnailImage<=$thumb' '$out/camera$v.jpg'"
  make "image$v.png" convert "$pic" -define png:exclude-chunks=date,time "$out/image$v.png"
  make "anim$v.gif" convert -delay 10 "$pic" \( "$pic" -rotate 180 \) -loop 0 "$out/anim$v.gif"
  make "image$v.bmp" convert "$pic" -type TrueColor "BMP3:$out/image$v.bmp"
  make "little$v.tif" convert "$pic" -endian LSB -compress none "$out/little$v.tif"
  make "big$v.tif" convert "$pic" -endian MSB -compress lzw "$out/big$v.tif"
  make "nikon$v.tif" bash -c "convert '$pic' -endian MSB '$out/nikon$v.tif' &&
    exiftool -q -overwrite_original -Make='NIKON CORPORATION' -Model='D$((v + 700))' '$out/nikon$v.tif'"
  make "sony$v.tif" bash -c "convert '$pic' -endian LSB '$out/sony$v.tif' &&
    exiftool -q -overwrite_original -Make='SONY' -Model='ILCE-$v' '$out/sony$v.tif'"
  make "image$v.webp" cwebp -quiet -q $((50 + v % 40)) "$pic" -o "$out/image$v.webp"
  make "image$v.heic" heif-enc -q $((40 + v % 40)) -o "$out/image$v.heic" "$pic"
  make "image$v.psd" convert "$pic" "$out/image$v.psd"
  make "image$v.jp2" convert "$pic" "$out/image$v.jp2"

  # Sound
  tone="$work/tone$v.wav"
  sox -n -r 22050 -c 2 -b 16 "$tone" synth "$secs" sine $((300 + 40 * v)) sine $((500 + 30 * v)) 2>/dev/null
  make "sound$v.wav" sox "$tone" "$out/sound$v.wav"
  make "sound$v.aiff" sox "$tone" "$out/sound$v.aiff"
  make "sound$v.au" sox "$tone" "$out/sound$v.au"
  make "lame$v.mp3" lame --quiet -b $((64 + 32 * (v % 4))) --tt "Track $v" --ta "Artist" --add-id3v2 "$tone" "$out/lame$v.mp3"
  make "id3v24_$v.mp3" ff -i "$tone" -c:a libmp3lame -b:a 96k -id3v2_version 4 -metadata title="Song $v" "$out/id3v24_$v.mp3"
  make "bare$v.mp3" ff -i "$tone" -c:a libmp3lame -b:a 128k -write_id3v2 0 -write_xing 0 -f mp3 "$out/bare$v.mp3"
  # Metadata as recorders and taggers write it: LIST INFO between fmt and
  # data, a broadcast extension chunk, LAME's VBR info frame, ID3v1 alone.
  make "meta$v.wav" ff -i "$tone" -metadata title="Take $v" -metadata artist=Artist -metadata date=2026 "$out/meta$v.wav"
  make "bext$v.wav" ff -i "$tone" -write_bext 1 -metadata encoded_by="Recorder $v" "$out/bext$v.wav"
  make "vbr$v.mp3" lame --quiet -V $((v % 7 + 1)) --tt "Take $v" --add-id3v2 "$tone" "$out/vbr$v.mp3"
  make "v1only$v.mp3" lame --quiet -b 96 --id3v1-only --tt "Take $v" "$tone" "$out/v1only$v.mp3"
  make "fast$v.m4a" ff -i "$tone" -c:a aac -b:a 96k -movflags +faststart -metadata title="Take $v" "$out/fast$v.m4a"
  make "sound$v.flac" flac --silent -f -o "$out/sound$v.flac" "$tone"
  make "vorbis$v.ogg" ff -i "$tone" -c:a libvorbis "$out/vorbis$v.ogg"
  make "opus$v.ogg" ff -i "$tone" -c:a libopus -f ogg "$out/opus$v.ogg"
  make "sound$v.m4a" ff -i "$tone" -c:a aac -b:a 96k "$out/sound$v.m4a"
  make "sound$v.wma" ff -i "$tone" -c:a wmav2 "$out/sound$v.wma"

  # Video
  src=(-f lavfi -i "testsrc=size=${w}x${h}:rate=25:duration=$secs" -f lavfi -i "sine=frequency=$((400 + v * 10)):duration=$secs")
  make "movie$v.mp4" ff "${src[@]}" -c:v libx264 -preset ultrafast -c:a aac -shortest "$out/movie$v.mp4"
  # The index in front, as for streaming.
  make "fast$v.mp4" ff "${src[@]}" -c:v libx264 -preset ultrafast -c:a aac -shortest -movflags +faststart "$out/fast$v.mp4"
  make "fast$v.mov" ff "${src[@]}" -c:v libx264 -preset ultrafast -c:a aac -shortest -movflags +faststart "$out/fast$v.mov"
  make "movie$v.mov" ff "${src[@]}" -c:v libx264 -preset ultrafast -c:a aac -shortest "$out/movie$v.mov"
  # The ipod muxer writes the "M4V " brand that tells an M4V from an MP4.
  make "movie$v.m4v" ff "${src[@]}" -c:v libx264 -preset ultrafast -c:a aac -shortest -f ipod "$out/movie$v.m4v"
  make "movie$v.3gp" ff "${src[@]}" -c:v mpeg4 -c:a aac -ar 16000 -ac 1 -shortest "$out/movie$v.3gp"
  make "movie$v.3g2" ff "${src[@]}" -c:v mpeg4 -c:a aac -ar 16000 -ac 1 -shortest "$out/movie$v.3g2"
  make "movie$v.mkv" ff "${src[@]}" -c:v libx264 -preset ultrafast -c:a libvorbis -shortest "$out/movie$v.mkv"
  make "movie$v.webm" ff "${src[@]}" -c:v libvpx -deadline realtime -c:a libvorbis -shortest "$out/movie$v.webm"
  make "movie$v.avi" ff "${src[@]}" -c:v mpeg4 -c:a libmp3lame -shortest "$out/movie$v.avi"
  make "movie$v.mpg" ff "${src[@]}" -c:v mpeg1video -c:a mp2 -shortest -f mpeg "$out/movie$v.mpg"
  make "movie$v.vob" ff "${src[@]}" -c:v mpeg2video -c:a ac3 -shortest -f vob "$out/movie$v.vob"
  # DVD and Video CD program streams, as their targets write them.
  make "dvd$v.vob" ff "${src[@]}" -target pal-dvd -shortest "$out/dvd$v.vob"
  make "vcd$v.mpg" ff "${src[@]}" -target pal-vcd -shortest "$out/vcd$v.mpg"
  make "video$v.m2v" ff "${src[@]:0:4}" -c:v mpeg2video -f mpeg2video "$out/video$v.m2v"
  make "movie$v.ts" ff "${src[@]}" -c:v mpeg2video -c:a mp2 -shortest -f mpegts "$out/movie$v.ts"
  make "movie$v.m2ts" ff "${src[@]}" -c:v libx264 -preset ultrafast -c:a ac3 -shortest -mpegts_m2ts_mode 1 -f mpegts "$out/movie$v.m2ts"
  make "movie$v.dv" ff -f lavfi -i "testsrc=size=720x576:rate=25:duration=0.$(( v % 3 + 2 ))" -f lavfi \
    -i "sine=frequency=440:sample_rate=48000:duration=0.$(( v % 3 + 2 ))" -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2 -shortest -f dv "$out/movie$v.dv"
  make "ntsc$v.dv" ff -f lavfi -i "testsrc=size=720x480:rate=30000/1001:duration=0.$(( v % 3 + 2 ))" -f lavfi \
    -i "sine=frequency=440:sample_rate=48000:duration=0.$(( v % 3 + 2 ))" -c:v dvvideo -pix_fmt yuv411p -c:a pcm_s16le -ac 2 -shortest -f dv "$out/ntsc$v.dv"
  make "movie$v.wmv" ff "${src[@]}" -c:v wmv2 -c:a wmav2 -shortest -f asf "$out/movie$v.wmv"
  make "movie$v.rm" ff "${src[@]}" -c:v rv10 -c:a ac3 -shortest -f rm "$out/movie$v.rm"
done

# MIDI has no writer among the tools: one small file of a few notes.
make "tune.mid" bash -c "printf 'MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60MTrk\x00\x00\x00\x14\x00\x90\x3c\x40\x60\x80\x3c\x40\x00\x90\x40\x40\x60\x80\x40\x40\x00\xff\x2f\x00' > '$out/tune.mid'"
exit $failed
