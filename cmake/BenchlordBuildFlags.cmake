# Debian's hardening flags (stack protector, fortified functions, format checks, read-only
# relocations bound at start-up) for every build that is not instrumented, so the programs the
# tests run are the programs the package holds. Flags the caller passes in the environment, as
# Debian's build tools do, are taken as they are (CMake reads them itself); otherwise
# dpkg-buildflags gives them, when it is installed.
option(BENCHLORD_DPKG_BUILDFLAGS "Compile and link with the flags dpkg-buildflags gives" ON)

macro(benchlord_build_flags)
    find_program(DPKG_BUILDFLAGS_PROGRAM dpkg-buildflags)
    if(BENCHLORD_DPKG_BUILDFLAGS AND DPKG_BUILDFLAGS_PROGRAM AND BENCHLORD_SANITIZE STREQUAL ""
       AND NOT BENCHLORD_FUZZ AND "$ENV{CXXFLAGS}$ENV{CPPFLAGS}$ENV{LDFLAGS}" STREQUAL "")
        # Everything hardening offers; the build-path maps are left out so that every checkout
        # compiles to the same objects and shares one compiler cache (the package strips the
        # debugging information they would rewrite).
        set(maint_options "$ENV{DEB_BUILD_MAINT_OPTIONS}")
        if(maint_options STREQUAL "")
            set(maint_options "hardening=+all reproducible=-fixfilepath,-fixdebugpath")
        endif()
        foreach(kind CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
            execute_process(
                COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=${maint_options}
                        ${DPKG_BUILDFLAGS_PROGRAM} --get ${kind}
                OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
            if(failed)
                message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
            endif()
            separate_arguments(dpkg_${kind} UNIX_COMMAND "${value}")
        endforeach()
        foreach(flag ${dpkg_CPPFLAGS})
            add_compile_options(${flag})
        endforeach()
        foreach(flag ${dpkg_CFLAGS})
            add_compile_options($<$<COMPILE_LANGUAGE:C>:${flag}>)
        endforeach()
        foreach(flag ${dpkg_CXXFLAGS})
            add_compile_options($<$<COMPILE_LANGUAGE:CXX>:${flag}>)
        endforeach()
        add_link_options(${dpkg_LDFLAGS})
        list(JOIN dpkg_CXXFLAGS " " shown)
        message(STATUS "Hardening as dpkg-buildflags gives it: ${shown}")
    endif()
endmacro()
