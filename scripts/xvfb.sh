# Sourced by the run and test scripts: when there is no display, starts a
# private Xvfb server and points DISPLAY at it. The server ends with the shell.
if [ -z "${DISPLAY:-}" ]; then
    vemra_xvfb_fd_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$vemra_xvfb_fd_file" >/dev/null 2>&1 &
    vemra_xvfb_pid=$!
    for _ in $(seq 1 100); do
        [ -s "$vemra_xvfb_fd_file" ] && break
        sleep 0.1
    done
    if [ ! -s "$vemra_xvfb_fd_file" ]; then
        echo "Could not start Xvfb." >&2
        exit 1
    fi
    export DISPLAY=":$(head -n1 "$vemra_xvfb_fd_file")"
    rm -f "$vemra_xvfb_fd_file"
    trap 'kill "$vemra_xvfb_pid" 2>/dev/null || true' EXIT
    vemra_headless=1
fi
