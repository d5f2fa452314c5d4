#!/bin/sh
# Runs tests/pjlink_node.js: lumo-projector against npm's pjlink client in
# NODE_DIR (installed there, as tools/scripts/setup.sh does, if missing).
# Without node and npm it is skipped (77), except on CI (CI=true), where
# it fails.
#   pjlink_node.sh LUMO_PROJECTOR NODE_DIR SCRIPT
set -eu
simulator=$1 node_dir=$2 script=$3
unavailable() {
    if [ "${CI:-}" = true ]; then
        echo "FAIL: $1" >&2
        exit 1
    fi
    echo "SKIP: $1"
    exit 77
}
command -v node >/dev/null && command -v npm >/dev/null ||
    unavailable "node and npm are not installed, so npm's pjlink client cannot check lumo-projector"
if [ ! -f "$node_dir/node_modules/pjlink/package.json" ]; then
    npm install --prefix "$node_dir" --no-save --no-audit --no-fund pjlink >/dev/null ||
        unavailable "npm could not install the pjlink client into $node_dir"
fi
exec node "$script" "$simulator" "$node_dir/node_modules"
