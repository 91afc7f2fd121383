#!/usr/bin/env bash
# Installs what is missing, builds Kestrin, Zelvic and AllZelvic optimised and
# writes the Debian package build/package/font-name-tools_<version>_<arch>.deb,
# to be installed with: apt install ./build/package/<file>.deb
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

install_packages "$repo_root/scripts/lib/packages-build.txt"
build_package
echo "$package_file"
