#!/usr/bin/env bash
# Kestrin end to end on a virtual X display: opens a copy of DejaVu Sans,
# then either types a new family name into the FamilyName field and presses
# Return, or presses Escape; checks the saved file with fontTools.
# "chooser" starts Kestrin without a path: Escape in the file chooser ends it
# with status 0; a path typed into the chooser opens the dialog on that font.
# "rename" opens the records window ("Names…"), renames the family of DejaVu
# Sans and of DejaVu Sans ExtraLight (which has typographic names) to
# "Kestrin Sans", confirms the preview, and saves with OK in both windows.
# Usage: kestrin-e2e.sh <Kestrin> ok|cancel|chooser|rename <python with fontTools>
set -euo pipefail
source "$(dirname "$0")/../../../scripts/lib/xvfb.sh"
kestrin="$1"
outcome="$2"
python="$3"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
new_family="Kestrin Test Family"

for tool in Xvfb xdotool "$python"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (scripts/test.sh installs it)"; exit 1; }
done
[[ -f "$font" ]] || { echo "missing: $font (fonts-dejavu-core)"; exit 1; }

make_scratch_with_cleanup

start_xvfb "$work" 1024x768

cp "$font" "$work/font.ttf"

# find_window TITLE_PATTERN: the first window whose title matches, focused
# directly (no window manager runs here to activate it).
find_window() {
    # Searched again until it shows: a search fails outright (BadWindow) when
    # a window it is looking at goes away meanwhile, as the chooser does.
    window=""
    for _ in $(seq 300); do
        window="$(xdotool search --name "$1" 2>/dev/null | head -n 1)" || true
        [[ -n "$window" ]] && break
        sleep 0.1
    done
    [[ -n "$window" ]] || { echo "no window titled $1"; cat "$work/stderr"; exit 1; }
    xdotool windowfocus --sync "$window"
    sleep "${settle:-0.5}"
}

# wait_for_kestrin: waits for Kestrin to end and fails unless it ended with
# status 0 and wrote no error.
wait_for_kestrin() {
    for _ in $(seq 200); do
        kill -0 "$kestrin_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$kestrin_pid" 2>/dev/null; then
        echo "Kestrin did not end"
        exit 1
    fi
    status=0
    wait "$kestrin_pid" || status=$?
    kestrin_pid=""
    [[ "$status" -eq 0 ]] || { echo "Kestrin exit status $status"; cat "$work/stderr"; exit 1; }
    if [[ -s "$work/stderr" ]] && grep -q '^Error' "$work/stderr"; then
        cat "$work/stderr"
        exit 1
    fi
}

if [[ "$outcome" == chooser ]]; then
    "$kestrin" 2>"$work/stderr" &
    kestrin_pid=$!
    find_window '^Open$'
    xdotool key Escape
    wait_for_kestrin
    echo "Escape in the chooser: status 0"

    "$kestrin" 2>"$work/stderr" &
    kestrin_pid=$!
    find_window '^Open$'
    # The chooser's file name field has the focus.
    xdotool type --delay 20 "$work/font.ttf"
    xdotool key Return
    find_window '^font\.ttf - Kestrin$'
    xdotool key Escape
    wait_for_kestrin
    cmp "$font" "$work/font.ttf"
    echo "the chosen font opened; Escape left it unchanged"
    exit 0
fi

if [[ "$outcome" == rename ]]; then
    for tool in fc-scan ots-sanitize; do
        command -v "$tool" >/dev/null || { echo "missing: $tool"; exit 1; }
    done
    # A window that has just appeared may not take keys yet.
    settle=1.5
    for original in "$font" /usr/share/fonts/truetype/dejavu/DejaVuSans-ExtraLight.ttf; do
        [[ -f "$original" ]] || { echo "missing: $original (fonts-dejavu-extra)"; exit 1; }
        cp "$original" "$work/font.ttf"
        "$kestrin" "$work/font.ttf" 2>"$work/stderr" &
        kestrin_pid=$!
        find_window '^font\.ttf - Kestrin$'
        # Back from the Encode list to the last button, "Names…".
        xdotool key shift+Tab space
        find_window '^Name records$'
        xdotool key alt+r
        find_window '^Rename family$'
        # The new family's field has the focus; the family now is filled in.
        xdotool type --delay 20 "Kestrin Sans"
        xdotool key Return
        find_window 'preview$'
        xdotool key Return
        find_window '^Name records$'
        xdotool key Return
        # The focus is back on "Names…"; Return in a field is OK.
        find_window '^font\.ttf - Kestrin$'
        xdotool key --delay 50 Tab Tab Return
        wait_for_kestrin

        "$python" - "$original" "$work/font.ttf" <<'PY'
