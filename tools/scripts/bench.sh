#!/usr/bin/env bash
# Runs the benchmarks, each beside its reference, in one go.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build --preset default --target bench_serial
build/bench/bench_serial
