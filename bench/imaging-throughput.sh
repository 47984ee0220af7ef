#!/usr/bin/env bash
# Whole-process throughput of `pictora-cli image` against dd (4 KiB blocks,
# with and without a final fsync) and ddrescue, copying the same image file.
# The commands alternate run by run so drift of the machine hits all of them
# alike; the report gives each median and its ratio to ours.
#
# Usage: bench/imaging-throughput.sh [SIZE_MIB] [RUNS]   (defaults 1024 and 5)
# Needs a build in build/ or $ZT_BUILD_DIR, and ddrescue (Debian gddrescue),
# which is skipped when missing. Work files go to $TMPDIR (or /tmp).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${ZT_BUILD_DIR:-$root/build}/bin/pictora-cli
size_mib=${1:-1024}
runs=${2:-5}
[ -x "$cli" ] || { echo "pictora-cli not found at $cli: build first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zt-imaging-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
src=$work/card.dd
out=$work/out
mkdir -p "$out"
# Random content: nothing can be skipped or compressed on the way.
head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$src"
sectors=$((size_mib * 2048))

declare -A commands=(
  [pictora-cli]="\"$cli\" image \"$src\" \"$out\" --bad-sectors skip"
  [dd]="dd if=\"$src\" of=\"$out/Image0.img\" bs=4096 status=none"
  [dd-fsync]="dd if=\"$src\" of=\"$out/Image0.img\" bs=4096 conv=fsync status=none"
)
order=(pictora-cli dd dd-fsync)
if command -v ddrescue >/dev/null; then
  commands[ddrescue]="ddrescue -q \"$src\" \"$out/Image0.img\" \"$out/map\""
  order+=(ddrescue)
else
  echo "ddrescue not installed (Debian package gddrescue): skipped" >&2
fi

declare -A times
for ((run = 1; run <= runs; run++)); do
  for name in "${order[@]}"; do
    rm -f "$out"/*
    sync
    start=$(date +%s.%N)
    eval "${commands[$name]}" </dev/null >/dev/null 2>&1
    end=$(date +%s.%N)
    times[$name]+="$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }') "
  done
done
cmp -n $((sectors * 512)) "$src" "$out/Image0.img" >/dev/null || echo "warning: last copy differs from its source" >&2

median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
ours=$(echo "${times[pictora-cli]}" | median)
printf '%-12s %10s %10s %14s\n' command median_s MiB/s "ours/this"
for name in "${order[@]}"; do
  m=$(echo "${times[$name]}" | median)
  awk -v n="$name" -v m="$m" -v s="$size_mib" -v o="$ours" 'BEGIN { printf "%-12s %10.3f %10.1f %14.2f\n", n, m, s / m, o / m }'
done
