# Shared by scripts/demo.sh and scripts/test.sh: package installation and the build.
# Sourced, not run.

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Installs the Debian packages named in the given list files that are not installed yet.
# apt-get update runs only when something is missing, so a warm machine pays nothing.
install_packages() {
    local wanted=() missing=() pkg
    for list in "$@"; do
        while read -r pkg; do
            [[ -z "$pkg" || "$pkg" == \#* ]] && continue
            wanted+=("$pkg")
        done <"$list"
    done
    for pkg in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    if ((${#missing[@]})); then
        echo "== installing: ${missing[*]}"
        local sudo=""
        [[ $(id -u) -ne 0 ]] && sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# Configures and builds into the given folder; extra arguments go to cmake.
build_tree() {
    local dir="$1"
    shift
    cmake -S "$repo_root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

# Builds the Debian package in build/package (optimised, no tests or benchmarks)
# and sets package_file to the .deb written.
build_package() {
    local dir="$repo_root/build/package"
    build_tree "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFONTTOOLS_BENCH=OFF
    rm -f "$dir"/*.deb
    (cd "$dir" && cpack -G DEB)
    package_file="$(echo "$dir"/*.deb)"
    [[ -f "$package_file" ]] || { echo "no package in $dir" >&2; return 1; }
}
