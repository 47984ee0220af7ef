#!/usr/bin/env bash
# Read requests, system time and wall time of the scans against `cat` of the
# same image, page cache warm, for one or two builds (say, before and after a
# change to the sector reader), in one run.
#
# For each build and each of the standard and the extended scan (found files
# listed, nothing saved), it prints:
#   reads      read calls made (pread64 + read), counted by strace -c -f
#   sys, wall  system and wall seconds (GNU time; median of ROUNDS runs,
#              builds and cat alternating), without strace
#   of cat     cat's wall time divided by the scan's: the scan's throughput
#              as a share of the page cache's
#   start      wall time of the same scan of the image's first MiB: what a run
#              costs whatever its size (settings, device list, logs)
#   net        cat's wall time divided by the scan's less its start: the
#              share of cat's throughput while the scan reads
# and, with two builds, the ratios of the second to the first.
#
# Usage: bench/read-calls.sh IMAGE CLI [CLI_BEFORE] [ROUNDS]
#   IMAGE       a raw image, e.g. the one bench/scan-throughput.sh or
#               bench/real-media.sh makes
#   CLI         a pictora-cli binary; CLI_BEFORE another one to compare
#   ROUNDS      timed rounds (default 3)
# Needs: strace, GNU time.
set -euo pipefail
img=${1:?image}
after=${2:?pictora-cli}
before=${3:-}
rounds=${4:-3}
for tool in strace /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cat "$img" >/dev/null  # into the page cache
head -c $((1 << 20)) "$img" >"$out/head.dd"

builds=(after)
declare -A cli=([after]=$after)
if [ -n "$before" ]; then builds=(before after); cli[before]=$before; fi
modes=(standard extended)

scan() { "$1" scan "$img" --signatures "$2" --bad-sectors skip --list </dev/null >/dev/null 2>&1; }

# Read calls, once per build and mode.
declare -A reads
for b in "${builds[@]}"; do
  for m in "${modes[@]}"; do
    strace -c -f -e trace=pread64,read -o "$out/strace" "${cli[$b]}" scan "$img" --signatures "$m" \
      --bad-sectors skip --list </dev/null >/dev/null 2>&1
    reads[$b.$m]=$(awk '$NF=="pread64" || $NF=="read" {n += $4} END {print n + 0}' "$out/strace")
  done
done

# Wall and system time, alternating.
# GNU time tells wall time in hundredths, too coarse for a scan of a tenth of
# a second: the wall time is taken in nanoseconds around it instead.
timed() {  # key, command...
  local key=$1 t0 t1 s
  shift
  t0=$(date +%s%N)
  /usr/bin/time -f "%S" -o "$out/t" "$@" </dev/null >/dev/null 2>&1
  t1=$(date +%s%N)
  read -r s <"$out/t"
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f\n", (b - a) / 1e9}' >>"$out/wall.$key"
  echo "$s" >>"$out/sys.$key"
}
for ((r = 0; r < rounds; r++)); do
  timed cat cat "$img"
  for b in "${builds[@]}"; do
    for m in "${modes[@]}"; do
      timed "$b.$m" "${cli[$b]}" scan "$img" --signatures "$m" --bad-sectors skip --list
      timed "start.$b.$m" "${cli[$b]}" scan "$out/head.dd" --signatures "$m" --bad-sectors skip --list
    done
  done
done
median() { sort -g "$1" | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "n/a"}'; }

catwall=$(median "$out/wall.cat")
echo "image: $img ($(($(stat -c %s "$img") >> 20)) MiB); cat: ${catwall} s wall, $(median "$out/sys.cat") s sys"
printf '%-8s %-9s %10s %8s %8s %8s %8s %8s\n' build scan reads sys wall "of cat" start net
for b in "${builds[@]}"; do
  for m in "${modes[@]}"; do
    w=$(median "$out/wall.$b.$m")
    st=$(median "$out/wall.start.$b.$m")
    printf '%-8s %-9s %10s %8s %8s %8s %8s %8s\n' "$b" "$m" "${reads[$b.$m]}" "$(median "$out/sys.$b.$m")" "$w" \
      "$(ratio "$catwall" "$w")" "$st" "$(ratio "$catwall" "$(awk -v a="$w" -v b="$st" 'BEGIN {print a - b}')")"
  done
done
if [ -n "$before" ]; then
  for m in "${modes[@]}"; do
    echo "$m after/before: reads $(ratio "${reads[after.$m]}" "${reads[before.$m]}")," \
      "sys $(ratio "$(median "$out/sys.after.$m")" "$(median "$out/sys.before.$m")")," \
      "wall $(ratio "$(median "$out/wall.after.$m")" "$(median "$out/wall.before.$m")")"
  done
fi
