#!/usr/bin/env bash
# How completely and how fast extended signatures recover real files, against
# the standard scan, photorec and foremost, on one image in one run.
#
# Makes several hundred real pictures, sounds and videos of every form
# tests/corpus/make-corpus.sh knows, lays them out with corpus-image in an
# image of at least 1 GiB (each at a sector start between filler and zeros,
# with cut and overwritten copies of some), reads the image once into the
# page cache, then runs in alternating rounds, each saving what it finds into
# an emptied folder and timed by GNU time:
#   pictora-cli scan IMG --signatures extended --save DIR
#   the same with --max-size raised for every type to hold the largest file:
#     the walk that measures a file reads no further than its type's maximum
#     size (2000 KB unless given), so a larger file is cut by the marker rules
#   pictora-cli scan IMG --signatures standard --save DIR   (for reference)
#   photorec, every file type it knows enabled, the whole space searched
#   the same photorec run followed by `sync -f` of its folder: pictora-cli's
#     saving ends with a flush of what it wrote, photorec's does not
#   foremost -q (headers at sector starts, like the scan), its media types
# Then compares each folder with the manifest of the image (bench/corpus-match.py):
#   byte-right   whole files of which a saved file from their sector starts with
#                every byte of the original (it may run on past its end)
#   exact        whole files saved byte-identical, at their exact length
#   pieces       saved files that start at a later sector of a damaged copy (the
#                rest of a file behind a stretch of zeros is still its data)
#   false        saved files that are neither: they start like no placed file
#                (whole or damaged), nor at a sector inside a damaged copy
# and prints the table and the throughput ratios. What each tool missed is
# written to WORK/misses-TOOL.txt.
#
# Usage: bench/extended-corpus.sh [BUILD_DIR] [VARIANTS] [SCALE] [SIZE_MIB] [ROUNDS]
#   BUILD_DIR  holds bin/pictora-cli and tests/corpus-image (default build, configured
#              and built here in Release when either is missing)
#   VARIANTS   files of each form (default 10: about 40 forms, so some 400 files)
#   SCALE      grows the pictures and durations (default 2: the largest files,
#              uncompressed pictures, are some MiB)
#   SIZE_MIB   the image's least size (default 1100)
#   ROUNDS     alternating timed rounds of every tool; the median counts (default 3)
# Work folder: $BENCH_DIR, else ${TMPDIR:-/tmp}/zt-extended-bench (about three
# times the image's size: photorec alone saves about as much as the image). The
# corpus and the image are kept and reused by a later run with the same
# VARIANTS, SCALE and SIZE_MIB.
# Needs: python3 testdisk foremost time and what `scripts/deps.sh test` installs
# (imagemagick ffmpeg sox lame flac webp libheif-examples libimage-exiftool-perl).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
variants=${2:-10}
scale=${3:-2}
size_mib=${4:-1100}
rounds=${5:-3}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/zt-extended-bench}
img=$work/card.dd
manifest=$work/manifest.tsv
files=$work/files

for tool in python3 convert ffmpeg sox lame flac cwebp heif-enc exiftool foremost photorec /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (see the Needs line of $0)" >&2; exit 1; }
done

