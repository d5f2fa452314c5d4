# The Windows program's resources: the application icon (IDR_MAINFRAME),
# version information and a manifest declaring per-monitor DPI awareness.
set(lumo_windows ${CMAKE_CURRENT_LIST_DIR})
set(LUMO_ICON ${PROJECT_SOURCE_DIR}/res/icons/128.ico)
set(LUMO_MANIFEST ${lumo_windows}/lumo.manifest)
configure_file(${lumo_windows}/lumo.rc.in ${CMAKE_CURRENT_BINARY_DIR}/lumo.rc @ONLY)
target_sources(lumo PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/lumo.rc)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/lumo.rc PROPERTIES
    OBJECT_DEPENDS "${LUMO_ICON};${LUMO_MANIFEST}")
