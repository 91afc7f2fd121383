#!/usr/bin/env bash
# Checks the Debian package as a user meets it: what it holds (the programs
# stripped, their lower-case links), that lintian finds nothing wrong, that its
# desktop entry, metainfo and manual pages are well formed, that apt installs
# it with what it depends on, that the installed programs run by either name,
# and that it removes cleanly.
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
    [[ -n "$installed" ]] && DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq -o DPkg::Lock::Timeout=300 "$name" >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

echo "== $deb"
# The programs by their own names; each has a manual page, answers --version
# with its name and the package's version, and, where its name has capitals,
# is also reached in lower case (command and page) through links.
programs=(Kestrin Zelvic AllZelvic kestrin-names)
lower() { tr '[:upper:]' '[:lower:]' <<<"$1"; }

# What the package holds: the programs and their links and nothing else in
# /usr/bin, the desktop entry and metainfo, the icon at every size, the manual
# pages, the changelog and the copyright.
dpkg-deb -x "$deb" "$work/root"
(cd "$work/root" && find . -mindepth 1 ! -type d -printf '/%P\n') | sort >"$work/contents"
metainfo=/usr/share/metainfo/invalid.font_name_tools.kestrin.metainfo.xml
expected=(/usr/share/applications/kestrin.desktop "$metainfo"
    /usr/share/icons/hicolor/scalable/apps/kestrin.svg
    "/usr/share/doc/$name/copyright" "/usr/share/doc/$name/changelog.gz"
    /usr/share/bash-completion/completions/{kestrin-names,Zelvic,zelvic})
for size in 16 32 48 64 128 256; do
    expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/kestrin.png")
done
in_bin=()
for program in "${programs[@]}"; do
    expected+=("/usr/bin/$program" "/usr/share/man/man1/$program.1.gz")
    in_bin+=("/usr/bin/$program")
    command="$(lower "$program")"
    [[ "$command" == "$program" ]] && continue
    in_bin+=("/usr/bin/$command")
    for link in "/usr/bin/$command:$program" "/usr/share/man/man1/$command.1.gz:$program.1.gz"; do
        [[ "$(readlink "$work/root${link%%:*}")" == "${link#*:}" ]] ||
            fail "${link%%:*} is not a link to ${link#*:}"
    done
done
for path in "${expected[@]}"; do
    grep -qxF "$path" "$work/contents" || fail "$path is not in the package"
done
want_bin="$(printf '%s\n' "${in_bin[@]}" | sort)"
have_bin="$(grep '^/usr/bin/.' "$work/contents")"
[[ "$have_bin" == "$want_bin" ]] || fail "/usr/bin holds ${have_bin//$'\n'/ }, not ${want_bin//$'\n'/ }"

# The programs are files of their own, stripped.
for program in "${programs[@]}"; do
    [[ -f "$work/root/usr/bin/$program" && ! -L "$work/root/usr/bin/$program" ]] ||
        fail "/usr/bin/$program is not a file"
    [[ "$(file -b "$work/root/usr/bin/$program")" == *", stripped"* ]] ||
        fail "/usr/bin/$program is not stripped"
done

# What is linked comes from dpkg-shlibdeps; what is loaded is named. The IPA
# fonts are only recommended: the dialog falls back to any CJK font.
depends="$(dpkg-deb -f "$deb" Depends)"
for package in libqt6widgets6 qt6-qpa-plugins; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done
[[ ", $depends," != *", fonts-ipafont-gothic"[\ ,]* ]] || fail "Depends names fonts-ipafont-gothic"
[[ "$(dpkg-deb -f "$deb" Recommends)" == *fonts-ipafont-gothic* ]] ||
    fail "Recommends lacks fonts-ipafont-gothic"

# lintian: no errors and no warnings (the README's Install section lists what
# it still says as information). Its note about running as root, as CI does,
# is left out.
status=0
lintian --no-cfg --fail-on error,warning "$deb" >"$work/lintian" 2>&1 || status=$?
grep -v 'root privileges' "$work/lintian" || true
((status == 0)) || fail "lintian reports errors or warnings, or failed (status $status)"

# The metainfo validates, names the desktop entry the package holds and every
# command it installs, so software centres find the program.
appstreamcli validate --no-net "$work/root$metainfo" >"$work/appstream" 2>&1 ||
    { cat "$work/appstream"; fail "$(basename "$metainfo") does not validate"; }
