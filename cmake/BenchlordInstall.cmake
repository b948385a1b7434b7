# Installation (`cmake --install`) and the Debian package (CPack): the three programs, their
# version from the project version, the desktop entry, AppStream metainfo, icons, man pages made
# from the programs' help by help2man (when it is installed), bash completion for benchlordctl.
include(GNUInstallDirs)

set(BENCHLORD_APP_ID org.tarnwell.Benchlord)
# Addresses are build options; one that is not given is left out of the metadata, never invented.
set(BENCHLORD_HOMEPAGE "" CACHE STRING "Project home page (https://...), shown in About and the metadata")
set(BENCHLORD_SCREENSHOT_URL "" CACHE STRING "Address of the screenshot software centres show")
set(BENCHLORD_MAINTAINER "" CACHE STRING
    "Package maintainer: Name <address> (empty: DEBFULLNAME and DEBEMAIL, as Debian's tools take it)")
set(pkg ${PROJECT_SOURCE_DIR}/packaging)
set(gen ${PROJECT_BINARY_DIR}/packaging)

# The maintainer as dch names one: DEBEMAIL (or EMAIL), either "Name <address>" or the address
# with the name from DEBFULLNAME (or NAME). Without an address the package says who made it and
# gives none: lintian then reports the missing address (see the README).
set(maintainer "${BENCHLORD_MAINTAINER}")
if(maintainer STREQUAL "")
    set(address "$ENV{DEBEMAIL}")
    if(address STREQUAL "")
        set(address "$ENV{EMAIL}")
    endif()
    set(name "$ENV{DEBFULLNAME}")
    if(name STREQUAL "")
        set(name "$ENV{NAME}")
    endif()
    if(address MATCHES "^(.*[^ ]) *<(.+)>$")
        if(name STREQUAL "")
            set(name "${CMAKE_MATCH_1}")
        endif()
        set(address "${CMAKE_MATCH_2}")
    endif()
    if(name STREQUAL "")
        set(name "Benchlord developers")
    endif()
    set(maintainer "${name}")
    if(NOT address STREQUAL "")
        set(maintainer "${name} <${address}>")
    endif()
endif()
# The changelog's trailer must have the angle brackets to be read at all, even when empty.
set(BENCHLORD_CHANGELOG_AUTHOR "${maintainer}")
if(NOT maintainer MATCHES "<.*>")
    set(BENCHLORD_CHANGELOG_AUTHOR "${maintainer} <>")
endif()

foreach(option BENCHLORD_HOMEPAGE BENCHLORD_SCREENSHOT_URL)
    if(${option} AND NOT ${option} MATCHES "^https?://[^ \"<>]+$")
        message(FATAL_ERROR "${option} must be an http(s) address, not '${${option}}'")
    endif()
endforeach()

# The optional parts of the metadata files, empty when their address is not given.
set(BENCHLORD_METAINFO_URLS "")
set(BENCHLORD_COPYRIGHT_SOURCE "")
string(REPLACE "&" "&amp;" homepage_xml "${BENCHLORD_HOMEPAGE}")
string(REPLACE "&" "&amp;" screenshot_xml "${BENCHLORD_SCREENSHOT_URL}")
if(BENCHLORD_HOMEPAGE)
    string(APPEND BENCHLORD_METAINFO_URLS "  <url type=\"homepage\">${homepage_xml}</url>\n")
    set(BENCHLORD_COPYRIGHT_SOURCE "Source: ${BENCHLORD_HOMEPAGE}")
else()
    set(BENCHLORD_COPYRIGHT_SOURCE "Source: the Benchlord source tree this package was built from")
endif()
if(BENCHLORD_SCREENSHOT_URL)
    string(APPEND BENCHLORD_METAINFO_URLS
"  <screenshots>
    <screenshot type=\"default\">
      <caption>The main window connected to the virtual supply</caption>
      <image>${screenshot_xml}</image>
    </screenshot>
  </screenshots>\n")
endif()

configure_file(${pkg}/benchlord_version.h.in ${gen}/benchlord_version.h @ONLY)
# The About tab shows the version, licence and home page too.
target_include_directories(benchlord_maintenance PUBLIC ${gen})
set(programs benchlord benchlordctl benchlord-sim)
foreach(program ${programs})
    if(TARGET ${program})
        target_include_directories(${program} PRIVATE ${gen})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
        # A stripped install (the package) leaves out the compiler's notes too, as dh_strip does.
        install(CODE "if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                --remove-section=.note \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endif()")
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
# The README with the pictures it shows, in docs/ beside it as in the source tree.
add_custom_command(OUTPUT ${gen}/README.md.gz
                   COMMAND ${GZIP_PROGRAM} -9n -c ${PROJECT_SOURCE_DIR}/README.md > ${gen}/README.md.gz
                   DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
list(APPEND compressed ${gen}/README.md.gz)
install(FILES ${gen}/README.md.gz DESTINATION ${docdir})
file(READ ${PROJECT_SOURCE_DIR}/README.md readme)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
string(REGEX MATCHALL "docs/[A-Za-z0-9_.-]+[.]png" readme_pictures "${readme}")
list(REMOVE_DUPLICATES readme_pictures)
foreach(picture ${readme_pictures})
    install(FILES ${PROJECT_SOURCE_DIR}/${picture} DESTINATION ${docdir}/docs)
endforeach()

# Man pages from --help (benchlordctl: --help-all, every command's help), with the sections the
# help does not hold (name, environment, files, examples) from packaging/man and the environment
# and copyright sections shared by all three.
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
                    --version-string "${program} ${PROJECT_VERSION}"
                    --include ${pkg}/man/${program}.h2m --include ${pkg}/man/environment.h2m
                    --include ${pkg}/man/copyright.h2m --output ${page}
                    "sh ${pkg}/man/help_for_man.sh $<TARGET_FILE:${program}>"
            COMMAND ${GZIP_PROGRAM} -9n -f ${page}
            DEPENDS ${program} ${pkg}/man/${program}.h2m ${pkg}/man/environment.h2m
                    ${pkg}/man/copyright.h2m ${pkg}/man/help_for_man.sh
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
set(CPACK_PACKAGE_CONTACT ${maintainer})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "front panel for DPS-family bench power supplies")
set(CPACK_PACKAGE_DESCRIPTION
    "Benchlord controls programmable bench power supplies of the DPS family\n\
(and KORAD and WZ units with the same register protocol) over Modbus RTU\n\
or Modbus TCP: live readings, set points, output switching, presets and\n\
device parameters. The package also holds benchlordctl, a command-line\n\
tool for scripts, and benchlord-sim, a virtual supply.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
if(BENCHLORD_HOMEPAGE)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${BENCHLORD_HOMEPAGE})
endif()
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
