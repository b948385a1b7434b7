# Installation (`cmake --install`) and the Debian package (CPack): the three programs, their
# version from the project version, the desktop entry, AppStream metainfo, icons, man pages made
# from the programs' help by help2man (when it is installed), bash completion for benchlordctl.
include(GNUInstallDirs)

set(BENCHLORD_APP_ID org.tarnwell.Benchlord)
set(BENCHLORD_HOMEPAGE "https://benchlord.example.org" CACHE STRING "Project home page")
set(BENCHLORD_MAINTAINER "Benchlord maintainers <maintainers@benchlord.example.org>"
    CACHE STRING "Package maintainer")
set(pkg ${PROJECT_SOURCE_DIR}/packaging)
set(gen ${PROJECT_BINARY_DIR}/packaging)

configure_file(${pkg}/benchlord_version.h.in ${gen}/benchlord_version.h @ONLY)
set(programs benchlord benchlordctl benchlord-sim)
foreach(program ${programs})
    if(TARGET ${program})
        target_include_directories(${program} PRIVATE ${gen})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

set(datadir ${CMAKE_INSTALL_DATADIR})
set(docdir ${datadir}/doc/benchlord)
configure_file(${pkg}/${BENCHLORD_APP_ID}.metainfo.xml.in ${gen}/${BENCHLORD_APP_ID}.metainfo.xml
               @ONLY)
configure_file(${pkg}/copyright ${gen}/copyright @ONLY)
configure_file(${pkg}/changelog.in ${gen}/changelog @ONLY)
install(FILES ${pkg}/${BENCHLORD_APP_ID}.desktop DESTINATION ${datadir}/applications)
install(FILES ${gen}/${BENCHLORD_APP_ID}.metainfo.xml DESTINATION ${datadir}/metainfo)
install(FILES ${pkg}/icons/${BENCHLORD_APP_ID}.svg DESTINATION ${datadir}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${pkg}/icons/${size}/${BENCHLORD_APP_ID}.png
            DESTINATION ${datadir}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${pkg}/bash-completion/benchlordctl DESTINATION ${datadir}/bash-completion/completions)
install(FILES ${gen}/copyright DESTINATION ${docdir})

# Compressed as Debian wants them (gzip -9n: no name, no time stamp).
find_program(GZIP_PROGRAM gzip)
add_custom_command(OUTPUT ${gen}/changelog.gz
                   COMMAND ${GZIP_PROGRAM} -9n -c ${gen}/changelog > ${gen}/changelog.gz
                   DEPENDS ${gen}/changelog)
set(compressed ${gen}/changelog.gz)
install(FILES ${gen}/changelog.gz DESTINATION ${docdir})

# Man pages from --help and --version (benchlordctl: --help-all, every command's help).
find_program(HELP2MAN_PROGRAM help2man)
if(HELP2MAN_PROGRAM AND BENCHLORD_SANITIZE STREQUAL "")
    foreach(program ${programs})
        if(NOT TARGET ${program})
            continue()
        endif()
        set(help_option --help)
        if(program STREQUAL "benchlordctl")
            set(help_option --help-all)
        endif()
        set(page ${gen}/man/${program}.1)
        add_custom_command(
            OUTPUT ${page}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${gen}/man
            COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                    ${HELP2MAN_PROGRAM} --no-info --section 1 --help-option=${help_option}
                    --include ${pkg}/man/${program}.h2m --output ${page} $<TARGET_FILE:${program}>
            COMMAND ${GZIP_PROGRAM} -9n -f ${page}
            DEPENDS ${program} ${pkg}/man/${program}.h2m
            VERBATIM)
        list(APPEND compressed ${page}.gz)
        install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endforeach()
else()
    message(STATUS "help2man not found (or a sanitizer build): no man pages")
endif()
add_custom_target(benchlord_packaging_files ALL DEPENDS ${compressed})

# The .deb: benchlord_<version>_<architecture>.deb, dependencies from the shared libraries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME benchlord)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${BENCHLORD_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "front panel for DPS-family bench power supplies")
set(CPACK_PACKAGE_DESCRIPTION
    "Benchlord controls programmable bench power supplies of the DPS family\n\
(and KORAD and WZ units with the same register protocol) over Modbus RTU\n\
or Modbus TCP: live readings, set points, output switching, presets and\n\
device parameters. The package also holds benchlordctl, a command-line\n\
tool for scripts, and benchlord-sim, a virtual supply.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${BENCHLORD_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
