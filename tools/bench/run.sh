#!/usr/bin/env bash
# Compression benchmark of the imaging library against wimlib's LZX (not a test).
#
#   tools/bench/run.sh BUILD_DIR
#
# BUILD_DIR is configured as an optimised build without sanitizers if it has no driver yet.
# The corpus, each picture resized to 800x600 and 1024x768 24-bit BMPs (one pair per picture),
# cached in BUILD_DIR/bench-corpus:
#   - every photograph of mate-backgrounds' nature set;
#   - harder ones from other packages: a detailed painting, a grainy flat texture, smooth
#     gradients, two screenshots and a line-art plot.
# Each pair is captured by our library and by `wimlib-imagex capture --boot --threads=1`, at
# its default LZX and at LZX:100 (its slowest, best). Times are those of each whole process,
# the median of BENCH_REPEAT runs (default 5): the CPU time (user + system, both our threads)
# and the wall time, which is what the user waits for and what our second thread shortens,
# but which on a shared machine swings with whatever else runs. The noise line says how far
# the runs of one measurement spread around their median. `build KiB` is the peak resident memory of a
# whole `marivane-cli build` of the pair into a boot screen file. Our archives are also checked
# with `wimlib-imagex verify`.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$(mkdir -p "$1" && cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/../.." && pwd)
repeat=${BENCH_REPEAT:-5}
photos=/usr/share/backgrounds/mate/nature
convert=/usr/bin/convert  # ImageMagick's own; /usr/local/bin may hold something else
cputime=$repo/tools/bench/cputime.py
# name=picture: what the nature set lacks.
extras=(
  painting=/usr/share/backgrounds/mate/abstract/Elephants.jpg
  grain=/usr/share/backgrounds/gnome/symbolic-l.webp
  gradient=/usr/share/backgrounds/gnome/adwaita-l.webp
  truchet=/usr/share/backgrounds/gnome/truchet-l.webp
  gui-shot=/usr/share/doc/valgrind/html/images/kcachegrind_xtree.png
  text-shot=/usr/share/doc/valgrind/html/images/dh-tree.png
  plot=/usr/share/doc/nodejs/contributing/doc_img/scatter-plot.png
)

