#!/usr/bin/env bash
# Installs what is missing, builds the programs and runs them on sample fonts from
# Debian's font packages, in a scratch folder.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

install_packages "$repo_root/scripts/lib/packages-build.txt"

build="$repo_root/build/demo"
build_tree "$build" -DBUILD_TESTING=OFF

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$work/"
"$build/bin/kestrin-names" set 1 "Sample Family" --dry-run "$work/DejaVuSans.ttf"
"$build/bin/kestrin-names" set 1 "Sample Family" "$work/DejaVuSans.ttf"
"$build/bin/kestrin-names" list --id 1-6 "$work/DejaVuSans.ttf"

# Zelvic joins three DejaVu fonts into a collection and splits it again, each
# step printing its report.
mkdir "$work/zelvic"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans{,-Bold,Mono}.ttf "$work/zelvic/"
(cd "$work/zelvic" && "$build/bin/Zelvic" Sample.ttc DejaVuSans.ttf DejaVuSans-Bold.ttf DejaVuSansMono.ttf &&
    "$build/bin/Zelvic" Sample.ttc && ls -l)

# The name editor dialog, when there is a display to show it on.
if [[ -n "${DISPLAY:-}" && -x "$build/bin/Kestrin" ]]; then
    cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$work/Kestrin-sample.ttf"
    "$build/bin/Kestrin" "$work/Kestrin-sample.ttf"
fi
