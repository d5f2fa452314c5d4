#!/usr/bin/env bash
# Runs the benchmarks, each beside its reference, in one go: the serial
# control against a raw write, a click through ser2net against a plain TCP
# client's byte through the same ser2net, short connections through ser2net
# (every byte arrives; LUMO_BENCH_BASELINE=path/to/an/older/lumo adds its
# `lumo send` beside this one's), then Lumo against a bare Qt dialog
# (on a private Xvfb) and its clicks against a raw write (offscreen), then
# `lumo send` start to byte against a shell writing the same byte, then the
# phone remote against a bare QHttpServer program, the campus service on an
# MQTT broker (200 rooms) against plain MQTT clients, and all of its 200 rooms
# at once against 200 `lumo send` runs, 40 all-rooms actions while ser2net
# is restarted 20 times (every command answered "sent" arrived, once), and
# 2,000 rooms behind a delaying proxy at 20 and 80 ms against the same at
# 0 ms (LUMO_BENCH_BASELINE=path/to/an/older/lumo-serve adds its figures),
# and 500 rooms at once with the history on against the same with it off.
# LUMO_BENCH_DIR picks another configured build directory (default: build).
set -euo pipefail
cd "$(dirname "$0")/../.."
dir="${LUMO_BENCH_DIR:-build}"
cmake --build "$dir" -j2 --target bench_serial bench_network bench_net_delivery bench_lumo
"$dir/bench/bench_serial"
echo
"$dir/bench/bench_network"
echo
"$dir/bench/bench_net_delivery"
echo
"$dir/bench/bench_lumo"
if cmake --build "$dir" -j2 --target bench_send 2>/dev/null; then # only with the session bus
    "$dir/bench/bench_send"
fi
if cmake --build "$dir" -j2 --target bench_web 2>/dev/null; then # only with Qt HttpServer
    echo
    "$dir/bench/bench_web"
fi
if cmake --build "$dir" -j2 --target bench_mqtt 2>/dev/null; then # only with libmosquitto
    echo
    "$dir/bench/bench_mqtt"
fi
echo
cmake --build "$dir" -j2 --target bench_campus
"$dir/bench/bench_campus"
echo
cmake --build "$dir" -j2 --target bench_soak
"$dir/bench/bench_soak"
echo
cmake --build "$dir" -j2 --target bench_rooms_far
"$dir/bench/bench_rooms_far"
if cmake --build "$dir" -j2 --target bench_history 2>/dev/null; then # only with Qt HttpServer
    echo
    "$dir/bench/bench_history"
fi
