#!/usr/bin/env bash
# kestrin-names end to end on Debian's fonts, its results read by fontTools:
# a dry run and an --output run of rename-family over the DejaVu folder, the
# JSON round trip, check on broken and on clean names, and one font of a
# collection renamed.
# Usage: real-fonts.sh <kestrin-names> <python with fontTools>
set -euo pipefail
names="$1"
python="$2"
dejavu=(/usr/share/fonts/truetype/dejavu/DejaVuSans{,-Bold}.ttf
        /usr/share/fonts/truetype/dejavu/DejaVuSans{Mono,Mono-Bold}.ttf
        /usr/share/fonts/truetype/dejavu/DejaVuSerif{,-Bold}.ttf)
noto=/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf
cjk=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc
for font in "${dejavu[@]}" "$noto" "$cjk"; do
    [[ -f "$font" ]] || { echo "missing: $font (scripts/lib/packages-test.txt)"; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir "$work/fonts"
cp "${dejavu[@]}" "$work/fonts/"
(cd "$work" && find fonts -type f -exec sha256sum {} + | sort) >"$work/before.sum"

# A dry run shows every font's diff and writes nothing.
"$names" rename-family "Kestrin Sans" --dry-run "$work/fonts" >"$work/diff" 2>"$work/summary"
for font in "${dejavu[@]}"; do
    grep -qx -- "--- $work/fonts/$(basename "$font")" "$work/diff" || fail "no diff for $font"
done
grep -q '^+  3  1 0x0409     1  Kestrin Sans$' "$work/diff" || fail "diff lacks the new family"
grep -qx "6 files would change, 0 unchanged, 0 failed" "$work/summary" || fail "$(cat "$work/summary")"
(cd "$work" && find fonts -type f -exec sha256sum {} + | sort) | cmp -s - "$work/before.sum" ||
    fail "the dry run wrote"

# With --output the fonts land there renamed, every other table as it was.
"$names" rename-family "Kestrin Sans" -q -o "$work/out" "$work/fonts"
(cd "$work" && find fonts -type f -exec sha256sum {} + | sort) | cmp -s - "$work/before.sum" ||
    fail "--output touched the originals"
"$python" - "$work/fonts" "$work/out" <<'PY'
import os, sys
from fontTools.ttLib import TTFont
source, out = sys.argv[1:]
for name in sorted(os.listdir(source)):
    old, new = TTFont(os.path.join(source, name)), TTFont(os.path.join(out, name))
    family = old["name"].getDebugName(16) or old["name"].getDebugName(1)
    for table in old.keys():
        if table in ("name", "GlyphOrder"):
            continue
        a, b = old.reader[table], new.reader[table]
        if table == "head":  # checkSumAdjustment is the save's to set
            a, b = a[:8] + a[12:], b[:8] + b[12:]
        assert a == b, (name, table)
    for record in new["name"].names:
        text = record.toUnicode()
        if record.nameID in (1, 3, 4, 16, 18, 21):
            assert family not in text, (name, record.nameID, text)
        if record.nameID in (1, 16):
            assert text == "Kestrin Sans", (name, record.nameID, text)
        if record.nameID == 6:
            assert text.startswith("KestrinSans"), (name, text)
PY

# list --json and import of it leave the font byte for byte; an edited JSON
# changes the one record edited.
cp "${dejavu[0]}" "$work/one.ttf"
"$names" export "$work/one.ttf" >"$work/one.json"
"$names" import <(cat "$work/one.json") "$work/one.ttf" 2>"$work/summary"
cmp -s "$work/one.ttf" "${dejavu[0]}" || fail "import of the export changed the font"
grep -qx "0 files changed, 1 unchanged, 0 failed" "$work/summary" || fail "$(cat "$work/summary")"
# Output that can't be written is a failure, and says so.
status=0
"$names" export "$work/one.ttf" >/dev/full 2>"$work/summary" || status=$?
[[ $status == 1 ]] && grep -qx "kestrin-names: cannot write the output." "$work/summary" ||
    fail "export into a full device: status $status, $(cat "$work/summary")"
sed 's/"nameID": 2, "string": "Book"/"nameID": 2, "string": "Regular"/' "$work/one.json" >"$work/edited.json"
"$names" import -q "$work/edited.json" "$work/one.ttf"
"$python" - "${dejavu[0]}" "$work/one.ttf" <<'PY'
import sys
from fontTools.ttLib import TTFont
old, new = (TTFont(path)["name"].names for path in sys.argv[1:])
changed = [(a.platformID, a.nameID, b.toUnicode()) for a, b in zip(old, new)
           if (a.platformID, a.platEncID, a.langID, a.nameID) != (b.platformID, b.platEncID, b.langID, b.nameID)
           or a.string != b.string]
assert len(old) == len(new) and changed == [(1, 2, "Regular"), (3, 2, "Regular")], changed
PY

# check: one line per rule broken and status 1; Noto Sans keeps every rule.
cp "${dejavu[0]}" "$work/hostile.ttf"
"$names" set 6 "Bad Name(1)" -q "$work/hostile.ttf"
"$names" set 1 "A Family Name Of Forty Characters Long.." -q "$work/hostile.ttf"
status=0
"$names" check "$work/hostile.ttf" >"$work/check" || status=$?
[[ $status == 1 ]] || fail "check on broken names: status $status"
for rule in postscript-characters family-length; do
    grep -q "^$work/hostile.ttf: $rule: name " "$work/check" || fail "check missed $rule: $(cat "$work/check")"
done
"$names" check "$noto" >"$work/check" || fail "check on Noto Sans: $(cat "$work/check")"
[[ ! -s "$work/check" ]] || fail "check on Noto Sans printed: $(cat "$work/check")"

# A collection: --font 2 changes font 2 only.
"$names" set 1 "X" --font 2 -q -o "$work/ttc" "$cjk"
"$python" - "$cjk" "$work/ttc/$(basename "$cjk")" <<'PY'
import sys
from fontTools.ttLib import TTCollection
old, new = (TTCollection(path) for path in sys.argv[1:])
assert len(old.fonts) == len(new.fonts)
for index, (a, b) in enumerate(zip(old.fonts, new.fonts)):
    for table in a.keys():
        if table in ("name", "GlyphOrder"):
            continue
        assert a.reader[table] == b.reader[table], (index, table)
    before = [(n.platformID, n.nameID, n.toUnicode()) for n in a["name"].names]
    after = [(n.platformID, n.nameID, n.toUnicode()) for n in b["name"].names]
    if index != 1:
        assert before == after, index
    else:
        expected = [(p, i, "X" if i == 1 else t) for p, i, t in before]
        assert after == expected, index
PY
echo "kestrin-names on real fonts: ok"
