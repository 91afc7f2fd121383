#!/usr/bin/env bash
# Times Zelvic's make and break on real fonts against cat writing the same
# bytes, the limit on this machine, and reports peak memory.
#
#   bash bench/zelvic.sh [folder with Zelvic]     (default: build/zelvic/bin)
#
# make is compared with cat of its input fonts into one new file; break with
# cp of the fonts it writes into an empty folder. Each figure is the median of
# $RUNS runs on a warm page cache, outputs fresh each run. Targets: both within
# 1.1x of their limit, peak memory at most 32 MiB plus the largest directory.
# Last, make over two fonts of 65,535 look-alike tables each (equal tag, length
# and checksum, different bytes) against two fonts of as many random tables of
# the same size: the look-alikes must not cost more than their size.
set -euo pipefail
repo_root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${1:-$repo_root/build/zelvic/bin}"
zelvic="$bin/Zelvic"
[[ -x "$zelvic" ]] || { echo "no Zelvic in $bin: build first" >&2; exit 2; }
RUNS="${RUNS:-11}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Median wall time in milliseconds of running "$@" RUNS times: the machine
# may be shared, and the median shrugs off both stalls and lucky runs.
median_ms() {
    local start end times=()
    for ((i = 0; i < RUNS; i++)); do
        start=$(date +%s%N)
        "$@" >/dev/null
        end=$(date +%s%N)
        times+=($(((end - start) / 1000000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

# Peak resident memory in KiB.
peak_kib() {
    /usr/bin/time -f "%M" -o "$work/rss" "$@" >/dev/null
    cat "$work/rss"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

run_corpus() {
    local label="$1"
    shift
    local fonts=("$@")
    local dir="$work/$label"
    mkdir -p "$dir"
    cd "$dir"

    "$zelvic" All.ttc "${fonts[@]}" >/dev/null
    local make_ms cat_make_ms make_kib out_bytes
    make_ms=$(median_ms sh -c 'rm -f All.ttc && "$0" All.ttc "$@"' "$zelvic" "${fonts[@]}")
    cat_make_ms=$(median_ms sh -c 'rm -f cat.out && cat "$@" > cat.out' sh "${fonts[@]}")
    make_kib=$(peak_kib "$zelvic" All.ttc "${fonts[@]}")
    out_bytes=$(stat -c %s All.ttc)

    "$zelvic" All.ttc >/dev/null
    local split=(All[0-9]*.TTF)
    local break_ms cat_break_ms break_kib split_bytes
    break_ms=$(median_ms sh -c 'rm -f All[0-9]*.TTF && "$0" All.ttc' "$zelvic")
    cat_break_ms=$(median_ms sh -c 'rm -rf cp.out && mkdir cp.out && cp "$@" cp.out/' sh "${split[@]}")
    break_kib=$(peak_kib "$zelvic" All.ttc)
    split_bytes=$(cat "${split[@]}" | wc -c)

    printf '%s: %d fonts, collection %.1f MB, split fonts %.1f MB\n' "$label" "${#fonts[@]}" \
        "$(awk -v b="$out_bytes" 'BEGIN { print b / 1e6 }')" \
        "$(awk -v b="$split_bytes" 'BEGIN { print b / 1e6 }')"
    printf '  make : %5d ms, cat %5d ms, ratio %s; peak %6d KiB = %s x output\n' "$make_ms" \
        "$cat_make_ms" "$(ratio "$make_ms" "$cat_make_ms")" "$make_kib" \
        "$(ratio $((make_kib * 1024)) "$out_bytes")"
    printf '  break: %5d ms, cp  %5d ms, ratio %s; peak %6d KiB = %s x largest font, %s x output\n' \
        "$break_ms" "$cat_break_ms" "$(ratio "$break_ms" "$cat_break_ms")" "$break_kib" \
        "$(ratio $((break_kib * 1024)) "$(stat -c %s "${split[@]}" | sort -n | tail -1)")" \
        "$(ratio $((break_kib * 1024)) "$split_bytes")"
    cd "$work"
}

shopt -s nullglob
latin=(/usr/share/fonts/truetype/dejavu/*.ttf /usr/share/fonts/truetype/liberation2/*.ttf)
((${#latin[@]})) || { echo "fonts-dejavu-core and fonts-liberation2 are needed" >&2; exit 2; }
run_corpus latin "${latin[@]}"

noto=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc
if [[ -f "$noto" ]]; then
    mkdir -p "$work/cjk-members" && ln -s "$noto" "$work/cjk-members/m.ttc"
    (cd "$work/cjk-members" && "$zelvic" m.ttc >/dev/null)
    run_corpus cjk "$work"/cjk-members/m[0-9]*.TTF
fi

# Two fonts of 65,535 tables each, written by Python (no tool under test).
lookalike_fonts() {
    /usr/bin/python3 - "$1" "$2" <<'PY'
import random, struct, sys
kind, folder = sys.argv[1], sys.argv[2]
n = 65535
for number in (1, 2):
    records, data = [], []
    offset = 12 + 16 * n
    for i in range(n):
        if kind == "look":
            # The same tag, length and checksum, never the same bytes.
            a = (number * n + i) & 0xFFFFFFFF
            body = struct.pack(">II", a, (0x80000000 - a) & 0xFFFFFFFF)
            tag = b"look"
        else:
            body = random.randbytes(8)
            tag = struct.pack(">I", i + 0x20202020)
        checksum = sum(struct.unpack(">II", body)) & 0xFFFFFFFF
        records.append(struct.pack(">4sIII", tag, checksum, offset + 8 * i, 8))
        data.append(body)
    header = struct.pack(">IHHHH", 0x00010000, n, 0, 0, 0)
    with open(f"{folder}/{kind}{number}.ttf", "wb") as f:
        f.write(header + b"".join(records) + b"".join(data))
PY
}

for kind in look random; do
    mkdir -p "$work/$kind" && lookalike_fonts "$kind" "$work/$kind"
done
look_ms=$(cd "$work/look" && median_ms sh -c 'rm -f All.ttc && "$0" All.ttc look1.ttf look2.ttf' "$zelvic")
random_ms=$(cd "$work/random" && median_ms sh -c 'rm -f All.ttc && "$0" All.ttc random1.ttf random2.ttf' "$zelvic")
printf 'look-alikes: 2 fonts of 65,535 tables, %.1f MB each\n' \
    "$(awk -v b="$(stat -c %s "$work/look/look1.ttf")" 'BEGIN { print b / 1e6 }')"
printf '  make : %5d ms, random tables %5d ms, ratio %s\n' "$look_ms" "$random_ms" \
    "$(ratio "$look_ms" "$random_ms")"