for tool in wimlib-imagex "$convert" cmake python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
if ! ls "$photos"/*.jpg >/dev/null 2>&1; then
  echo "bench: no photographs in $photos (tools/setup.sh bench)" >&2
  exit 1
fi
for extra in "${extras[@]}"; do
  [ -f "${extra#*=}" ] || { echo "bench: ${extra#*=} is missing (tools/setup.sh bench)" >&2; exit 1; }
done

driver=$build/bin/imaging_bench_capture
cli=$build/bin/marivane-cli
if [ ! -x "$driver" ]; then
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMARIVANE_SANITIZE=OFF -DMARIVANE_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target imaging_bench_capture marivane-cli x86template -j2 >/dev/null

corpus=$build/bench-corpus
mkdir -p "$corpus"
pairs=()
add_pair() {  # NAME PICTURE
  local dir=$corpus/$1
  if [ ! -f "$dir/osload1024x768.bmp" ]; then
    mkdir -p "$dir"
    # -flatten puts transparent pictures on white, as a screen would show them.
    "$convert" "$2" -background white -flatten -resize '800x600!' -strip -type TrueColor "BMP3:$dir/osload800x600.bmp"
    "$convert" "$2" -background white -flatten -resize '1024x768!' -strip -type TrueColor "BMP3:$dir/osload1024x768.bmp"
  fi
  pairs+=("$1")
}
for jpg in "$photos"/*.jpg; do add_pair "$(basename "$jpg" .jpg)" "$jpg"; done
for extra in "${extras[@]}"; do add_pair "${extra%%=*}" "${extra#*=}"; done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
spreads=$out/spreads
wspreads=$out/wspreads

# Medians of the CPU and the wall ms of running "$@" $repeat times, as "CPU WALL"; the spreads
# (max - min) / median go to $spreads and $wspreads.
run_ms() {
  local runs=() r
  for ((r = 0; r < repeat; r++)); do
    runs+=("$("$cputime" "$@")") || return 1
  done
  local cpu wall
  cpu=$(printf '%s\n' "${runs[@]}" | awk '{ print $1 }' | median_ms "$spreads") || return 1
  wall=$(printf '%s\n' "${runs[@]}" | awk '{ print $2 }' | median_ms "$wspreads") || return 1
  echo "$cpu $wall"
}
median_ms() {  # SPREADS_FILE < one figure a line
  sort -g | awk -v out="$1" '
    { t[NR] = $1 }
    END { m = t[int((NR + 1) / 2)]; print m; if (m > 0) print (t[NR] - t[1]) / m >> out }'
}

printf '%-14s %9s %9s %9s %7s %7s | %5s %5s %5s %5s %5s | %5s %5s %5s %5s %5s | %8s  %s\n' pair ours wimlib \
  lzx100 size/w size/100 cpu cpu_w c_100 c/w c/100 wall wal_w wa100 w/w w/100 'build KiB' check
rows=$out/rows
failures=0
for name in "${pairs[@]}"; do
  dir=$corpus/$name
  read -r ms wms < <(run_ms "$driver" "$out/$name.ours.wim" "$dir") || { echo "bench: capture failed for $name" >&2; exit 1; }
  read -r ms_w wms_w < <(run_ms wimlib-imagex capture "$dir" "$out/$name.w.wim" --compress=LZX --boot --threads=1) || true
  read -r ms_100 wms_100 < <(run_ms wimlib-imagex capture "$dir" "$out/$name.100.wim" --compress=LZX:100 --boot --threads=1) || true
  [ -n "$ms" ] && [ -n "$ms_w" ] && [ -n "$ms_100" ] || { echo "bench: a timed run failed for $name" >&2; exit 1; }
  ours=$(stat -c %s "$out/$name.ours.wim")
  w=$(stat -c %s "$out/$name.w.wim")
  w100=$(stat -c %s "$out/$name.100.wim")
  check=ok
  wimlib-imagex verify "$out/$name.ours.wim" >/dev/null 2>&1 || { check=BROKEN; failures=$((failures + 1)); }
  # Each build works in a TEMP of its own: other runs on this machine use /tmp/mrvn too.
  mkdir -p "$out/temp"
  kib=$(TEMP=$out/temp TMPDIR=$out/temp /usr/bin/time -f %M -o "$out/mem" "$cli" build --force \
          -o "$out/$name.mui" "$dir/osload800x600.bmp" "$dir/osload1024x768.bmp" >/dev/null 2>&1 &&
        cat "$out/mem") || { kib=-; check="$check build-failed"; failures=$((failures + 1)); }
  echo "$name $ours $w $w100 $ms $ms_w $ms_100 $kib $check $wms $wms_w $wms_100" >>"$rows"
  awk -v n="$name" -v o="$ours" -v w="$w" -v h="$w100" -v m="$ms" -v mw="$ms_w" -v mh="$ms_100" \
      -v wm="$wms" -v wmw="$wms_w" -v wmh="$wms_100" -v k="$kib" -v c="$check" 'BEGIN {
    printf "%-14s %9d %9d %9d %7.4f %7.4f | %5.0f %5.0f %5.0f %5.2f %5.2f | %5.0f %5.0f %5.0f %5.2f %5.2f | %8s  %s\n",
           n, o, w, h, o / w, o / h, m, mw, mh, m / mw, m / mh, wm, wmw, wmh, wm / wmw, wm / wmh, k, c }'
done
awk -v spreads="$spreads" -v wspreads="$wspreads" -v repeat="$repeat" '
  { o += $2; w += $3; h += $4; m += $5; mw += $6; mh += $7; wm += $10; wmw += $11; wmh += $12
    r[NR] = $2 / $3; rh[NR] = $2 / $4; t[NR] = $5 / $6; th[NR] = $5 / $7; u[NR] = $10 / $11; uh[NR] = $10 / $12
    if ($8 != "-" && $8 > kib) kib = $8 }
  function median(a, n,   i, j, x) {
    for (i = 2; i <= n; ++i) { x = a[i]; for (j = i - 1; j >= 1 && a[j] > x; --j) a[j + 1] = a[j]; a[j + 1] = x }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
  END {
    printf "%-14s %9d %9d %9d %7.4f %7.4f | %5.0f %5.0f %5.0f %5.2f %5.2f | %5.0f %5.0f %5.0f %5.2f %5.2f\n", "TOTAL",
           o, w, h, o / w, o / h, m, mw, mh, m / mw, m / mh, wm, wmw, wmh, wm / wmw, wm / wmh
    n = NR
    printf "size vs wimlib default: best %.4f, worst %.4f; vs LZX:100: best %.4f, worst %.4f\n",
           min(r, n), max(r, n), min(rh, n), max(rh, n)
    printf "CPU time vs wimlib default: median %.2f, worst %.2f; vs LZX:100: median %.2f\n",
           median(t, n), max(t, n), median(th, n)
    printf "wall time vs wimlib default: median %.2f, worst %.2f; vs LZX:100: median %.2f\n",
           median(u, n), max(u, n), median(uh, n)
    printf "peak memory of a whole build: %d KiB (%.1f MiB)\n", kib, kib / 1024
    s = 0; while ((getline x < spreads) > 0) sp[++s] = x
    v = 0; while ((getline x < wspreads) > 0) wsp[++v] = x
    printf "noise: %d runs per figure; (max - min) / median of CPU time: median %.1f%%, worst %.1f%%; of wall time: median %.1f%%, worst %.1f%%\n",
           repeat, 100 * median(sp, s), 100 * max(sp, s), 100 * median(wsp, v), 100 * max(wsp, v)
  }
  function min(a, n,   i, x) { x = a[1]; for (i = 2; i <= n; ++i) if (a[i] < x) x = a[i]; return x }
  function max(a, n,   i, x) { x = a[1]; for (i = 2; i <= n; ++i) if (a[i] > x) x = a[i]; return x }
' "$rows"
[ "$failures" -eq 0 ] || { echo "bench: $failures pair(s) failed wimlib-imagex verify or the build" >&2; exit 1; }
