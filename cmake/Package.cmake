# The Debian package: `cpack -G DEB` in the build folder makes daybridge_<version>_<arch>.deb
# from what the install rules lay out. Its dependencies are computed from the programs and
# libraries by dpkg-shlibdeps, so they follow whatever the build linked against.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/daybridge)
set(changelog ${PROJECT_BINARY_DIR}/changelog)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog ${changelog} COPYONLY)
find_program(DB_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${changelog}.gz
                   COMMAND ${DB_GZIP} -9nf -k ${changelog}
                   DEPENDS ${changelog})
add_custom_target(package_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/daybridge)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME daybridge)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tidewell")
set(CPACK_PACKAGE_CONTACT "DayBridge developers <daybridge@tidewell.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "show and synchronize Palm Desktop and Outlook calendars")
# The long description, under the summary; CPack indents it and marks the empty line.
set(CPACK_PACKAGE_DESCRIPTION "DayBridge shows the appointments of a Palm Desktop calendar (a datebook of
Palm Desktop 4.1.4 or earlier, or the Palm Desktop 6.x database) and of an
Outlook calendar side by side, and transfers new and changed appointments
one way or both ways, for a chosen date range, keeping a history of runs.

The package holds the program daybridge, the command-line tool
daybridge-cli, their manual pages, bash completion, and stand-ins for the
HotSync libraries of a Palm Desktop folder.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tidewell.example/daybridge")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The HotSync stand-ins are loaded by path at run time, never linked against: they are no
# shared libraries of the package's interface, so no shlibs file or triggers are made.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
