#!/usr/bin/env bash
# Starts the virtual controller and Lumo connected to it. What the controller
# receives shows here while Lumo runs; the controller stops when Lumo ends.
# Arguments go to Lumo.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${LUMO_BUILD_DIR:-build}"

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
trap stop_vc EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if ! IFS= read -r -t 10 assignments <&"$vc_out" || [[ "$assignments" != LUMO_COM1=* ]]; then
    echo "sim: the virtual controller did not start" >&2
    exit 1
fi
eval "export $assignments"
echo "sim: $assignments"
cat <&"$vc_out" &
echo "sim: pick a port in Lumo; each click shows below"

status=0
"$build/lumo" "$@" || status=$?
stop_vc
wait 2>/dev/null || true # the copy of the controller's output, until it ends
exit "$status"
