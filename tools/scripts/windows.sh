#!/usr/bin/env bash
# The Windows program, cross-built with mingw-w64 against Qt for Windows.
#   tools/scripts/windows.sh qt       unpack (or build) Qt for Windows; print its folder
#   tools/scripts/windows.sh build    build-windows/lumo.exe, lumo.com and the
#                                     installers' checks, lumo-installer-checks.dll
#   tools/scripts/windows.sh package  also build-windows/Lumo/ (the folder a teacher
#                                     copies), its zip, the installer and the MSI;
#                                     prints the three
#   tools/scripts/windows.sh installers VERSION DIR
#                                     the installer and MSI of another program
#                                     folder (DIR/Lumo) and version, in DIR
#                                     (after build: they carry its checks DLL)
# With LUMO_SIGN_PKCS12 and LUMO_SIGN_PASSWORD_FILE (and LUMO_SIGN_TIMESTAMP_URL
# where a timestamp server is reachable), every .exe, .com, .dll and .msi is
# signed (tools/scripts/sign.sh); without them they are not, and it says so.
# Exit status 3: no Qt for Windows can be had here.
# Qt for Windows comes from ../shared/toolchains/qt6-mingw/: the archive when its
# SHA-256 is the one recorded in packaging/windows/, otherwise its build.sh (about
# 25 minutes). Either way it lands in ~/.cache/lumo (or $XDG_CACHE_HOME/lumo),
# outside the tree; $LUMO_QT_WINDOWS names another folder. The add-ons the phone
# remote needs (Qt HttpServer, Qt WebSockets, the QR code library) are unpacked
# over it from the add-on archive when its SHA-256 is the recorded one,
# otherwise built into it with build-addons.sh (about 2 minutes).
set -euo pipefail
cd "$(dirname "$0")/../.."
source tools/scripts/setup.sh

qt_version=6.4.2
toolchain=../shared/toolchains/qt6-mingw
archive=qt6-mingw-$qt_version.tar.xz
addons=qt6-mingw-addons-$qt_version.tar.xz
cache="${XDG_CACHE_HOME:-$HOME/.cache}/lumo"
export LUMO_QT_WINDOWS="${LUMO_QT_WINDOWS:-$cache/qt6-mingw-$qt_version}"
triplet=x86_64-w64-mingw32
gcc_runtime=/usr/lib/gcc/$triplet/12-posix
mingw_runtime=/usr/$triplet/lib
build=build-windows
stage=$build/Lumo

say() { echo "windows.sh: $*" >&2; }

signing() { [ -n "${LUMO_SIGN_PKCS12:-}" ]; }
sign() {
    if signing; then tools/scripts/sign.sh "$@"; fi
}

# Qt for Windows in $LUMO_QT_WINDOWS; a stamp file says where it came from.
windows_qt() {
    local stamp="$LUMO_QT_WINDOWS/.lumo-source" want
    want=$(cut -d' ' -f1 "packaging/windows/$archive.sha256")
    # Kept while it is what the recorded checksum names, or what build.sh made.
    if [ -f "$stamp" ] && [ -f "$LUMO_QT_WINDOWS/lib/cmake/Qt6/Qt6Config.cmake" ]; then
        case "$(cat "$stamp")" in "archive $want" | built*) return 0 ;; esac
    fi
    rm -rf "$LUMO_QT_WINDOWS"
    mkdir -p "$(dirname "$LUMO_QT_WINDOWS")"
    if [ -f "$toolchain/$archive" ] &&
        [ "$(sha256sum "$toolchain/$archive" | cut -d' ' -f1)" = "$want" ]; then
        say "unpacking $toolchain/$archive into $LUMO_QT_WINDOWS"
        local tmp
        tmp=$(mktemp -d "$(dirname "$LUMO_QT_WINDOWS")/unpack.XXXXXX")
        tar -xJf "$toolchain/$archive" -C "$tmp"
        mv "$tmp/qt6-mingw-$qt_version" "$LUMO_QT_WINDOWS"
        rmdir "$tmp"
        echo "archive $want" >"$stamp"
    elif [ -x "$toolchain/build.sh" ]; then
        say "$toolchain/$archive is missing or not the recorded one ($want);"
        say "building Qt for Windows with $toolchain/build.sh (about 25 minutes)"
        "$toolchain/build.sh" "$LUMO_QT_WINDOWS" "$cache/qt6-mingw-work"
        echo "built by build.sh" >"$stamp"
    else
        say "no Qt for Windows: neither $toolchain/$archive nor $toolchain/build.sh"
        return 3
    fi
}

