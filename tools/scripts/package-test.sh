#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, the desktop entry and
# the AppStream metainfo with their validators, installs it with apt, starts
# the installed lumo on a private X server until its port dialog is mapped,
# and removes the package again.
#   tools/scripts/package-test.sh [BUILD_DIR]  (default $LUMO_BUILD_DIR, else build)
# It installs and removes a system package, so it runs only when asked:
# from ./test --package, in CI (CI=true) or with LUMO_PACKAGE_TEST=1.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
build="${1:-${LUMO_BUILD_DIR:-build}}"
app_id=net.lumopanel.Lumo

if [ "${CI:-}" != true ] && [ "${LUMO_PACKAGE_TEST:-}" != 1 ]; then
    echo "package-test.sh installs and removes the lumo package on this machine;" >&2
    echo "run it with ./test --package, or set LUMO_PACKAGE_TEST=1." >&2
    exit 2
fi
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if dpkg-query -W -f='${Status}' lumo 2>/dev/null | grep -q 'install ok installed'; then
    echo "package-test.sh: lumo is installed already; remove it first (apt-get remove lumo)" >&2
    exit 2
fi

passed=0
failed=0
installed=0
xvfb_pid=""
lumo_pid=""
work="$(mktemp -d)"

cleanup() {
    [ -n "$lumo_pid" ] && kill "$lumo_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    [ "$installed" = 1 ] && $sudo env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq lumo >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

pass() {
    echo "PASS: $1"
    passed=$((passed + 1))
}
fail() {
    echo "FAIL: $1"
    failed=$((failed + 1))
}
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

# 1. The package builds.
if ! deb="$(tools/scripts/package.sh "$build")"; then
    fail "package: cpack did not make the package"
    finish
fi
pass "package: $deb"

# 2. lintian reports no error.
lintian --fail-on error "$deb" >"$work/lintian" 2>&1
status=$?
grep -v 'running with root privileges' "$work/lintian"
if [ $status -eq 0 ]; then pass "lintian: no errors"; else fail "lintian: errors (status $status)"; fi

# 3. apt installs it, with its dependencies.
if $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt" 2>&1; then
    installed=1
fi
if [ "$installed" = 1 ] && [ -x /usr/bin/lumo ]; then
    pass "install: /usr/bin/lumo"
else
    cat "$work/apt"
    fail "install: apt-get install $deb"
    finish
fi

# 4. The installed desktop entry and metainfo validate.
if desktop-file-validate "/usr/share/applications/$app_id.desktop" &&
    appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml" >"$work/as" 2>&1; then
    pass "metadata: desktop entry and AppStream metainfo"
else
    cat "$work/as"
    fail "metadata: desktop entry or AppStream metainfo"
fi

# 5. The campus service's unit is there, not enabled, and the program it
# starts checks a configuration as the unit's user would run it, as does
# `lumo serve`, which hands over to that program.
conf="$work/serve.conf"
printf '[rooms]\nr101\\name=101\nr101\\device=rfc2217://127.0.0.1:7000\n' >"$conf"
unit=/lib/systemd/system/lumo-serve.service
service_program="$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit" 2>/dev/null)"
if [ -f "$unit" ] && [ -n "$service_program" ] &&
    env -C / "$service_program" --check --config "$conf" >"$work/check" 2>&1 &&
    env -C / /usr/bin/lumo serve --check --config "$conf" >>"$work/check" 2>&1; then
    pass "service: lumo-serve.service installed, $service_program --check and lumo serve --check: $(head -n 1 "$work/check")"
else
    cat "$work/check"
    fail "service: no unit, or $service_program --check or lumo serve --check failed"
fi

# 6. The installed program starts and shows its port dialog, "Lumo".
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
display=""
for _ in $(seq 50); do
    display="$(cat "$work/display")"
    [ -n "$display" ] && break
    sleep 0.1
done
shown=0
if [ -n "$display" ]; then
    env -C / -u WAYLAND_DISPLAY DISPLAY=":$display" QT_QPA_PLATFORM=xcb HOME="$work" \
        XDG_RUNTIME_DIR="$work" /usr/bin/lumo >"$work/lumo.log" 2>&1 &
    lumo_pid=$!
    deadline=$((SECONDS + 20))
    while [ $SECONDS -lt $deadline ] && kill -0 "$lumo_pid" 2>/dev/null; do
        if DISPLAY=":$display" xdotool search --onlyvisible --name '^Lumo$' >/dev/null 2>&1; then
            shown=1
            break
        fi
        sleep 0.2
    done
fi
if [ "$shown" = 1 ]; then
    pass "start: the port dialog \"Lumo\" is shown"
else
    cat "$work/xvfb.log" "$work/lumo.log" 2>/dev/null
    fail "start: no window \"Lumo\" within 20 s"
fi
[ -n "$lumo_pid" ] && kill "$lumo_pid" 2>/dev/null
wait "$lumo_pid" 2>/dev/null
lumo_pid=""

# 7. apt removes it again, with every file it installed.
files="$(dpkg-query -L lumo | while read -r f; do [ -f "$f" ] && echo "$f"; done)"
if $sudo env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq lumo >"$work/apt" 2>&1; then
    installed=0
fi
left=""
for f in $files; do
    [ -e "$f" ] && left="$left $f"
done
if [ "$installed" = 0 ] && [ ! -e /usr/bin/lumo ] && [ -z "$left" ]; then
    pass "remove: /usr/bin/lumo and the other files are gone"
else
    cat "$work/apt"
    fail "remove: still there:${left:- /usr/bin/lumo}"
fi
finish
