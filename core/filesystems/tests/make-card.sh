#!/usr/bin/env bash
# Writes a card image the way phones and cameras leave them, with the file
# systems' own tools: mkfs.vfat and mtools for FAT, mkfs.exfat and exfat-fuse
# for exFAT (which needs root and /dev/fuse). Leaves in OUT:
#   card.img   the image
#   files/     every file written, under its path on the card
# Usage: make-card.sh fat32|fat16|mbr|gpt|quick-format|exfat OUT
set -euo pipefail
story=$1
out=$2
rm -rf "$out"
mkdir -p "$out/files"
cd "$out"

# A photo of about $2 KB (noise does not compress) named $1 under files/,
# stamped with the time $3.
photo() {
  mkdir -p "files/$(dirname "$1")"
  local side=$(( $2 * 2 / 3 + 16 ))
  convert -size "${side}x${side}" xc:gray +noise Random -seed "${#1}" -quality 92 "files/$1"
  touch -d "$3" "files/$1"
}

fat_put() { mcopy -m -i card.img "files/$1" "::$1"; }
fat_story() {
  local fat=$1 size_mb=$2 cluster=$3
  mkfs.vfat -F "$fat" -s "$cluster" -n PHONE -C card.img $((size_mb * 1024)) > /dev/null
  export MTOOLS_SKIP_CHECK=1
  mmd -i card.img ::DCIM ::DCIM/100PHONE ::Music ::Old ::Old/Trip
  photo "DCIM/100PHONE/IMG_20260714_101112.jpg" 300 "2026-07-14 10:11:12"
  photo "DCIM/100PHONE/Été à Zürich.jpg" 120 "2026-07-15 08:00:00"
  photo "DCIM/100PHONE/A.jpg" 200 "2026-07-16 09:00:00"
  photo "DCIM/100PHONE/B.jpg" 200 "2026-07-16 09:00:02"
  photo "DCIM/100PHONE/C.jpg" 150 "2026-07-16 09:00:04"
  photo "Old/Trip/Beach day.jpg" 180 "2026-06-01 12:00:00"
  photo "Old/Note.jpg" 60 "2026-06-01 12:30:00"
  photo "Music/Cover.jpg" 40 "2026-05-01 18:00:00"
  for f in "DCIM/100PHONE/IMG_20260714_101112.jpg" "DCIM/100PHONE/Été à Zürich.jpg" \
           DCIM/100PHONE/A.jpg DCIM/100PHONE/B.jpg DCIM/100PHONE/C.jpg \
           "Old/Trip/Beach day.jpg" Old/Note.jpg Music/Cover.jpg; do
    fat_put "$f"
  done
  # B's clusters become a hole that D fills before it goes on after C. FAT32
  # remembers where it last allocated: that hint is cleared, as a camera
  # that searches from the start would.
  mdel -i card.img ::DCIM/100PHONE/B.jpg
  if [ "$fat" = 32 ]; then printf '\xff\xff\xff\xff' | dd of=card.img bs=1 seek=$((512 + 492)) conv=notrunc status=none; fi
  photo "DCIM/100PHONE/D fragmented.jpg" 500 "2026-07-17 07:00:00"
  fat_put "DCIM/100PHONE/D fragmented.jpg"
  # Deleted with nothing written after: their clusters are intact.
  mdel -i card.img ::Music/Cover.jpg
  mdeltree -i card.img ::Old
}

case "$story" in
  fat32) fat_story 32 80 2 ;;
  fat16) fat_story 16 24 4 ;;
  mbr|gpt)
    # The FAT16 card as the one partition of a disk, 1 MiB in, as sfdisk lays it out.
    fat_story 16 24 4
    mv card.img volume.img
    truncate -s $((1024 * 1024 + $(stat -c %s volume.img) + 64 * 1024)) card.img
    echo "start=2048, size=$(($(stat -c %s volume.img) / 512)), type=$([ "$story" = mbr ] && echo 6 || echo EBD0A0A2-B9E5-4433-87C0-68B6B72699C7)" |
      sfdisk --quiet --label "$([ "$story" = mbr ] && echo dos || echo gpt)" card.img
    dd if=volume.img of=card.img bs=1M seek=1 conv=notrunc status=none
    rm volume.img
    ;;
  quick-format)
    fat_story 32 80 2
    # The same geometry again: the table and root are new, the data area is not.
    mkfs.vfat -F 32 -s 2 -n PHONE card.img > /dev/null
    ;;
  exfat)
    truncate -s 64M card.img
    mkfs.exfat -c 4K -L PHONE card.img > /dev/null
    mkdir -p mnt
    loop=$(losetup -f --show card.img)
    trap 'umount mnt 2>/dev/null || true; losetup -d "$loop"' EXIT
    mount.exfat-fuse "$loop" mnt > /dev/null
    mkdir -p mnt/DCIM/Camera mnt/Recordings mnt/Old/Trip
    photo "DCIM/Camera/IMG_20260714_101112.jpg" 300 "2026-07-14 10:11:12"
    photo "DCIM/Camera/Été à Zürich.jpg" 120 "2026-07-15 08:00:00"
    photo "DCIM/Camera/A.jpg" 200 "2026-07-16 09:00:00"
    photo "DCIM/Camera/B.jpg" 200 "2026-07-16 09:00:02"
    photo "DCIM/Camera/C.jpg" 150 "2026-07-16 09:00:04"
    photo "Old/Trip/Beach day.jpg" 180 "2026-06-01 12:00:00"
    photo "Recordings/Cover.jpg" 40 "2026-05-01 18:00:00"
    for f in "DCIM/Camera/IMG_20260714_101112.jpg" "DCIM/Camera/Été à Zürich.jpg" DCIM/Camera/A.jpg \
             DCIM/Camera/B.jpg DCIM/Camera/C.jpg "Old/Trip/Beach day.jpg" Recordings/Cover.jpg; do
      cp -p "files/$f" "mnt/$f"
      sync
    done
    rm mnt/DCIM/Camera/B.jpg
    sync
    photo "DCIM/Camera/D fragmented.jpg" 500 "2026-07-17 07:00:00"
    cp -p "files/DCIM/Camera/D fragmented.jpg" "mnt/DCIM/Camera/D fragmented.jpg"
    sync
    rm mnt/Recordings/Cover.jpg
    rm -r mnt/Old
    sync
    umount mnt
    losetup -d "$loop"
    trap - EXIT
    ;;
  *) echo "unknown story $story" >&2; exit 2 ;;
esac
