#!/usr/bin/env bash
# Small cards for file_system_fuzz, written by mkfs.vfat and mtools (a FAT12
# volume, the same behind an MBR) and mkfs.exfat; each seed is a byte
# choosing the range (0: whole) followed by the image.
# Usage: fuzz/file_system_seeds.sh SEED_DIR
set -euo pipefail
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export MTOOLS_SKIP_CHECK=1
printf '\xff\xd8\xff\xe0\x00\x10JFIF\x00' > a.jpg
head -c 3000 /dev/urandom >> a.jpg
printf '\xff\xd9' >> a.jpg
mkfs.vfat -C fat12.img 160 > /dev/null
mmd -i fat12.img ::DCIM ::DCIM/Sub
mcopy -i fat12.img a.jpg "::DCIM/Long name photo.jpg"
mcopy -i fat12.img a.jpg ::DCIM/Sub/B.JPG
mcopy -i fat12.img a.jpg ::C.jpg
mdel -i fat12.img ::C.jpg
{ printf '\x00'; cat fat12.img; } > "$out/fat12"
# The same volume as the first partition of a disk.
{ head -c 4096 /dev/zero; cat fat12.img; } > disk.img
printf '\x00\x01\x00\x01\x01\x00\x00\x00\x08\x00\x00\x00\x40\x01\x00\x00' |
  dd of=disk.img bs=1 seek=446 conv=notrunc status=none
printf '\x55\xaa' | dd of=disk.img bs=1 seek=510 conv=notrunc status=none
{ printf '\x00'; cat disk.img; } > "$out/mbr-fat12"
truncate -s 1M exfat.img
if mkfs.exfat exfat.img > /dev/null 2>&1; then { printf '\x00'; cat exfat.img; } > "$out/exfat"; fi
