#!/usr/bin/env bash
# Builds the Debian package with cpack and prints its path.
#   tools/scripts/package.sh [BUILD_DIR]     (default $LUMO_BUILD_DIR, else build)
# The build folder must be configured already (./run does that).
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-${LUMO_BUILD_DIR:-build}}"

if [ ! -f "$build/CPackConfig.cmake" ]; then
    echo "package.sh: $build is not configured (cmake --preset default)" >&2
    exit 1
fi
# The package file must be readable by apt's unprivileged download user.
umask 022
cmake --build "$build" >&2
rm -f "$build"/lumo_*.deb
(cd "$build" && cpack -G DEB) >&2
debs=("$build"/lumo_*.deb)
if [ ! -f "${debs[0]}" ]; then
    echo "package.sh: cpack made no lumo_*.deb in $build" >&2
    exit 1
fi
echo "$(cd "$(dirname "${debs[0]}")" && pwd)/$(basename "${debs[0]}")"
