# Sourced by the scripts that start helper processes (tour.sh, campus.sh):
# each one's id goes into `pids`, and stop_started ends them all.

pids=()

now_ms() { date +%s%3N; }

# wait_for SECONDS COMMAND...: polls COMMAND every 50 ms until it succeeds
# or SECONDS have passed.
wait_for() {
    local deadline=$(($(now_ms) + $1 * 1000))
    shift
    until "$@"; do
        (($(now_ms) < deadline)) || return 1
        sleep 0.05
    done
}

# Asks every process in `pids` to end, the last started first, and kills
# any that has not ended within 2 s.
stop_started() {
    local pid i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill -TERM "${pids[i]}" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        for _ in $(seq 40); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
