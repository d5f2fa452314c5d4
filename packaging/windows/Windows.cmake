# The Windows programs and their resources: the application icon
# (IDR_MAINFRAME), version information and a manifest declaring per-monitor
# DPI awareness.
#
# lumo.exe is a GUI-subsystem program: started from the Start menu or
# Explorer it opens no console. lumo.com is the same program linked for the
# console subsystem, for `lumo send`, --help and --version typed in cmd or
# PowerShell: both look a bare `lumo` up through PATHEXT, which lists .COM
# before .EXE, and both wait for a console program and hand its exit status
# to the script (%ERRORLEVEL%, $LASTEXITCODE). A GUI program they would start
# without waiting, its output lost and its status unread.
set(lumo_windows ${CMAKE_CURRENT_LIST_DIR})
set(LUMO_ICON ${PROJECT_SOURCE_DIR}/res/windows/lumo.ico)
set(LUMO_MANIFEST ${lumo_windows}/lumo.manifest)
set_target_properties(lumo PROPERTIES WIN32_EXECUTABLE ON)

qt_add_executable(lumo_console app/main.cpp)
target_compile_definitions(lumo_console PRIVATE LUMO_VERSION="${PROJECT_VERSION}")
target_link_libraries(lumo_console PRIVATE lumo_app ${lumo_linked_part_targets} lumo_warnings)
set_target_properties(lumo_console PROPERTIES OUTPUT_NAME lumo SUFFIX .com
    WIN32_EXECUTABLE OFF)

foreach(target lumo lumo_console)
    set(LUMO_FILE_NAME lumo.exe)
    if(target STREQUAL lumo_console)
        set(LUMO_FILE_NAME lumo.com)
    endif()
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    configure_file(${lumo_windows}/lumo.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${LUMO_ICON};${LUMO_MANIFEST}")
endforeach()

# The checks the installers make (packaging/windows/InstallerChecks.cpp):
# no Qt, and the compiler's runtime linked in.
add_library(lumo_installer_checks SHARED ${lumo_windows}/InstallerChecks.cpp)
target_link_libraries(lumo_installer_checks PRIVATE msi lumo_warnings)
target_link_options(lumo_installer_checks PRIVATE -static -s)
set_target_properties(lumo_installer_checks PROPERTIES PREFIX "" OUTPUT_NAME lumo-installer-checks
    AUTOMOC OFF)
