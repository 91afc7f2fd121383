#!/usr/bin/env bash
# Builds the fuzz targets with clang into build/fuzz, makes their seed corpora
# from Debian fonts if they are not there yet, and runs each target for a fixed
# time, one after the other.
#
# usage: fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
#   targets: load_save name_table name_rules collection_edit zelvic_make zelvic_break
#   (default: all)
# Findings land in build/fuzz/findings/<target>/; the growing corpus in
# build/fuzz/corpus/<target>/. Any finding makes the script exit non-zero.
# FUZZ_PARALLEL=1 runs the targets side by side at idle priority instead, so
# that they take only what other work on the machine leaves.
# Don't pause a running target (SIGSTOP) to free the cores: libFuzzer's
# watchdog counts the pause against the input it was on, writes it out as a
# timeout and ends the run. Measure before or after, or on another machine.
set -euo pipefail
repo_root="$(cd "$(dirname "$0")/.." && pwd)"
build="$repo_root/build/fuzz"
seconds="${1:-600}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(load_save name_table name_rules collection_edit zelvic_make zelvic_break)

CC=clang CXX=clang++ cmake -S "$repo_root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFONTTOOLS_FUZZ=ON -DBUILD_TESTING=OFF -DFONTTOOLS_BUILD_UI=OFF -DFONTTOOLS_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"

# Made aside and put in place whole: a run that failed halfway (fonts not
# installed yet) must not leave empty seed folders that later runs take as made.
if [[ ! -d "$build/seeds" ]]; then
    rm -rf "$build/seeds.new"
    /usr/bin/python3 "$repo_root/fuzz/make-seeds.py" "$build/seeds.new"
    mv "$build/seeds.new" "$build/seeds"
fi

# The fonts' targets also start from the hostile corpus and every kept finding.
seeds_of() {
    local target="$1"
    echo "$build/seeds/$target"
    [[ -d "$repo_root/fuzz/regressions/$target" ]] && echo "$repo_root/fuzz/regressions/$target"
    [[ "$target" != name_* ]] && echo "$repo_root/tests/hostile/corpus"
    return 0
}

run_target() {
    local target="$1"
    local corpus="$build/corpus/$target"
    local findings="$build/findings/$target"
    mkdir -p "$corpus" "$findings"
    # A few hundred MB is far beyond anything a font of max_len bytes justifies,
    # so a larger allocation is a finding, not a limit of the machine.
    # shellcheck disable=SC2046
    "$build/fuzz/${target}_fuzzer" "$corpus" $(seeds_of "$target") \
        -dict="$repo_root/fuzz/sfnt.dict" -max_total_time="$seconds" -max_len=65536 \
        -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=256 -print_final_stats=1 \
        -artifact_prefix="$findings/" 2>"$build/$target.log"
}

report() {
    local target="$1" result="$2"
    if ((result != 0)); then
        echo "!! $target found something: see $build/$target.log and $build/findings/$target/"
    fi
    grep -E '^stat::number_of_executed_units|^#[0-9]+ *DONE' "$build/$target.log" || true
}

# settle TARGET COMMAND...: runs COMMAND (the target's run, or a wait for
# it) and reports how the target ended.
status=0
settle() {
    local target="$1" result=0
    shift
    "$@" || result=$?
    ((result == 0)) || status=1
    report "$target" "$result"
}

if [[ "${FUZZ_PARALLEL:-0}" == 1 ]]; then
    declare -A pids
    for target in "${targets[@]}"; do
        echo "== $target: ${seconds}s, in parallel at idle priority"
        chrt --idle 0 bash -c "$(declare -f seeds_of run_target); build='$build' \
            repo_root='$repo_root' seconds='$seconds' run_target '$target'" &
        pids[$target]=$!
    done
    for target in "${targets[@]}"; do
        settle "$target" wait "${pids[$target]}"
    done
else
    for target in "${targets[@]}"; do
        echo "== $target: ${seconds}s"
        settle "$target" run_target "$target"
    done
fi
exit "$status"
