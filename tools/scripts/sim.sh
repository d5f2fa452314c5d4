#!/usr/bin/env bash
# Starts the virtual controller and Lumo connected to it. What the controller
# receives shows here while Lumo runs; the controller stops when Lumo ends.
# With --ser2net first, the controller's ports sit behind ser2net on
# 127.0.0.1 and Lumo reaches them over RFC 2217 (COM1 on port
# LUMO_SER2NET_PORT, default 7001, COM2 on the next one).
# Other arguments go to Lumo.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${LUMO_BUILD_DIR:-build}"
behind_ser2net=0
if [ "${1:-}" = --ser2net ]; then
    behind_ser2net=1
    shift
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "sim: no display; './run' with no display shows a guided tour instead" >&2
    exit 1
fi

coproc VC { exec "$build/lumo-vc"; }
vc_pid=$VC_PID
exec {vc_out}<&"${VC[0]}" # a coprocess's own descriptors stay out of subshells
stop_vc() {
    kill -TERM "$vc_pid" 2>/dev/null || true
    wait "$vc_pid" 2>/dev/null || true
}
ser2net_pid=""
stop_all() {
    [ -n "$ser2net_pid" ] && kill -TERM "$ser2net_pid" 2>/dev/null && wait "$ser2net_pid" 2>/dev/null
    stop_vc
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if ! IFS= read -r -t 10 assignments <&"$vc_out" || [[ "$assignments" != LUMO_COM1=* ]]; then
    echo "sim: the virtual controller did not start" >&2
    exit 1
fi
eval "export $assignments"
echo "sim: $assignments"

# Puts each port behind ser2net and points Lumo at it instead.
if [ "$behind_ser2net" = 1 ]; then
    command -v ser2net >/dev/null || { echo "sim: ser2net is not installed" >&2; exit 1; }
    base="${LUMO_SER2NET_PORT:-7001}"
    conf="$(mktemp -d)"
    {
        echo '%YAML 1.1'
        echo '---'
        for n in 1 2; do
            dev="LUMO_COM$n"
            echo "connection: &com$n"
            echo "  accepter: telnet(rfc2217),tcp,127.0.0.1,$((base + n - 1))"
            echo "  connector: serialdev,${!dev},1200n81,local"
        done
    } >"$conf/ser2net.yaml"
    ser2net -n -u -c "$conf/ser2net.yaml" -P "$conf/ser2net.pid" >"$conf/ser2net.log" 2>&1 &
    ser2net_pid=$!
    listening=0
    for _ in $(seq 50); do # until it listens, 5 s at most
        if grep -qE "^ *[0-9]+: 0100007F:$(printf '%04X' $((base + 1))) [0-9A-F:]+ 0A" /proc/net/tcp; then
            listening=1
            break
        fi
        sleep 0.1
    done
    if [ "$listening" = 0 ]; then
        echo "sim: ser2net did not start (ports $base and $((base + 1)) taken?):" >&2
        cat "$conf/ser2net.log" >&2
        exit 1
    fi
    export LUMO_COM1="rfc2217://127.0.0.1:$base" LUMO_COM2="rfc2217://127.0.0.1:$((base + 1))"
    echo "sim: behind ser2net: LUMO_COM1=$LUMO_COM1 LUMO_COM2=$LUMO_COM2"
fi
cat <&"$vc_out" &
echo "sim: pick a port in Lumo; each click shows below"

status=0
"$build/lumo" "$@" || status=$?
stop_all
wait 2>/dev/null || true # the copy of the controller's output, until it ends
exit "$status"
