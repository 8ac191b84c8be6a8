#!/usr/bin/env bash
# Compression benchmark of the imaging library against wimlib's LZX (not a test).
#
#   tools/bench/run.sh BUILD_DIR
#
# BUILD_DIR is configured as an optimised build without sanitizers if it has no driver yet.
# The corpus, each picture resized to 800x600 and 1024x768 24-bit BMPs (one pair per picture),
# cached in BUILD_DIR/bench-corpus:
#   - photographs: every one of mate-backgrounds' nature set, and those of three other
#     packages' wallpaper collections (lomiri's two and Plasma's), so that tuning cannot fit
#     one collection;
#   - harder pictures from other packages: a detailed painting, a grainy flat texture, smooth
#     gradients, two screenshots and a line-art plot.
# Each pair is captured by our library and by `wimlib-imagex capture --boot` as its users run
# it: at its default LZX on every core, and on one (`--threads=1`). LZX:100 (its slowest, best)
# is run once, for its size. Times are those of each whole process, the median of BENCH_REPEAT
# runs (default 5; BENCH_ONLY=REGEX keeps the pairs whose names match): the CPU time (user + system, all threads) and the wall time, which is what
# the user waits for but which on a shared machine swings with whatever else runs; the noise
# lines say how far the runs of one measurement spread around their median. `build KiB` is the
# peak resident memory of a whole `marivane-cli build` of the pair into a boot screen file. Our
# archives are also checked with `wimlib-imagex verify`. tools/bench/table.py prints the table;
# tools/bench/NOTES.md says what the compressor's tuning measured.
#
# Another comparison is a loop that measures with `run_ms` and writes a rows file for a table of
# its own (see the capture loop below).
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$(mkdir -p "$1" && cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/../.." && pwd)
repeat=${BENCH_REPEAT:-5}
convert=/usr/bin/convert  # ImageMagick's own; /usr/local/bin may hold something else
cputime=$repo/tools/bench/cputime.py

# --- The corpus: name=picture, a name per pair ---
photos=()
for jpg in /usr/share/backgrounds/mate/nature/*.jpg; do photos+=("$(basename "$jpg" .jpg)=$jpg"); done
# lomiri-wallpapers-16.04 and -20.04: the photographs, not the drawings.
for name in Bridge_by_Sander_Klootwijk Dragonfly_by_Bolly Picture_0B_by_freespace Picture_1A_by_freespace \
            Wine_by_Jakkub_Mede aitzgorri_by_Aitzol_Berasategi free_by_Peter_Nerlich \
            friends_by_Aitzol_Berasategi greentock_by_Peter_Nerlich life_by_Aitzol_Berasategi \
            picosdeeuropa_by_Aitzol_Berasategi seeding_by_Clements_Engelhardt sunset_by_Aitzol_Berasategi \
            Kleiber_by_Lukas_Baubkus; do
  photos+=("${name%%_by_*}=/usr/share/backgrounds/$name.jpg")
done
# plasma-workspace-wallpapers: likewise.
for name in BytheWater ColdRipple ColorfulCups DarkestHour EveningGlow FallenLeaf Grey Kite OneStandsOut Path; do
  photos+=("$name=/usr/share/wallpapers/$name/contents/images/2560x1600.jpg")
done
harder=(
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
for entry in "${photos[@]}" "${harder[@]}"; do
  [ -f "${entry#*=}" ] || { echo "bench: ${entry#*=} is missing (tools/setup.sh bench)" >&2; exit 1; }
done

driver=$build/bin/imaging_bench_capture
cli=$build/bin/marivane-cli
if [ ! -x "$driver" ]; then
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMARIVANE_SANITIZE=OFF -DMARIVANE_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target imaging_bench_capture marivane-cli x86template -j2 >/dev/null

corpus=$build/bench-corpus
mkdir -p "$corpus"
pair_dir() {  # NAME PICTURE: prints the pair's folder, made on first use
  local dir=$corpus/$1
  if [ ! -f "$dir/osload1024x768.bmp" ]; then
    mkdir -p "$dir"
    # -flatten puts transparent pictures on white, as a screen would show them.
    "$convert" "$2" -background white -flatten -resize '800x600!' -strip -type TrueColor "BMP3:$dir/osload800x600.bmp"
    "$convert" "$2" -background white -flatten -resize '1024x768!' -strip -type TrueColor "BMP3:$dir/osload1024x768.bmp"
  fi
  echo "$dir"
}

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
spreads=$out/spreads  # one line per measurement: the CPU time's spread and the wall time's

# Medians of the CPU and the wall ms of running "$@" $repeat times, as "CPU WALL"; the spreads
# (max - min) / median go to $spreads.
run_ms() {
  local runs=() r
  for ((r = 0; r < repeat; r++)); do
    runs+=("$("$cputime" "$@")") || return 1
  done
  printf '%s\n' "${runs[@]}" | python3 -c '
import statistics, sys
runs = [tuple(map(float, line.split())) for line in sys.stdin]
medians = [statistics.median(column) for column in zip(*runs)]
spreads = [(max(c) - min(c)) / m if m > 0 else 0 for c, m in zip(zip(*runs), medians)]
print(*spreads, file=open(sys.argv[1], "a"))
print(*medians)' "$spreads"
}

# --- Capture: one row per pair ---
rows=$out/capture
echo "kind pair ours wimlib lzx100 cpu wall cpu_w wall_w cpu_1 wall_1 build_kib check" >"$rows"
failures=0
capture_row() {  # KIND NAME=PICTURE
  local name=${2%%=*} dir
  [[ $name =~ ${BENCH_ONLY:-.} ]] || return 0
  dir=$(pair_dir "$name" "${2#*=}")
  local ours=$out/$name.ours.wim w=$out/$name.w.wim w1=$out/$name.w1.wim w100=$out/$name.100.wim
  local ms ms_w ms_1
  ms=$(run_ms "$driver" "$ours" "$dir") || { echo "bench: capture failed for $name" >&2; exit 1; }
  ms_w=$(run_ms wimlib-imagex capture "$dir" "$w" --boot) || { echo "bench: wimlib failed for $name" >&2; exit 1; }
  ms_1=$(run_ms wimlib-imagex capture "$dir" "$w1" --boot --threads=1) || { echo "bench: wimlib failed for $name" >&2; exit 1; }
  wimlib-imagex capture "$dir" "$w100" --boot --compress=LZX:100 >/dev/null
  local check=ok kib
  wimlib-imagex verify "$ours" >/dev/null 2>&1 || { check=BROKEN; failures=$((failures + 1)); }
  # Each build works in a TEMP of its own: other runs on this machine use /tmp/mrvn too.
  mkdir -p "$out/temp"
  kib=$(TEMP=$out/temp TMPDIR=$out/temp /usr/bin/time -f %M -o "$out/mem" "$cli" build --force \
          -o "$out/$name.mui" "$dir/osload800x600.bmp" "$dir/osload1024x768.bmp" >/dev/null 2>&1 &&
        cat "$out/mem") || { kib=-; check="$check,build-failed"; failures=$((failures + 1)); }
  echo "$1 $name $(stat -c %s "$ours") $(stat -c %s "$w") $(stat -c %s "$w100") $ms $ms_w $ms_1 $kib $check" >>"$rows"
  python3 "$repo/tools/bench/table.py" --row "$rows"
  rm -f "$ours" "$w" "$w1" "$w100"
}
python3 "$repo/tools/bench/table.py" --header "$rows"
for entry in "${photos[@]}"; do capture_row photo "$entry"; done
for entry in "${harder[@]}"; do capture_row harder "$entry"; done
python3 "$repo/tools/bench/table.py" --summary "$rows" "$spreads" "$repeat"
[ "$failures" -eq 0 ] || { echo "bench: $failures pair(s) failed wimlib-imagex verify or the build" >&2; exit 1; }
