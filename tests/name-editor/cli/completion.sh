#!/usr/bin/env bash
# The bash completions of kestrin-names and Zelvic, sourced into a plain bash
# (no bash-completion), asked what they offer at a few places of a line.
# Usage: completion.sh <folder of the completion files>
set -uo pipefail
source "$1/kestrin-names"
source "$1/Zelvic"
cd "$(mktemp -d)"
trap 'rm -rf "$PWD"' EXIT
mkdir sub
touch a.ttf b.OTC n.json notes.txt

failed=0
expect() {  # expect "OFFERED" WORD...: completing the last word offers OFFERED
    COMP_WORDS=("${@:2}")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    if [[ "${COMP_WORDS[0]}" == kestrin-names ]]; then _kestrin_names; else _zelvic; fi
    local offered
    offered="$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')"
    offered="${offered# }"  # printf prints one empty line for no words
    if [[ "$offered" != "$1" ]]; then
        echo "FAIL: ${*:2} offers '$offered', not '$1'"
        failed=1
    fi
}
expect "rename-family replace " kestrin-names re
expect "" kestrin-names rename-family ""
expect "a.ttf b.OTC sub " kestrin-names -o out rename-family X ""
expect "sub " kestrin-names list -o ""
expect "n.json sub " kestrin-names import ""
expect "a.ttf b.OTC sub " kestrin-names import n.json ""
expect "" kestrin-names --id 1 set 1 ""
expect "--dry-run " kestrin-names delete --dr
expect "mac " kestrin-names list -p m
expect "b.OTC sub " Zelvic ""
expect "a.ttf sub " zelvic out.ttc ""
expect "--help " Zelvic --he
[[ "$(shopt -p extglob)" == "shopt -u extglob" ]] || { echo "FAIL: extglob left on"; failed=1; }
exit $failed
