#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for
# the given number of seconds (default 10), keeping its corpus between runs
# in build-fuzz/corpus/<target>. Exits non-zero when a target crashes; the
# input that did it is left in build-fuzz/crashes/.
#   tools/scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-10}"
dir=build-fuzz

[ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DLUMO_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$dir" --target fuzz

seed() { # target, then one seed per argument
    local target="$1" i=0
    shift
    mkdir -p "$dir/corpus/$target"
    for s in "$@"; do printf '%b' "$s" >"$dir/corpus/$target/seed$((i++))"; done
}
seed fuzz_serialsettings '9600,n,8,1' ' 115200 , E , 7 , 1.5 ' '110,s,4,2' '9600,x,8,1'
seed fuzz_setoutput '\x00abc' '\x01c' '\x02\xe9\xff' '\x03a\x00\x01\x20' '\x04x' '\x0cx'
seed fuzz_telnetparser '\x00\xff\xfb\x03\xff\xfd\x2cab' '\x02\xff\xfa\x2c\x65\x00\x00\x25\x80\xff\xf0' \
    '\x03c\xff\xff\xff\xfa\x2c\x6b\xff\xff\xff\xf0x' '\x01\xff\xfa\x01\xff\xfdz'

mkdir -p "$dir/crashes"
status=0
for target in fuzz_serialsettings fuzz_setoutput fuzz_telnetparser; do
    echo "== $target, ${seconds}s"
    QT_QPA_PLATFORM=offscreen "$dir/fuzz/$target" "$dir/corpus/$target" \
        -max_total_time="$seconds" -max_len=2048 -print_final_stats=1 \
        -artifact_prefix="$dir/crashes/$target-" 2>&1 | grep -vE '^#[0-9]+.*(NEW|REDUCE|pulse)' ||
        status=1
done
exit $status