import sys
from fontTools.ttLib import TTFont

original, saved = TTFont(sys.argv[1]), TTFont(sys.argv[2])
old = {(n.platformID, n.platEncID, n.langID, n.nameID): n.toUnicode() for n in original["name"].names}
new = {(n.platformID, n.platEncID, n.langID, n.nameID): n.toUnicode() for n in saved["name"].names}
assert set(new) == set(old), f"records added or lost: {set(new) ^ set(old)}"
for key, text in old.items():
    name_id = key[3]
    expected = text
    if name_id in (1, 3, 4, 16, 18, 21) and "DejaVu Sans" in text:
        expected = text.replace("DejaVu Sans", "Kestrin Sans")
    elif name_id in (3, 6, 20, 25):
        expected = text.replace("DejaVuSans", "KestrinSans")
    assert new[key] == expected, f"{key}: {new[key]!r}, expected {expected!r}"
for key in old:
    if key[3] in (1, 4, 6, 16):
        assert "Kestrin" in new[key], f"{key} not renamed: {new[key]!r}"
for tag in original.reader.keys():
    before, after = original.reader[tag], saved.reader[tag]
    if tag == "head":  # checkSumAdjustment follows the new name table
        before, after = before[:8] + before[12:], after[:8] + after[12:]
    if tag != "name":
        assert before == after, f"table {tag} differs"
PY
        families="$(fc-scan --format '%{family}' "$work/font.ttf")"
        [[ "$families" == *"Kestrin Sans"* && "$families" != *DejaVu* ]] ||
            { echo "fontconfig reads the family as $families"; exit 1; }
        ots-sanitize "$work/font.ttf" >/dev/null ||
            { echo "ots-sanitize refuses the renamed $(basename "$original")"; exit 1; }
        echo "$(basename "$original"): renamed to Kestrin Sans in every record ($families)"
    done
    exit 0
fi

"$kestrin" "$work/font.ttf" 2>"$work/stderr" &
kestrin_pid=$!
# The title names the file.
find_window '^font\.ttf - Kestrin$'
if [[ "$outcome" == ok ]]; then
    # The Encode list has the focus; two Tabs reach FamilyName.
    xdotool key --delay 50 Tab Tab ctrl+a
    xdotool type --delay 20 "$new_family"
    xdotool key Return
else
    xdotool key Escape
fi

wait_for_kestrin

if [[ "$outcome" != ok ]]; then
    cmp "$font" "$work/font.ttf"
    echo "file unchanged"
    exit 0
fi

"$python" - "$font" "$work/font.ttf" "$new_family" <<'PY'
import sys
from fontTools.ttLib import TTFont

original, saved, family = TTFont(sys.argv[1]), TTFont(sys.argv[2]), sys.argv[3]
names = saved["name"]
shown = names.getName(1, 1, 0, 0)  # the Macintosh entry is selected first
assert shown is not None and shown.toUnicode() == family, f"family is {shown}"
old = {(n.platformID, n.platEncID, n.langID, n.nameID): n.string for n in original["name"].names}
new = {(n.platformID, n.platEncID, n.langID, n.nameID): n.string for n in names.names}
changed = {key for key in old if old[key] != new.get(key)}
assert changed == {(1, 0, 0, 1)}, f"changed records: {changed}"
assert set(new) == set(old), f"records added or lost: {set(new) ^ set(old)}"
for tag in original.reader.keys():
    before, after = original.reader[tag], saved.reader[tag]
    if tag == "head":  # checkSumAdjustment follows the new name table
        before, after = before[:8] + before[12:], after[:8] + after[12:]
    if tag != "name":
        assert before == after, f"table {tag} differs"
print("saved font has the new family name and every other table unchanged")
PY