if [ ! -x "$build/bin/pictora-cli" ] || [ ! -x "$build/tests/corpus-image" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_BENCH=OFF >/dev/null
  # Two jobs: the build shares a small machine.
  cmake --build "$build" -j 2 --target pictora-cli corpus-image >/dev/null
fi
cli=$build/bin/pictora-cli

mkdir -p "$work"
# The corpus and image are remade only when their parameters change.
stamp="variants=$variants scale=$scale size_mib=$size_mib"
if [ "$(cat "$work/stamp" 2>/dev/null)" != "$stamp" ] || [ ! -s "$img" ] || [ ! -s "$manifest" ]; then
  rm -rf "$files" "$img" "$manifest" "$work/stamp"
  echo "Making $variants files of each form (scale $scale) in $files ..." >&2
  # A form whose tool fails is left out and named on stderr; the rest still count.
  bash "$root/tests/corpus/make-corpus.sh" "$files" "$variants" "$scale" || echo "(some forms are missing)" >&2
  echo "Laying them out in a ${size_mib} MiB image ..." >&2
  "$build/tests/corpus-image" "$files" "$img" 1 "$size_mib" >"$manifest"
  echo "$stamp" >"$work/stamp"
fi
bytes=$(stat -c %s "$img")
placed=$(wc -l <"$manifest")
whole=$(awk -F'\t' '$4 == "whole"' "$manifest" | wc -l)
largest=$(awk -F'\t' '$4 == "whole" && $3 > max {max = $3} END {print max + 0}' "$manifest")
# Every type the scan knows, from its help, each allowed the largest file and a margin.
max_kb=$(( (largest >> 10) + 64 ))
[ "$max_kb" -ge 2000 ] || max_kb=2000
[ "$max_kb" -le 250000 ] || max_kb=250000
sizes=$("$cli" scan --help | sed -n '/^File types:/,$p' | awk -v kb="$max_kb" \
  '/^  [A-Z0-9]+ / && !/not looked for/ {printf " --max-size %s=%s", $1, kb}')
cat "$img" >/dev/null  # into the page cache, so that every tool reads it from there

order=(extended extended-max standard photorec photorec-flushed foremost)
declare -A label=(
  [extended]="pictora-cli extended"
  [extended-max]="extended, max $max_kb KB"
  [standard]="pictora-cli standard"
  [photorec]="photorec"
  [photorec-flushed]="photorec, flushed"
  [foremost]="foremost -q"
)
declare -A cmds=(
  [extended]="'$cli' scan '$img' --signatures extended --bad-sectors skip --list --save '$work/out-extended' </dev/null"
  [extended-max]="'$cli' scan '$img' --signatures extended --bad-sectors skip$sizes --list --save '$work/out-extended-max' </dev/null"
  [standard]="'$cli' scan '$img' --signatures standard --bad-sectors skip --list --save '$work/out-standard' </dev/null"
  [photorec]="cd '$work/out-photorec' && photorec /log /d '$work/out-photorec/f' /cmd '$img' partition_none,fileopt,everything,enable,wholespace,search"
  # pictora-cli ends a saving run by flushing what it wrote (a write error
  # during writeback is told, not "saved"); photorec does not. The same run
  # followed by a flush of its folder compares like with like.
  [photorec-flushed]="cd '$work/out-photorec-flushed' && photorec /log /d '$work/out-photorec-flushed/f' /cmd '$img' partition_none,fileopt,everything,enable,wholespace,search && sync -f '$work/out-photorec-flushed'"
  [foremost]="foremost -q -t jpg,gif,png,bmp,avi,wav,mpg,wmv,mov,mp4 -i '$img' -o '$work/out-foremost'"
)

# Alternating rounds, so that the load of a shared machine falls on every tool
# alike; each tool's median wall time counts, and its last run's folder is compared.
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
declare -A walls wall mib rss status
for ((r = 1; r <= rounds; r++)); do
  for name in "${order[@]}"; do
    out=$work/out-$name
    rm -rf "$out"
    # foremost makes its own folder and refuses one that holds files.
    [ "$name" = foremost ] || mkdir -p "$out"
    # The last run's saved files are written back before this one is timed.
    sync
    echo "Round $r/$rounds: ${label[$name]} ..." >&2
    set +e
    /usr/bin/time -v -o "$work/time-$name.txt" bash -c "${cmds[$name]}" >"$work/list-$name.txt" 2>"$work/log-$name.txt"
    rc=$?
    set -e
    [ "${status[$name]:-0}" -ne 0 ] || status[$name]=$rc
    # GNU time writes the elapsed time as [h:]m:ss.ss.
    walls[$name]+="$(awk -F': ' '/Elapsed \(wall clock\)/ {
        n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$work/time-$name.txt") "
    rss[$name]=$(awk -F': ' '/Maximum resident set size/ {print int($2 / 1024)}' "$work/time-$name.txt")
  done
done
for name in "${order[@]}"; do
  wall[$name]=$(echo "${walls[$name]}" | median | awk '{printf "%.2f", $1}')
  mib[$name]=$(awk -v b="$bytes" -v s="${wall[$name]}" 'BEGIN {printf "%.0f", b / 1048576 / s}')
done

pct() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.1f", b ? 100 * a / b : 0}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
echo
echo "image: $((bytes >> 20)) MiB, $placed files placed ($whole whole, $((placed - whole)) damaged copies), largest $largest bytes"
row='%-21s %6s %6s %11s %6s %6s %6s %7s %6s %8s %6s %8s %3s\n'
printf "$row" tool whole saved byte-right % exact % pieces false "wall s" MiB/s "RSS MiB" rc
for name in "${order[@]}"; do
  # pictora-cli's list tells where each saved file starts; the peers' file names do.
  list=()
  [[ $name == extended* || $name == standard ]] && list=("$work/list-$name.txt")
  read -r w right exact saved pieces false < <(python3 "$root/bench/corpus-match.py" --by-form "$work/forms-$name.txt" "$manifest" "$files" \
    "$img" "$work/out-$name" "$work/misses-$name.txt" "${list[@]}")
  printf "$row" "${label[$name]}" "$w" "$saved" "$right" "$(pct "$right" "$w")" "$exact" "$(pct "$exact" "$w")" \
    "$pieces" "$false" "${wall[$name]}" "${mib[$name]}" "${rss[$name]}" "${status[$name]}"
done
echo
echo "pictora-cli extended throughput / photorec:    $(ratio "${wall[photorec]}" "${wall[extended]}")"
echo "  ... / photorec with its files flushed:        $(ratio "${wall[photorec-flushed]}" "${wall[extended]}")"
echo "pictora-cli extended throughput / foremost -q: $(ratio "${wall[foremost]}" "${wall[extended]}")"
echo "pictora-cli extended throughput / standard:    $(ratio "${wall[standard]}" "${wall[extended]}")"
echo "wall times of the $rounds rounds (s):"
for name in "${order[@]}"; do printf '  %-21s %s\n' "${label[$name]}" "${walls[$name]}"; done
echo
echo "per form, exact/byte-right of the whole files placed:"
forms=()
for name in "${order[@]}"; do forms+=("$name=$work/forms-$name.txt"); done
python3 "$root/bench/forms-table.py" "${forms[@]}"
echo "misses, pieces and false files: $work/misses-*.txt; the last round's GNU time reports: $work/time-*.txt"
