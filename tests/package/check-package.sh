#!/usr/bin/env bash
# Checks the Debian package as a user meets it: what it holds, that its desktop
# entry and manual pages are well formed, that apt installs it with what it
# depends on, that the installed programs run, and that it removes cleanly.
# Installs and removes the package, so it runs as root (CI runs as root).
#
# usage: tests/package/check-package.sh PACKAGE.deb
set -euo pipefail
deb="$(realpath "$1")"
name="$(dpkg-deb -f "$deb" Package)"
version="$(dpkg-deb -f "$deb" Version)"
work="$(mktemp -d)"
installed=""
cleanup() {
    [[ -n "$installed" ]] && DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq "$name" >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

echo "== $deb"
# What the package holds: the three programs and nothing else in /usr/bin, the
# desktop entry, the icon at every size, the manual pages, the copyright.
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's#^\./#/#' >"$work/contents"
expected=(/usr/bin/Kestrin /usr/bin/Zelvic /usr/bin/AllZelvic /usr/bin/kestrin-names
    /usr/share/applications/kestrin.desktop
    /usr/share/man/man1/Kestrin.1.gz /usr/share/man/man1/Zelvic.1.gz
    /usr/share/man/man1/AllZelvic.1.gz /usr/share/man/man1/kestrin-names.1.gz
    /usr/share/bash-completion/completions/{kestrin-names,Zelvic,zelvic}
    "/usr/share/doc/$name/copyright")
for size in 16 32 48 64 128 256; do
    expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/kestrin.png")
done
for path in "${expected[@]}"; do
    grep -qxF "$path" "$work/contents" || fail "$path is not in the package"
done
programs="$(grep '^/usr/bin/.' "$work/contents" | sort | tr '\n' ' ')"
[[ "$programs" == "/usr/bin/AllZelvic /usr/bin/Kestrin /usr/bin/Zelvic /usr/bin/kestrin-names " ]] ||
    fail "/usr/bin holds $programs"
depends="$(dpkg-deb -f "$deb" Depends)"
for package in libqt6widgets6 qt6-qpa-plugins fonts-ipafont-gothic; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

# The files themselves, from the package: the entry validates, every page
# renders without a warning and names this version.
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/kestrin.desktop" ||
    fail "kestrin.desktop does not validate"
grep -qx 'Exec=Kestrin %f' "$work/root/usr/share/applications/kestrin.desktop" ||
    fail "kestrin.desktop does not open the file it is given"
for page in "$work"/root/usr/share/man/man1/*.1.gz; do
    warnings="$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1)"
    [[ -z "$warnings" ]] || fail "$(basename "$page"): $warnings"
    zcat "$page" | grep -q "^\.TH .*\"$name $version\"" || fail "$(basename "$page") is not for $version"
    man -l "$page" >/dev/null 2>&1 || fail "man -l $(basename "$page") fails"
done

echo "== apt-get install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install failed"; }
installed=yes
dpkg-query -W -f='${Status}' "$name" | grep -q "install ok installed" || fail "$name is not installed"

# A Debian image may keep manual pages out of /usr/share/man (dpkg path-exclude);
# there they were checked from the package above.
if grep -rhsq '^path-exclude[= ]*/usr/share/man' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/; then
    echo "skip: dpkg excludes /usr/share/man here; the pages were checked inside the package"
else
    for program in Kestrin Zelvic AllZelvic kestrin-names; do
        [[ "$(man -w "$program")" == "/usr/share/man/man1/$program.1.gz" ]] ||
            fail "man -w $program finds $(man -w "$program" 2>&1)"
    done
fi

run() {  # run EXPECTED_STATUS COMMAND...: standard output in $out
    local want="$1" status=0
    shift
    out="$(cd "$work" && "$@" 2>"$work/stderr")" || status=$?
    ((status == want)) || fail "$* exits with $status, not $want: $out $(cat "$work/stderr")"
}
run 0 /usr/bin/Zelvic --version
[[ "$out" == "Zelvic $version" ]] || fail "Zelvic --version prints '$out'"
run 0 /usr/bin/AllZelvic --help
[[ "$out" == *"usage:"*"AllZelvic"* ]] || fail "AllZelvic --help prints '$out'"
run 0 /usr/bin/AllZelvic --version
[[ "$out" == "AllZelvic $version" ]] || fail "AllZelvic --version prints '$out'"
run 0 /usr/bin/kestrin-names --help
[[ "$out" == "usage: kestrin-names"* ]] || fail "kestrin-names --help prints '$out'"
run 0 /usr/bin/kestrin-names --version
[[ "$out" == "kestrin-names $version" ]] || fail "kestrin-names --version prints '$out'"

# AllZelvic finds the Zelvic installed beside it.
mkdir "$work/fonts"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans{,-Bold}.ttf "$work/fonts/"
(cd "$work/fonts" && PATH=/nonexistent /usr/bin/AllZelvic >/dev/null) ||
    fail "the installed AllZelvic did not make Fonts.TTC"
[[ -s "$work/fonts/Fonts.TTC" ]] || fail "no Fonts.TTC"

# Kestrin's --help answers without a display and without opening a window.
status=0
out="$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 30 /usr/bin/Kestrin --help 2>"$work/stderr")" || status=$?
((status == 0)) || fail "Kestrin --help exits with $status: $(cat "$work/stderr")"
[[ "$out" == "usage: Kestrin [FONT]"* ]] || fail "Kestrin --help prints no usage: $out"
[[ "$(env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/Kestrin --version)" == "Kestrin $version" ]] ||
    fail "Kestrin --version does not say Kestrin $version"

echo "== apt-get remove"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq "$name" >/dev/null
installed=""
[[ ! -e /usr/bin/Zelvic && ! -e /usr/share/applications/kestrin.desktop ]] ||
    fail "files are left after apt-get remove"
echo "package check passed: $(basename "$deb")"
