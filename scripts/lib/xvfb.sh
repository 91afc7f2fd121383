# A virtual X display for running Kestrin where no screen is. Sourced, not run.
# Needs Xvfb (package xvfb); there is no window manager on it.

# start_xvfb WORK_FOLDER SIZE: starts Xvfb on a display number it picks itself,
# exports DISPLAY and sets xvfb_pid. Fails when the server doesn't come up.
start_xvfb() {
    local work="$1" size="$2"
    # -noreset: by default the server resets whenever its last client leaves
    # (an xdotool search, a Kestrin that ended) and drops a client that
    # connects in that moment, so the next Kestrin fails to start.
    Xvfb -displayfd 3 -noreset -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [[ -s "$work/display" ]] && break
        sleep 0.1
    done
    [[ -s "$work/display" ]] || { echo "Xvfb did not start"; return 1; }
    export DISPLAY=":$(head -n 1 "$work/display")"
    # Qt would otherwise keep a platform chosen for headless tests.
    unset QT_QPA_PLATFORM
}

# Makes the scratch folder `work` and arranges for it, Kestrin (kestrin_pid, once
# the caller sets it) and the display server to be gone when the script exits.
make_scratch_with_cleanup() {
    work="$(mktemp -d)"
    xvfb_pid=""
    kestrin_pid=""
    trap 'cleanup_scratch' EXIT
}

cleanup_scratch() {
    [[ -n "$kestrin_pid" ]] && kill "$kestrin_pid" 2>/dev/null || true
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
