#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

install_packages "$repo_root/scripts/lib/packages-build.txt" "$repo_root/scripts/lib/packages-test.txt"

build="$repo_root/build/test"
build_tree "$build" -DBUILD_TESTING=ON
(cd "$build" && ctest --output-on-failure -j "$(nproc)")
