# One library per source folder: every .cpp/.h under the folder is part of it, so adding a file
# never needs a CMake edit. An empty folder yields an interface target that dependents can link.
# EXCLUDE names a regular expression of paths left to another target (a sub-folder library).
function(benchlord_library target dir)
    cmake_parse_arguments(ARG "" "EXCLUDE" "DEPS" ${ARGN})
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h")
    list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
    if(ARG_EXCLUDE)
        list(FILTER srcs EXCLUDE REGEX "${ARG_EXCLUDE}")
    endif()
    set(cpp ${srcs})
    list(FILTER cpp INCLUDE REGEX "\\.cpp$")
    if(cpp)
        add_library(${target} STATIC ${srcs})
        target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR})
        target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    else()
        add_library(${target} INTERFACE)
        target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR})
        target_link_libraries(${target} INTERFACE ${ARG_DEPS})
    endif()
endfunction()

# One test executable per test folder, registered test by test with CTest.
function(benchlord_tests name dir)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h")
    set(cpp ${srcs})
    list(FILTER cpp INCLUDE REGEX "\\.cpp$")
    if(NOT cpp)
        return()
    endif()
    add_executable(${name} ${srcs})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
    benchlord_test_optimisation(${name})
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
        PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen;BENCHLORD_TEST=1")
endfunction()

# Test programs' own sources are compiled with -O1: they are fixtures and assertions, and at -O2
# most of their compile time went into optimising GoogleTest's expansions. The code under test
# keeps the build type's level.
function(benchlord_test_optimisation name)
    target_compile_options(${name} PRIVATE $<$<CONFIG:Release,RelWithDebInfo>:-O1>)
endfunction()