# The add-ons over Qt for Windows, once: a stamp of their own says which.
# Other worktrees share the folder, so one unpacks at a time.
windows_qt_addons() {
    local stamp="$LUMO_QT_WINDOWS/.lumo-addons" want
    want=$(cut -d' ' -f1 "packaging/windows/$addons.sha256")
    exec 9>"$LUMO_QT_WINDOWS/.lumo-addons.lock"
    flock 9
    if [ -f "$stamp" ] && [ -f "$LUMO_QT_WINDOWS/lib/cmake/Qt6HttpServer/Qt6HttpServerConfig.cmake" ] &&
        [ -f "$LUMO_QT_WINDOWS/lib/libqrcodegencpp.a" ]; then
        case "$(cat "$stamp")" in "archive $want" | built*) exec 9>&-; return 0 ;; esac
    fi
    if [ -f "$toolchain/$addons" ] &&
        [ "$(sha256sum "$toolchain/$addons" | cut -d' ' -f1)" = "$want" ]; then
        say "unpacking $toolchain/$addons over $LUMO_QT_WINDOWS"
        # The archive holds qt6-mingw-$qt_version/...: strip that, whatever
        # the folder here is called.
        tar -xJf "$toolchain/$addons" -C "$LUMO_QT_WINDOWS" --strip-components=1
        echo "archive $want" >"$stamp"
    elif [ -x "$toolchain/build-addons.sh" ]; then
        say "$toolchain/$addons is missing or not the recorded one ($want);"
        say "building the add-ons with $toolchain/build-addons.sh (about 2 minutes)"
        "$toolchain/build-addons.sh" "$LUMO_QT_WINDOWS" "$cache/qt6-mingw-addons-work"
        echo "built by build-addons.sh" >"$stamp"
    else
        say "no Qt HttpServer for Windows: neither $toolchain/$addons nor $toolchain/build-addons.sh;"
        say "the Windows program is built without the phone remote"
    fi
    exec 9>&-
}

windows_build() {
    lumo_install_missing windows
    windows_qt
    windows_qt_addons
    # A build folder configured before the add-ons were there has the remote
    # switched off in its cache; with them it is built.
    if [ -f "$LUMO_QT_WINDOWS/lib/cmake/Qt6HttpServer/Qt6HttpServerConfig.cmake" ] &&
        grep -qx 'LUMO_WEB:BOOL=OFF' "$build/CMakeCache.txt" 2>/dev/null; then
        cmake --preset windows -DLUMO_WEB=ON >/dev/null
    fi
    LUMO_PRESET=windows lumo_configure
    LUMO_PRESET=windows lumo_build --target lumo lumo_console lumo_installer_checks
}

