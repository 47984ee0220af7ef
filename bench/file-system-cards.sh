#!/usr/bin/env bash
# What the card's own file system adds: on cards written by the file systems'
# own tools (core/filesystems/tests/make-card.sh: FAT32 and FAT16 by mkfs.vfat
# and mtools, exFAT by exfat-fuse, a FAT32 card formatted again), per card and
# per state of file (live contiguous, live fragmented, deleted intact, deleted
# overwritten), how many written files come back:
#   pictora   pictora-cli scan --signatures extended --file-system auto --list:
#             listed with the right folder, name and length, and not as maybe
#             overwritten (the card tests check the bytes)
#   tsk       tsk_recover -e: saved under the right path, byte-identical
#   photorec  photorec, every type: saved byte-identical (it gives no names)
# and the time each took. Needs root (exFAT on a loop device), ImageMagick,
# mtools, dosfstools, exfatprogs, exfat-fuse, sleuthkit and testdisk.
# Then, on a 1 GiB FAT32 card about half full of photos in folders, the time
# of the scan with --file-system auto against the same scan without it (the
# best of RUNS runs each, default 3) and their ratio.
# Usage: bench/file-system-cards.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
work=${2:-$(mktemp -d)}
mkdir -p "$work"
export XDG_STATE_HOME=$work/state ZT_REGISTRY_DIR=$work/settings TZ=UTC

now() { date +%s.%N; }
printf '%-13s %-9s %5s %5s %5s %5s %5s   %s\n' card tool live frag del over total seconds
for card in fat32 fat16 exfat quick-format; do
  "$here/../core/filesystems/tests/make-card.sh" "$card" "$work/$card" > /dev/null 2>&1 || { echo "$card: cannot be made here"; continue; }
  img=$work/$card/card.img
  t0=$(now)
  "$build/bin/pictora-cli" scan "$img" --signatures extended --file-system auto --list > "$work/$card/pictora.list" 2>/dev/null
  t1=$(now)
  rm -rf "$work/$card/tsk" && tsk_recover -e "$img" "$work/$card/tsk" > /dev/null 2>&1 || true
  t2=$(now)
  # photorec writes its log into the current folder.
  rm -rf "$work/$card/photorec"* && (cd "$work/$card" && photorec /log /d "$work/$card/photorec" /cmd "$img" "options,paranoid,search" > /dev/null 2>&1) || true
  t3=$(now)
  python3 - "$work/$card" "$card" "$t0" "$t1" "$t2" "$t3" <<'PY'
import hashlib, os, sys
folder, card, t0, t1, t2, t3 = sys.argv[1], sys.argv[2], *map(float, sys.argv[3:])
written = {}
for root, _, names in os.walk(os.path.join(folder, "files")):
    for n in names:
        p = os.path.join(root, n)
        written[os.path.relpath(p, os.path.join(folder, "files"))] = open(p, "rb").read()
live = {"DCIM/100PHONE/", "DCIM/Camera/"}
def state(path):
    name = os.path.basename(path)
    if name.startswith("D fragmented"): return "frag"
    if name == "B.jpg": return "over"
    return "live" if any(path.startswith(l) for l in live) else "del"
def tail(path):  # what a quick format leaves of a path: the part below the first folder
    return path.split("/", 1)[1] if card == "quick-format" else path
listed = {}
for line in open(os.path.join(folder, "pictora.list"), encoding="utf-8", errors="replace"):
    f = line.rstrip("\n").split("\t")
    if len(f) == 8 and f[7] != "-" and f[5] != "deleted-maybe-overwritten":
        listed[f[7]] = int(f[4])
def pictora(path, data):
    return any(p.endswith(tail(path)) and n == len(data) for p, n in listed.items())
def tsk(path, data):
    for root, _, names in os.walk(os.path.join(folder, "tsk")):
        for n in names:
            p = os.path.join(root, n)
            rel = os.path.relpath(p, os.path.join(folder, "tsk"))
            if rel.endswith(tail(path)) and open(p, "rb").read() == data: return True
    return False
carved = set()
for root, _, names in os.walk(folder):
    if "photorec" in root:
        for n in names: carved.add(hashlib.sha1(open(os.path.join(root, n), "rb").read()).digest())
def photorec(path, data): return hashlib.sha1(data).digest() in carved
for tool, test, secs in (("pictora", pictora, t1 - t0), ("tsk", tsk, t2 - t1), ("photorec", photorec, t3 - t2)):
    counts = {s: [0, 0] for s in ("live", "frag", "del", "over")}
    for path, data in written.items():
        c = counts[state(path)]
        c[1] += 1
        c[0] += test(path, data)
    cells = " ".join("%5s" % ("%d/%d" % tuple(counts[s])) for s in ("live", "frag", "del", "over"))
    total = sum(c[0] for c in counts.values())
    print("%-13s %-9s %s %5d   %.2f" % (card, tool, cells, total, secs))
PY
done

# The 1 GiB card: 1000 photos of about 500 KB in 20 folders.
big=$work/big
mkdir -p "$big"
if [ ! -f "$big/card.img" ]; then
  convert -size 700x700 xc:gray +noise Random -quality 97 "$big/photo.jpg"
  mkfs.vfat -F 32 -s 8 -n BIG -C "$big/card.img" $((1024 * 1024)) > /dev/null
  export MTOOLS_SKIP_CHECK=1
  for d in $(seq 1 20); do
    mmd -i "$big/card.img" "::F$d"
    for i in $(seq 1 50); do cp "$big/photo.jpg" "$big/P${d}_$i.jpg"; done
    mcopy -i "$big/card.img" "$big"/P"${d}"_*.jpg "::F$d/"
    rm -f "$big"/P"${d}"_*.jpg
  done
fi
best() {  # the shortest of RUNS runs of the command, in seconds
  local least=
  for _ in $(seq 1 "${RUNS:-3}"); do
    local t0 t1
    t0=$(now); "$@" > /dev/null 2>&1; t1=$(now)
    least=$(python3 -c "import sys; a=float(sys.argv[1]); b=sys.argv[2]; print(a if b == '' else min(a, float(b)))" "$(python3 -c "print($t1 - $t0)")" "$least")
  done
  echo "$least"
}
off=$(best "$build/bin/pictora-cli" scan "$big/card.img" --list)
on=$(best "$build/bin/pictora-cli" scan "$big/card.img" --list --file-system auto)
python3 -c "import sys; off, on = map(float, sys.argv[1:]); print('1 GiB FAT32 card: scan %.2f s, with --file-system auto %.2f s: %.2fx' % (off, on, on / off))" "$off" "$on"
