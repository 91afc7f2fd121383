#!/usr/bin/env bash
# Kestrin end to end on a virtual X display: opens a copy of DejaVu Sans,
# then either types a new family name into the FamilyName field and presses
# Return, or presses Escape; checks the saved file with fontTools.
# "chooser" starts Kestrin without a path: Escape in the file chooser ends it
# with status 0; a path typed into the chooser opens the dialog on that font.
# "collection" opens a copy of the Noto Sans CJK collection, chooses its third
# font, renames its Windows English family and checks every font of the saved
# collection with fontTools and ots-sanitize.
# "rename" opens the records window ("Names…"), renames the family of DejaVu
# Sans and of DejaVu Sans ExtraLight (which has typographic names) to
# "Kestrin Sans", confirms the preview, and saves with OK in both windows.
# Usage: kestrin-e2e.sh <Kestrin> ok|cancel|chooser|rename|collection <python with fontTools>
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

if [[ "$outcome" == collection ]]; then
    collection=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc
    [[ -f "$collection" ]] || { echo "missing: $collection (fonts-noto-cjk)"; exit 1; }
    command -v ots-sanitize >/dev/null || { echo "missing: ots-sanitize (opentype-sanitizer)"; exit 1; }
    cp "$collection" "$work/NotoSansCJK-Regular.ttc"
    touch -d '2020-01-01 00:00' "$work/NotoSansCJK-Regular.ttc"
    # Going through two fonts without an edit, OK leaves the file alone.
    "$kestrin" "$work/NotoSansCJK-Regular.ttc" 2>"$work/stderr" &
    kestrin_pid=$!
    find_window '^NotoSansCJK-Regular\.ttc \(1 of 10\) - Kestrin$'
    # The desktop files the window under Kestrin's entry (StartupWMClass).
    wm_class="$(xprop -id "$window" WM_CLASS)"
    [[ "$wm_class" == *', "Kestrin"' ]] || { echo "window class: $wm_class"; exit 1; }
    xdotool key --delay 100 Down
    find_window '^NotoSansCJK-Regular\.ttc \(2 of 10\) - Kestrin$'
    xdotool key Return
    wait_for_kestrin
    cmp "$collection" "$work/NotoSansCJK-Regular.ttc"
    [[ "$(stat -c %Y "$work/NotoSansCJK-Regular.ttc")" == "$(date -d '2020-01-01 00:00' +%s)" ]] ||
        { echo "OK without an edit rewrote the collection"; exit 1; }

    "$kestrin" "$work/NotoSansCJK-Regular.ttc" 2>"$work/stderr" &
    kestrin_pid=$!
    find_window '^NotoSansCJK-Regular\.ttc \(1 of 10\) - Kestrin$'
    # The font list has the focus; two Downs choose the third font.
    xdotool key --delay 100 Down Down
    find_window '^NotoSansCJK-Regular\.ttc \(3 of 10\) - Kestrin$'
    # Its Encode list holds Chinese, then English; FamilyName is two Tabs further.
    xdotool key --delay 100 Tab Down Tab Tab ctrl+a
    xdotool type --delay 20 "$new_family"
    xdotool key Return
    wait_for_kestrin
    ots-sanitize "$work/NotoSansCJK-Regular.ttc" "$work/sanitized.ttc" >"$work/ots" 2>&1 ||
        { cat "$work/ots"; echo "ots-sanitize refused the saved collection"; exit 1; }
    "$python" - "$collection" "$work/NotoSansCJK-Regular.ttc" "$new_family" <<'PY'
import os
import sys
from fontTools.ttLib import TTCollection

original, saved, family = TTCollection(sys.argv[1]), TTCollection(sys.argv[2]), sys.argv[3]
assert len(saved.fonts) == len(original.fonts) == 10
def names(font):
    return {(n.platformID, n.platEncID, n.langID, n.nameID): n.string for n in font["name"].names}
for index, (before, after) in enumerate(zip(original.fonts, saved.fonts)):
    old, new = names(before), names(after)
    if index == 2:
        shown = after["name"].getName(1, 3, 1, 0x409)
        assert shown is not None and shown.toUnicode() == family, f"family is {shown}"
        changed = {key for key in old if old[key] != new.get(key)}
        assert changed == {(3, 1, 0x409, 1)}, f"changed records: {changed}"
        assert set(new) == set(old), f"records added or lost: {set(new) ^ set(old)}"
    else:
        assert new == old, f"font {index + 1}: names differ"
    assert sorted(before.reader.keys()) == sorted(after.reader.keys()), f"font {index + 1}: tags"
    for tag in before.reader.keys():
        if index == 2 and tag == "name":
            continue
        assert before.reader[tag] == after.reader[tag], f"font {index + 1}: table {tag} differs"
grown = os.path.getsize(sys.argv[2]) - os.path.getsize(sys.argv[1])
limit = len(saved.fonts[2].reader["name"]) + 3
assert grown <= limit, f"the file grew by {grown} bytes, more than one name table ({limit})"
print(f"font 3 renamed, every other name and table as before; grew by {grown} bytes")
PY
    exit 0
fi

if [[ "$outcome" == chooser ]]; then
    "$kestrin" 2>"$work/stderr" &
    kestrin_pid=$!
    find_window '^Open Font - Kestrin$'
    xdotool key Escape
    wait_for_kestrin
    echo "Escape in the chooser: status 0"

    "$kestrin" 2>"$work/stderr" &
    kestrin_pid=$!
    find_window '^Open Font - Kestrin$'
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