# Every DLL that `file` imports and that we ship (the rest is Windows's own),
# found recursively.
shipped_dlls() {
    local queue=("$@") seen=" " f dll dir
    while [ ${#queue[@]} -gt 0 ]; do
        f=${queue[0]}
        queue=("${queue[@]:1}")
        for dll in $($triplet-objdump -p "$f" | sed -n 's/^\s*DLL Name: //p'); do
            case "$seen" in *" $dll "*) continue ;; esac
            seen+="$dll "
            for dir in "$LUMO_QT_WINDOWS/bin" "$gcc_runtime" "$mingw_runtime"; do
                if [ -f "$dir/$dll" ]; then
                    echo "$dir/$dll"
                    queue+=("$dir/$dll")
                    break
                fi
            done
        done
    done
}

# The folder a teacher copies: the program, Qt, the compiler's runtime, the
# plugins Qt loads (windows platform, style, the .ico/.cur reader), translations.
windows_stage() {
    rm -rf "$stage"
    mkdir -p "$stage"/{platforms,styles,imageformats}
    cp $build/lumo.exe $build/lumo.com "$stage/"
    cp "$LUMO_QT_WINDOWS/plugins/platforms/qwindows.dll" "$stage/platforms/"
    cp "$LUMO_QT_WINDOWS/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
    cp "$LUMO_QT_WINDOWS/plugins/imageformats/qico.dll" "$stage/imageformats/"
    shipped_dlls "$stage"/lumo.exe "$stage"/*/*.dll | sort -u | xargs -r cp -t "$stage/"
    # Ours, and Qt's own (the buttons of a message box, the command line's
    # help) from Debian's qt6-translations-l10n, the same Qt version: Qt
    # looks for them in translations/ beside its DLLs.
    mkdir -p "$stage/translations"
    cp $build/control/*.qm /usr/share/qt6/translations/qtbase_zh_CN.qm "$stage/translations/"
    find "$stage" -name '*.exe' -o -name '*.com' -o -name '*.dll' |
        xargs $triplet-strip --strip-unneeded
    find "$stage" -name '*.exe' -o -name '*.com' -o -name '*.dll' | xargs -r -n 16 \
        bash -c 'if [ -n "${LUMO_SIGN_PKCS12:-}" ]; then tools/scripts/sign.sh "$@"; fi' sign
}

# Both installers name the installation by this code: the MSI's upgrades
# find each other by it, and setup.exe finds the MSI's installation by it.
upgrade_code=6A3E0C55-2F4B-4C7D-9B1E-8D2F3A4B5C60
# The checks both installers run (packaging/windows/InstallerChecks.cpp).
checks=$build/lumo-installer-checks.dll

# file_versions FOLDER < "ID PATH" lines: "ID VERSION" for each program or
# DLL under FOLDER with a version (its VS_FIXEDFILEINFO).
file_versions() {
    python3 -c '
import struct, sys
for line in sys.stdin:
    id, path = line.rstrip("\n").split(" ", 1)
    data = open(sys.argv[1] + "/" + path, "rb").read()
    at = data.find(b"\xbd\x04\xef\xfe")
    if at >= 0:
        ms, ls = struct.unpack_from("<II", data, at + 8)
        print(id, f"{ms >> 16}.{ms & 0xffff}.{ls >> 16}.{ls & 0xffff}")' "$1"
}

# windows_installers VERSION DIR: the installer and the Windows Installer
# package of the program folder DIR/Lumo, in DIR; prints their paths.
windows_installers() {
    local version=$1 dir=$2 files ids sign_nsis=() id file_version
    local installer=$dir/lumo-$version-windows-x64-setup.exe
    local msi=$dir/lumo-$version-windows-x64.msi
    rm -f "$installer" "$msi"
    signing && sign_nsis=(-DSIGN="$PWD/tools/scripts/sign.sh")
    # The uninstaller deletes exactly the files the installer put there.
    (
        cd "$dir/Lumo"
        find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|.*|Delete "$INSTDIR\\&"|'
        find . -depth -mindepth 1 -type d | sed 's|^\./||; s|/|\\|g; s|.*|RMDir "$INSTDIR\\&"|'
    ) >"$dir/uninstall-files.nsh"
    makensis -V2 -NOCD -INPUTCHARSET UTF8 -DVERSION="$version" -DFILES="$dir" -DOUTFILE="$installer" \
        -DICON="$PWD/res/windows/lumo.ico" -DUPGRADE_CODE="{$upgrade_code}" -DCHECKS="$PWD/$checks" \
        "${sign_nsis[@]}" packaging/windows/lumo.nsi >&2
    # The MSI (packaging/windows/lumo.wxs) with every file wixl-heat lists;
    # wixl takes paths relative to the current folder only.
    files=$(mktemp --suffix=.wxs)
    ids=$(mktemp)
    # Each file's component keeps one GUID, made from its path, in every
    # version (wixl's own "*" gives two files of a folder the same one).
    (cd "$dir/Lumo" && find . -type f | sort) |
        wixl-heat -p ./ --component-group Files --var var.SourceDir \
            --directory-ref INSTALLDIR --win64 |
        awk -v ids="$ids" '/<Component / { component = $0; next }
            /<File / && component != "" {
                match($0, /Source="[^"]*"/)
                path = substr($0, RSTART + 8, RLENGTH - 9)
                sub(/^[$][(]var[.]SourceDir[)]\//, "", path)
                match($0, /Id="[^"]*"/)
                print substr($0, RSTART + 4, RLENGTH - 5), path > ids
                command = "printf %s \"lumo:" path "\" | md5sum"
                command | getline hash
                close(command)
                guid = toupper(substr(hash, 1, 8) "-" substr(hash, 9, 4) "-" substr(hash, 13, 4) \
                    "-" substr(hash, 17, 4) "-" substr(hash, 21, 12))
                sub(/Guid="\*"/, "Guid=\"" guid "\"", component)
                print component
                component = ""
            }
            { print }' >"$files"
    wixl -a x64 -D Version="$version" -D SourceDir="$(realpath --relative-to=. "$dir/Lumo")" \
        -D Win64=yes -D Icon=res/windows/lumo.ico -D UpgradeCode="$upgrade_code" \
        -D Checks="$checks" -o "$msi" packaging/windows/lumo.wxs "$files"
    # What wixl cannot say: the old version goes before the new one is
    # installed (so that an upgrade cannot be half done and a later
    # downgrade check sees one version), a rebuild of the same version
    # replaces the one installed, a port is written only where it is given
    # (or kept from before), and each program and DLL has its version.
    local queries=(
        -q "UPDATE Component SET Condition = 'COM1' WHERE Component = 'MachinePortCom1'"
        -q "UPDATE Component SET Condition = 'COM2' WHERE Component = 'MachinePortCom2'"
        -q "UPDATE InstallExecuteSequence SET Sequence = 1501 WHERE Action = 'RemoveExistingProducts'"
        -q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'"
        -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty)
            VALUES ('{$upgrade_code}', '$version', 513, 'WIX_UPGRADE_DETECTED')"
    )
    while read -r id file_version; do
        queries+=(-q "UPDATE File SET Version = '$file_version', Language = '0' WHERE File = '$id'")
    done < <(file_versions "$dir/Lumo" <"$ids")
    msibuild "$msi" "${queries[@]}" >&2
    rm -f "$files" "$ids"
    sign "$msi"
    realpath "$installer" "$msi"
}

windows_package() {
    local version zip
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $build/CMakeCache.txt)
    zip=$build/lumo-$version-windows-x64.zip
    signing || say "no certificate given (LUMO_SIGN_PKCS12): the Windows files are not signed"
    rm -f "$zip"
    (cd $build && zip -qr9 "$(basename "$zip")" Lumo)
    echo "$PWD/$zip"
    sign "$checks"
    windows_installers "$version" "$build"
}

case "${1:-package}" in
qt) lumo_install_missing windows; windows_qt; windows_qt_addons; echo "$LUMO_QT_WINDOWS" ;;
build) windows_build ;;
package) windows_build; windows_stage; windows_package ;;
installers) windows_installers "$2" "$(realpath "$3")" ;;
*) say "unknown command ${1}" && exit 2 ;;
esac
