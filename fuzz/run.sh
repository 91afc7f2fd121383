#!/usr/bin/env bash
# Builds the fuzz targets with clang into build/fuzz, makes their seed corpora
# from Debian fonts if they are not there yet, and runs each target for a fixed
# time, one after the other.
#
# usage: fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
#   targets: load_save name_table collection_edit zelvic_make zelvic_break (default: all)
# Findings land in build/fuzz/findings/<target>/; the growing corpus in
# build/fuzz/corpus/<target>/. Any finding makes the script exit non-zero.
set -euo pipefail
repo_root="$(cd "$(dirname "$0")/.." && pwd)"
build="$repo_root/build/fuzz"
seconds="${1:-600}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(load_save name_table collection_edit zelvic_make zelvic_break)

CC=clang CXX=clang++ cmake -S "$repo_root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFONTTOOLS_FUZZ=ON -DBUILD_TESTING=OFF -DFONTTOOLS_BUILD_UI=OFF -DFONTTOOLS_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"

[[ -d "$build/seeds" ]] || /usr/bin/python3 "$repo_root/fuzz/make-seeds.py" "$build/seeds"

status=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    findings="$build/findings/$target"
    mkdir -p "$corpus" "$findings"
    echo "== $target: ${seconds}s"
    # A few hundred MB is far beyond anything a font of max_len bytes justifies,
    # so a larger allocation is a finding, not a limit of the machine.
    if ! "$build/fuzz/${target}_fuzzer" "$corpus" "$build/seeds/$target" \
        -dict="$repo_root/fuzz/sfnt.dict" -max_total_time="$seconds" -max_len=65536 \
        -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=256 -print_final_stats=1 \
        -artifact_prefix="$findings/" 2>"$build/$target.log"; then
        status=1
        echo "!! $target found something: see $build/$target.log and $findings/"
    fi
    grep -E '^stat::number_of_executed_units|^#[0-9]+ *DONE' "$build/$target.log" || true
done
exit "$status"
