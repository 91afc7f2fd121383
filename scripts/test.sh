#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

install_packages "$repo_root/scripts/lib/packages-build.txt" "$repo_root/scripts/lib/packages-test.txt"

build="$repo_root/build/test"
build_tree "$build" -DBUILD_TESTING=ON
(cd "$build" && ctest --output-on-failure -j "$(nproc)")

# The Debian package, built as scripts/package.sh builds it, then checked for
# its contents, installed with apt, its programs run, and removed again.
build_package
bash "$repo_root/tests/package/check-package.sh" "$package_file"

# The whole suite once more with AddressSanitizer and UndefinedBehaviorSanitizer
# (any report fails its test). Leaks are still reported, except those of the
# system libraries that Qt loads (cmake/lsan.supp).
asan="$repo_root/build/asan"
build_tree "$asan" -DBUILD_TESTING=ON -DFONTTOOLS_SANITIZE=ON -DFONTTOOLS_BENCH=OFF
(cd "$asan" && ASAN_OPTIONS=detect_leaks=1 \
    LSAN_OPTIONS="suppressions=$repo_root/cmake/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$(nproc)")
