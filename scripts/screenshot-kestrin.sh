#!/usr/bin/env bash
# Takes the README's picture of Kestrin: opens the dialog on a copy of DejaVu
# Sans on a virtual X display and saves the screen as docs/kestrin.png.
# Usage: scripts/screenshot-kestrin.sh [path to Kestrin] [output png]
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

kestrin="${1:-$repo_root/build/demo/name-editor/ui/Kestrin}"
output="${2:-$repo_root/docs/kestrin.png}"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf

work="$(mktemp -d)"
xvfb_pid=""
kestrin_pid=""
cleanup() {
    [[ -n "$kestrin_pid" ]] && kill "$kestrin_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The first free display number from 90 up.
display=90
while [[ -e "/tmp/.X11-unix/X$display" || -e "/tmp/.X$display-lock" ]]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 700x420x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
    [[ -e "/tmp/.X11-unix/X$display" ]] && break
    sleep 0.1
done
export DISPLAY=":$display"
unset QT_QPA_PLATFORM

cp "$font" "$work/DejaVuSans.ttf"
"$kestrin" "$work/DejaVuSans.ttf" &
kestrin_pid=$!
window="$(timeout 20 xdotool search --sync --name '^Kestrin$' | head -n 1)"
xdotool windowmove "$window" 20 20
sleep 1
mkdir -p "$(dirname "$output")"
import -window root -crop 660x390+0+0 +repage "$output"
echo "wrote $output"
