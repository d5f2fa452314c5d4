# Cross-building for 64-bit Windows with Debian's mingw-w64 (POSIX threads)
# against the Windows Qt that tools/scripts/windows.sh unpacks or builds.
# The Qt folder: -DLUMO_QT_WINDOWS=..., else $LUMO_QT_WINDOWS, else the cache.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT LUMO_QT_WINDOWS)
    if(DEFINED ENV{LUMO_QT_WINDOWS})
        set(LUMO_QT_WINDOWS "$ENV{LUMO_QT_WINDOWS}")
    elseif(DEFINED ENV{XDG_CACHE_HOME})
        set(LUMO_QT_WINDOWS "$ENV{XDG_CACHE_HOME}/lumo/qt6-mingw-6.4.2")
    else()
        set(LUMO_QT_WINDOWS "$ENV{HOME}/.cache/lumo/qt6-mingw-6.4.2")
    endif()
endif()
set(LUMO_QT_WINDOWS "${LUMO_QT_WINDOWS}" CACHE PATH "Qt for Windows (x86_64-w64-mingw32)")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${LUMO_QT_WINDOWS})
set(CMAKE_PREFIX_PATH ${LUMO_QT_WINDOWS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The host side of Qt (moc, rcc, uic, lrelease) is Debian's.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
