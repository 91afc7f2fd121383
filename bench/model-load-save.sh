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

# Runs the functions `first` and `second` `runs` times each, taking turns so
# that other work on the machine weighs on both alike (after one warm-up of
# each), and sets first_us and second_us to their median times.
take_turns() {
    first >/dev/null
    second >/dev/null
    local a=() b=() start
    for ((i = 0; i < runs; ++i)); do
        start=$(date +%s%N)
        first >/dev/null
        a+=($((($(date +%s%N) - start) / 1000)))
        start=$(date +%s%N)
        second >/dev/null
        b+=($((($(date +%s%N) - start) / 1000)))
    done
    first_us=$(printf '%s\n' "${a[@]}" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}')
    second_us=$(printf '%s\n' "${b[@]}" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}')
}

report() {  # label, limit label
    awk -v m="$first_us" -v c="$second_us" -v what="$1" -v limit="$2" 'BEGIN {
        printf "%s: %.1f ms, %s: %.1f ms (medians): %.2fx\n", what, m / 1000, limit, c / 1000, (c > 0 ? m / c : 0) }'
}

size=$(stat -c %s "$font")
printf 'font: %s bytes, %d runs each; target within 1.25x dd fsync\n' "$size" "$runs"
first() { "$build/bin/model-load-save" "$work/font"; }
second() { dd if="$font" of="$work/copy" bs=1M conv=fsync status=none; }
take_turns
report "load + save" "dd fsync"
cmp -s "$font" "$work/font" || echo "note: the saved font differs from the source (layout normalised)"

[[ -f "$collection" ]] || exit 0
cp "$collection" "$work/collection.ttc"
sync
# Each run renames font 3's family, alternating two names so that every save
# writes a new 'name' table.
turn=0
first() {
    turn=$((turn + 1))
    "$build/bin/model-load-save" "$work/collection.ttc" 3 "Kestrin Bench $((turn % 2))"
}
second() { dd if="$collection" of="$work/copy.ttc" bs=1M conv=fsync status=none; }
take_turns
printf '\ncollection: %s bytes, %d runs each; target within 1.25x dd fsync\n' \
    "$(stat -c %s "$collection")" "$runs"
report "load + rename font 3 + save" "dd fsync"

first() { "$build/bin/model-load-save" --load "$collection"; }
second() { "$build/bin/model-load-save" --load "$font"; }
take_turns
report "load alone of the collection" "of its first font"
