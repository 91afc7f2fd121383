#!/usr/bin/env bash
# Times load + save of a large real font through the name model against the
# same copy made durable (dd conv=fsync: the save syncs before it replaces the
# font), and prints the ratio (target: within 1.25x). Then the same for the
# whole Noto Sans CJK collection with one font's family renamed each run, and
# the load alone of the collection against that of its first font.
#
# usage: bench/model-load-save.sh [BUILD_DIR] [RUNS]
# BUILD_DIR defaults to build/bench, configured and built here if needed.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$repo/build/bench}"
runs="${2:-20}"

if [[ ! -x "$build/bin/model-load-save" ]]; then
    cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$build" --target model-load-save -j "$(nproc)" >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The first member of Noto Sans CJK, about 16 MB, taken out of its collection
# with fontTools; failing that, the largest .ttf on the machine.
collection=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc
font="$work/source.otf"
if ! /usr/bin/python3 - "$collection" "$font" 2>/dev/null <<'PY'
import sys
from fontTools.ttLib import TTCollection
TTCollection(sys.argv[1]).fonts[0].save(sys.argv[2])
PY
then
    largest="$(find /usr/share/fonts -name '*.ttf' -printf '%s %p\n' | sort -n | tail -1 | cut -d' ' -f2-)"
    echo "(no Noto CJK collection; using $largest)"
    cp "$largest" "$font"
fi
cp "$font" "$work/font"
sync

# Milliseconds spent running the command line `runs` times, after one warm-up.
time_runs() {
    "$@" >/dev/null
    local start end
    start=$(date +%s%N)
    for ((i = 0; i < runs; ++i)); do
        "$@" >/dev/null
    done
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

model_ms=$(time_runs "$build/bin/model-load-save" "$work/font")
cp_ms=$(time_runs dd if="$font" of="$work/copy" bs=1M conv=fsync status=none)
cmp -s "$font" "$work/font" || echo "note: the saved font differs from the source (layout normalised)"

size=$(stat -c %s "$font")
printf 'font: %s bytes, %d runs each\n' "$size" "$runs"
printf 'load + save: %d ms per run\n' $((model_ms / runs))
printf 'dd fsync:    %d ms per run\n' $((cp_ms / runs))
awk -v m="$model_ms" -v c="$cp_ms" 'BEGIN { printf "ratio:       %.2fx dd fsync (target: within 1.25x)\n", (c > 0 ? m / c : 0) }'

[[ -f "$collection" ]] || exit 0
cp "$collection" "$work/collection.ttc"
sync
# Each run renames font 3's family, alternating two names so that every save
# writes a new 'name' table.
edit_ms=$(
    "$build/bin/model-load-save" "$work/collection.ttc" 3 "Kestrin Bench A" >/dev/null
    start=$(date +%s%N)
    for ((i = 0; i < runs; ++i)); do
        "$build/bin/model-load-save" "$work/collection.ttc" 3 "Kestrin Bench $((i % 2))" >/dev/null
    done
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
)
dd_ms=$(time_runs dd if="$collection" of="$work/copy.ttc" bs=1M conv=fsync status=none)
size=$(stat -c %s "$collection")
printf '\ncollection: %s bytes, %d runs each\n' "$size" "$runs"
printf 'load + rename font 3 + save: %d ms per run\n' $((edit_ms / runs))
printf 'dd fsync:                    %d ms per run\n' $((dd_ms / runs))
awk -v m="$edit_ms" -v c="$dd_ms" 'BEGIN { printf "ratio:                       %.2fx dd fsync (target: within 1.25x)\n", (c > 0 ? m / c : 0) }'

load_ms=$(time_runs "$build/bin/model-load-save" --load "$collection")
one_ms=$(time_runs "$build/bin/model-load-save" --load "$font")
printf 'load alone: the collection %d.%02d ms per run, its first font %d.%02d ms\n' \
    $((load_ms / runs)) $((load_ms * 100 / runs % 100)) $((one_ms / runs)) $((one_ms * 100 / runs % 100))