grep -q '<launchable type="desktop-id">kestrin.desktop</launchable>' "$work/root$metainfo" ||
    fail "the metainfo does not launch kestrin.desktop"
for path in "${in_bin[@]}"; do
    grep -qF "<binary>${path##*/}</binary>" "$work/root$metainfo" ||
        fail "the metainfo does not provide ${path##*/}"
done

# The files themselves, from the package: the entry validates, every page
# renders without a warning and names this version.
desktop-file-validate "$work/root/usr/share/applications/kestrin.desktop" ||
    fail "kestrin.desktop does not validate"
grep -qx 'Exec=Kestrin %f' "$work/root/usr/share/applications/kestrin.desktop" ||
    fail "kestrin.desktop does not open the file it is given"
for program in "${programs[@]}"; do
    page="$work/root/usr/share/man/man1/$program.1.gz"
    warnings="$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1)"
    [[ -z "$warnings" ]] || fail "$(basename "$page"): $warnings"
    zcat "$page" | grep -q "^\.TH .*\"$name $version\"" || fail "$(basename "$page") is not for $version"
    man -l "$page" >/dev/null 2>&1 || fail "man -l $(basename "$page") fails"
done

echo "== apt-get install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=300 "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install failed"; }
installed=yes
dpkg-query -W -f='${Status}' "$name" | grep -q "install ok installed" || fail "$name is not installed"

# A Debian image may keep manual pages out of /usr/share/man (dpkg path-exclude);
# there they were checked from the package above.
if grep -rhsq '^path-exclude[= ]*/usr/share/man' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/; then
    echo "skip: dpkg excludes /usr/share/man here; the pages were checked inside the package"
else
    for program in "${programs[@]}"; do
        for page in "$program" "$(lower "$program")"; do
            [[ "$(realpath "$(man -w "$page")")" == "/usr/share/man/man1/$program.1.gz" ]] ||
                fail "man -w $page finds $(man -w "$page" 2>&1)"
        done
    done
fi

run() {  # run EXPECTED_STATUS COMMAND...: standard output in $out
    local want="$1" status=0
    shift
    out="$(cd "$work" && "$@" 2>"$work/stderr")" || status=$?
    ((status == want)) || fail "$* exits with $status, not $want: $out $(cat "$work/stderr")"
}
# Every program answers --version with its own name, whichever name started it.
for program in "${programs[@]}"; do
    for command in "$program" "$(lower "$program")"; do
        run 0 env -u DISPLAY -u WAYLAND_DISPLAY timeout 30 "/usr/bin/$command" --version
        [[ "$out" == "$program $version" ]] || fail "$command --version prints '$out'"
    done
done
run 0 /usr/bin/AllZelvic --help
[[ "$out" == *"usage:"*"AllZelvic"* ]] || fail "AllZelvic --help prints '$out'"
run 0 /usr/bin/kestrin-names --help
[[ "$out" == "usage: kestrin-names"* ]] || fail "kestrin-names --help prints '$out'"

# AllZelvic finds the Zelvic installed beside it, also when started by its link.
mkdir "$work/fonts"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans{,-Bold}.ttf "$work/fonts/"
(cd "$work/fonts" && PATH=/nonexistent /usr/bin/allzelvic >/dev/null) ||
    fail "the installed AllZelvic did not make Fonts.TTC"
[[ -s "$work/fonts/Fonts.TTC" ]] || fail "no Fonts.TTC"

# Kestrin's --help answers without a display and without opening a window.
status=0
out="$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 30 /usr/bin/Kestrin --help 2>"$work/stderr")" || status=$?
((status == 0)) || fail "Kestrin --help exits with $status: $(cat "$work/stderr")"
[[ "$out" == "usage: Kestrin [FONT]"* ]] || fail "Kestrin --help prints no usage: $out"

echo "== apt-get remove"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq -o DPkg::Lock::Timeout=300 "$name" >/dev/null
installed=""
[[ ! -e /usr/bin/Zelvic && ! -L /usr/bin/zelvic && ! -e /usr/share/applications/kestrin.desktop ]] ||
    fail "files are left after apt-get remove"
echo "package check passed: $(basename "$deb")"
