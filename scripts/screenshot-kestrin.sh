#!/usr/bin/env bash
# Takes the README's picture of Kestrin: opens the dialog on a copy of DejaVu
# Sans on a virtual X display and saves the screen as docs/kestrin.png.
# Usage: scripts/screenshot-kestrin.sh [path to Kestrin] [output png]
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"
source "$(dirname "$0")/lib/xvfb.sh"

kestrin="${1:-$repo_root/build/demo/bin/Kestrin}"
output="${2:-$repo_root/docs/kestrin.png}"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf

make_scratch_with_cleanup

start_xvfb "$work" 700x420

cp "$font" "$work/DejaVuSans.ttf"
"$kestrin" "$work/DejaVuSans.ttf" &
kestrin_pid=$!
window="$(timeout 20 xdotool search --sync --name '^Kestrin$' | head -n 1)"
xdotool windowmove "$window" 20 20
sleep 1
mkdir -p "$(dirname "$output")"
import -window root -crop 660x390+0+0 +repage "$output"
echo "wrote $output"
