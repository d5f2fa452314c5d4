# Sourced by ./run and ./test: installs the Debian packages that are missing
# (and only those), then configures the build if it is not configured yet.
# Set LUMO_PRESET to build another preset (asan).

lumo_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev libqt6sql6-sqlite
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
    qt6-qpa-plugins fonts-wqy-zenhei xfonts-wqy
    xvfb xdotool xclip imagemagick openbox x11-utils libxcb1-dev libxcb-xtest0-dev
    dbus
    ser2net python3-serial
    qt6-httpserver-dev qt6-websockets-dev libqrcodegencpp-dev
    chromium chromium-driver python3-selenium zbar-tools
    libmosquitto-dev mosquitto mosquitto-clients
    libqt6sql6-psql postgresql
    clang libclang-rt-14-dev
    dpkg-dev lintian appstream desktop-file-utils
    nodejs
)
# The Windows leg (tools/scripts/windows.sh): the cross compiler, Wine to
# test under, the installer, MSI and zip makers (msitools edits and reads
# the MSI), and the signing tool with
# openssl for the throwaway test certificate, zbarimg to read the phone
# remote's QR code off the screen. The host Qt tools (moc, rcc,
# uic, lrelease and the LinguistTools CMake package) are the Linux build's.
lumo_windows_packages=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine64 xclip zbar-tools nsis wixl msitools osslsigncode openssl zip xz-utils
    qt6-base-dev-tools qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
)

# lumo_install_missing [windows]: the Linux build's packages, or the Windows leg's.
lumo_install_missing() {
    local missing=() wanted=("${lumo_packages[@]}")
    [ "${1:-}" = windows ] && wanted=("${lumo_windows_packages[@]}")
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    # Debian's npm, unless the nodejs installed brings its own.
    [ "${1:-}" = windows ] || command -v npm >/dev/null || missing+=(npm)
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
    [ "${1:-}" = windows ] || lumo_install_node
}

# From npm, in build/node (not in git): axe-core for the browser tests'
# accessibility checks, and the pjlink client that checks lumo-projector from
# outside (tests/pjlink_node.js). One npm call for both: a later --no-save
# install prunes what an earlier one put there. Left out where npm is not
# installed: the checks then say so.
lumo_install_node() {
    [ -f build/node/node_modules/axe-core/axe.min.js ] \
        && [ -f build/node/node_modules/pjlink/package.json ] && return 0
    command -v npm >/dev/null || return 0
    npm install --prefix build/node --no-save --no-audit --no-fund axe-core pjlink >/dev/null
}

lumo_configure() {
    local preset="${LUMO_PRESET:-default}"
    local dir="build"
    [ "$preset" != default ] && dir="build-$preset"
    [ -f "$dir/build.ninja" ] || cmake --preset "$preset" >/dev/null
    LUMO_BUILD_DIR="$dir"
}

# lumo_build [--target TARGET...]: builds those targets of the preset, or
# everything (the tests and benchmarks too) when none is named.
lumo_build() {
    cmake --build --preset "${LUMO_PRESET:-default}" "$@"
}
