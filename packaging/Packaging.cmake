# Installation as a desktop application and the Debian package.
#
#   cmake --install build --prefix P     P/bin/lumo, P/bin/lumo-vc, the control
#                                        library and the parts (P/lib/lumo),
#                                        lumo-serve (P/libexec/lumo), the desktop
#                                        entry, the AppStream metainfo, the
#                                        theme icons and the manual pages
#   cd build && cpack -G DEB             lumo_<version>_<arch>.deb
include(GNUInstallDirs)

set(LUMO_APP_ID net.lumopanel.Lumo)
set(LUMO_PACKAGE lumo)
set(LUMO_MAINTAINER "The Lumo developers <maintainers@lumopanel.net>")
set(lumo_packaging ${CMAKE_CURRENT_LIST_DIR})

# Installed files and folders are world-readable whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(lumo_data_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

install(TARGETS lumo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The control library every program links, in the package's private folder:
# no headers, nothing for other programs to link (each program's RUNPATH
# names the folder relative to itself).
get_target_property(lumo_control_type lumo_control TYPE)
if(lumo_control_type STREQUAL SHARED_LIBRARY)
    install(TARGETS lumo_control LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/lumo NAMELINK_SKIP)
endif()
# The parts lumo loads or runs when they are first needed (lumo finds them
# there relative to itself).
install(TARGETS lumo-serve RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/lumo)
foreach(part lumo-network lumo-client lumo-remote lumo-pjlink)
    if(TARGET ${part})
        install(TARGETS ${part} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/lumo)
    endif()
endforeach()
if(TARGET lumo-vc)
    set_target_properties(lumo-vc PROPERTIES INSTALL_RPATH "$ORIGIN/${lumo_parts_relative}")
    install(TARGETS lumo-vc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(FILES ${lumo_packaging}/${LUMO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications PERMISSIONS ${lumo_data_permissions})
install(FILES ${lumo_packaging}/${LUMO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo PERMISSIONS ${lumo_data_permissions})
foreach(size 16 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/res/hicolor/${size}x${size}/apps/${LUMO_APP_ID}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            PERMISSIONS ${lumo_data_permissions})
endforeach()

# The changelog's newest entry must name the version being built.
# The campus service's systemd unit, where systemd looks for a package's
# units, when installing for the system (/usr: the Debian package): it is
# installed, not enabled, and starts only once /etc/lumo/serve.conf exists.
install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
        file(INSTALL \"${lumo_packaging}/lumo-serve.service\" DESTINATION /lib/systemd/system
             FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endif()")

file(STRINGS ${lumo_packaging}/changelog lumo_changelog_head LIMIT_COUNT 1)
if(NOT lumo_changelog_head MATCHES "^${LUMO_PACKAGE} \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog starts with \"${lumo_changelog_head}\": "
                        "add an entry for ${PROJECT_VERSION}")
endif()

# Manual pages and the changelog, compressed without a time stamp so the same
# sources always give the same package.
find_program(LUMO_GZIP gzip REQUIRED)
set(lumo_man_pages lumo.1)
if(TARGET lumo-vc)
    list(APPEND lumo_man_pages lumo-vc.1)
endif()
set(lumo_compressed)
foreach(file ${lumo_man_pages} changelog)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/packaging/${file})
    add_custom_command(
        OUTPUT ${out}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
        COMMAND ${CMAKE_COMMAND} -E copy ${lumo_packaging}/${file} ${out}
        COMMAND ${LUMO_GZIP} -9nf ${out}
        DEPENDS ${lumo_packaging}/${file}
        VERBATIM)
    list(APPEND lumo_compressed ${out}.gz)
endforeach()
add_custom_target(lumo_package_docs ALL DEPENDS ${lumo_compressed})
foreach(page ${lumo_man_pages})
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/${page}.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 PERMISSIONS ${lumo_data_permissions})
endforeach()
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz ${lumo_packaging}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${LUMO_PACKAGE}
        PERMISSIONS ${lumo_data_permissions})

# The Debian package. Its library dependencies come from the binaries
# (dpkg-shlibdeps); the label font and the Qt platform plugins are loaded at
# run time, so they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${LUMO_PACKAGE})
set(CPACK_PACKAGE_VENDOR "The Lumo developers")
set(CPACK_PACKAGE_CONTACT ${LUMO_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_DESCRIPTION
    "Lumo drives a classroom's central audio and video controller over a
serial line: pick COM1 or COM2, then switch the projector, the video
sources, the players and the volume from a panel of picture buttons.")
if(TARGET lumo-vc)
    string(APPEND CPACK_PACKAGE_DESCRIPTION "

The package also holds lumo-vc, a virtual controller on two
pseudo-terminals for trying the panel without the hardware.")
endif()
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME ${LUMO_PACKAGE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${LUMO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://lumopanel.net/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The control library is the package's own, in its private folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS \${CPACK_TEMPORARY_DIRECTORY}/usr/${CMAKE_INSTALL_LIBDIR}/lumo)
# Qt's SQLite driver, a plugin, keeps the campus service's history; its
# PostgreSQL driver serves [history] database=postgresql://….
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-zenhei, qt6-qpa-plugins, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")
# Qt's own texts (the help's headings, standard buttons) in the user's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The campus service's unit registered with systemd's usual helpers.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${lumo_packaging}/debian/postinst ${lumo_packaging}/debian/prerm ${lumo_packaging}/debian/postrm)
set(CPACK_PRE_BUILD_SCRIPTS ${lumo_packaging}/StagingModes.cmake)
include(CPack)
