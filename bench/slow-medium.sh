#!/usr/bin/env bash
# Scans on a slow medium: a read-only loop device over the first SIZE_MIB of
# an image, read through a cgroup read limit of RATE_MB_S (blkio
# throttle.read_bps_device where the v1 blkio controller is mounted, io.max
# where cgroup v2 has the io controller). Caches are dropped before every
# run. Times, in alternating rounds:
#   dd if=LOOP of=/dev/null bs=1M                     reading the range once
#   pictora-cli scan LOOP --signatures standard --list
#   pictora-cli scan LOOP --signatures extended --list
# and prints the median of each and each scan's ratio to dd (aim: 1.1 or
# less). The desktop and the command line read a block device the same way.
#
# Usage: bench/slow-medium.sh [BUILD_DIR] [ROUNDS] [SIZE_MIB] [RATE_MB_S]
#   BUILD_DIR  holds bin/pictora-cli (default build-bench, built here in Release)
#   ROUNDS     alternating rounds (default 3)
#   SIZE_MIB   how much of the image is read (default 256)
#   RATE_MB_S  the read limit in MB/s (default 40)
# The image is $IMAGE, else $BENCH_DIR/card.dd (as scan-throughput.sh and
# extended-corpus.sh leave it). Needs root, losetup and a cgroup read limit:
# without them it says why and exits 0.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
rounds=${2:-3}
size_mib=${3:-256}
rate=${4:-40}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/zt-scan-bench}
image=${IMAGE:-$work/card.dd}

skip() { echo "slow-medium: skipped: $*"; exit 0; }
[ "$(id -u)" -eq 0 ] || skip "needs root (a loop device and a cgroup read limit)"
command -v losetup >/dev/null || skip "no losetup"
[ -s "$image" ] || skip "no image at $image (run bench/scan-throughput.sh first, or set IMAGE)"
[ "$(stat -c %s "$image")" -ge $((size_mib << 20)) ] || skip "$image is smaller than $size_mib MiB"

if [ -w /sys/fs/cgroup/blkio ] && [ -e /sys/fs/cgroup/blkio/blkio.throttle.read_bps_device ]; then
  mode=v1
  group=/sys/fs/cgroup/blkio/zt-slow-medium.$$
elif grep -qw io /sys/fs/cgroup/cgroup.controllers 2>/dev/null; then
  mode=v2
  group=/sys/fs/cgroup/zt-slow-medium.$$
else
  skip "no cgroup read limit here (neither v1 blkio nor the v2 io controller)"
fi

if [ ! -x "$build/bin/pictora-cli" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_TESTS=OFF -DZT_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target pictora-cli >/dev/null
fi
cli=$build/bin/pictora-cli

mkdir -p "$work"
slice=$work/slow-medium.dd
if [ ! -s "$slice" ] || [ "$(stat -c %s "$slice")" -ne $((size_mib << 20)) ]; then
  dd if="$image" of="$slice" bs=1M count="$size_mib" status=none
fi
loop=$(losetup --find --show --read-only "$slice") || skip "no free loop device"
cleanup() {
  rmdir "$group" 2>/dev/null || true
  losetup -d "$loop" 2>/dev/null || true
}
trap cleanup EXIT
device=$(lsblk -dno MAJ:MIN "$loop" | tr -d ' ')
bytes_per_s=$((rate * 1000 * 1000))

mkdir "$group" || skip "cannot make a cgroup in $(dirname "$group")"
if [ "$mode" = v1 ]; then
  echo "$device $bytes_per_s" >"$group/blkio.throttle.read_bps_device"
else
  echo +io >/sys/fs/cgroup/cgroup.subtree_control 2>/dev/null || true
  echo "$device rbps=$bytes_per_s" >"$group/io.max" || skip "io.max cannot be set here"
fi

# One run inside the limited group, from a cold cache; prints its wall time.
timed() {
  sync
  echo 3 >/proc/sys/vm/drop_caches
  blockdev --flushbufs "$loop" 2>/dev/null || true
  local start end
  start=$(date +%s.%N)
  sh -c 'echo $$ >"$1/cgroup.procs"; shift; exec "$@"' sh "$group" "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

declare -a t_dd t_std t_ext
for ((r = 0; r < rounds; r++)); do
  t_dd+=("$(timed dd if="$loop" of=/dev/null bs=1M)")
  t_std+=("$(timed "$cli" scan "$loop" --signatures standard --list)")
  t_ext+=("$(timed "$cli" scan "$loop" --signatures extended --list)")
done
dd_s=$(printf '%s\n' "${t_dd[@]}" | median)
std_s=$(printf '%s\n' "${t_std[@]}" | median)
ext_s=$(printf '%s\n' "${t_ext[@]}" | median)

echo "slow medium: ${size_mib} MiB through a ${rate} MB/s read limit (cgroup $mode), $rounds rounds, medians"
printf '  %-28s %7.2f s\n' "dd bs=1M" "$dd_s" "scan --signatures standard" "$std_s" \
  "scan --signatures extended" "$ext_s"
printf '  standard / dd %.2f   extended / dd %.2f   (aim: 1.1 or less)\n' \
  "$(echo "$std_s / $dd_s" | bc -l)" "$(echo "$ext_s / $dd_s" | bc -l)"
