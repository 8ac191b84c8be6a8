#!/usr/bin/env bash
# Compression benchmark of the imaging library against wimlib's default LZX (not a test).
#
#   tools/bench/run.sh BUILD_DIR
#
# BUILD_DIR is configured as an optimised build without sanitizers if it has no driver yet.
# The corpus: every photograph of mate-backgrounds' nature set, each resized to 800x600 and
# 1024x768 24-bit BMPs (one pair per photograph), cached in BUILD_DIR/bench-corpus.
# Each pair is captured by our library and by `wimlib-imagex capture --compress=LZX --boot
# --threads=1`, timed as whole processes (median of BENCH_REPEAT runs, default 3). Our
# archives are also checked with `wimlib-imagex verify`.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$(mkdir -p "$1" && cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/../.." && pwd)
repeat=${BENCH_REPEAT:-3}
photos=/usr/share/backgrounds/mate/nature
convert=/usr/bin/convert  # ImageMagick's own; /usr/local/bin may hold something else

for tool in wimlib-imagex "$convert" cmake; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
if ! ls "$photos"/*.jpg >/dev/null 2>&1; then
  echo "bench: no photographs in $photos (apt-get install mate-backgrounds)" >&2
  exit 1
fi

driver=$build/bin/imaging_bench_capture
if [ ! -x "$driver" ]; then
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMARIVANE_SANITIZE=OFF -DMARIVANE_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target imaging_bench_capture -j2 >/dev/null

corpus=$build/bench-corpus
mkdir -p "$corpus"
pairs=()
for jpg in "$photos"/*.jpg; do
  name=$(basename "$jpg" .jpg)
  dir=$corpus/$name
  if [ ! -f "$dir/osload1024x768.bmp" ]; then
    mkdir -p "$dir"
    "$convert" "$jpg" -resize '800x600!' -strip -type TrueColor "BMP3:$dir/osload800x600.bmp"
    "$convert" "$jpg" -resize '1024x768!' -strip -type TrueColor "BMP3:$dir/osload1024x768.bmp"
  fi
  pairs+=("$name")
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Median wall time in ms of running "$@" $repeat times.
time_ms() {
  local times=() t0 t1
  for ((r = 0; r < repeat; r++)); do
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1 || return 1
    t1=$(date +%s%N)
    times+=($(((t1 - t0) / 1000000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((repeat + 1) / 2))p"
}

printf '%-14s %12s %12s %8s %9s %9s %8s  %s\n' pair ours wimlib size ours_ms wimlib_ms time check
total_ours=0 total_wimlib=0 total_ours_ms=0 total_wimlib_ms=0 failures=0
for name in "${pairs[@]}"; do
  ours_ms=$(time_ms "$driver" "$out/$name.ours.wim" "$corpus/$name") || { echo "bench: capture failed for $name" >&2; exit 1; }
  wimlib_ms=$(time_ms wimlib-imagex capture "$corpus/$name" "$out/$name.wimlib.wim" --compress=LZX --boot --threads=1)
  ours=$(stat -c %s "$out/$name.ours.wim")
  wimlib=$(stat -c %s "$out/$name.wimlib.wim")
  check=ok
  wimlib-imagex verify "$out/$name.ours.wim" >/dev/null 2>&1 || { check=BROKEN; failures=$((failures + 1)); }
  awk -v n="$name" -v o="$ours" -v w="$wimlib" -v om="$ours_ms" -v wm="$wimlib_ms" -v c="$check" \
    'BEGIN { printf "%-14s %12d %12d %8.4f %9d %9d %8.2f  %s\n", n, o, w, o / w, om, wm, om / wm, c }'
  total_ours=$((total_ours + ours)) total_wimlib=$((total_wimlib + wimlib))
  total_ours_ms=$((total_ours_ms + ours_ms)) total_wimlib_ms=$((total_wimlib_ms + wimlib_ms))
done
awk -v o="$total_ours" -v w="$total_wimlib" -v om="$total_ours_ms" -v wm="$total_wimlib_ms" \
  'BEGIN { printf "%-14s %12d %12d %8.4f %9d %9d %8.2f\n", "TOTAL", o, w, o / w, om, wm, om / wm }'
[ "$failures" -eq 0 ] || { echo "bench: $failures archive(s) failed wimlib-imagex verify" >&2; exit 1; }
