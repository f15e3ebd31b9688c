# GoogleTest from the machine: the installed package natively, the sources in
# /usr/src/googletest for a cross build. Nothing is downloaded.
include(GoogleTest)

if(CMAKE_CROSSCOMPILING)
    set(VANTOREL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build")
    if(NOT EXISTS ${VANTOREL_GOOGLETEST_SOURCE}/CMakeLists.txt)
        message(FATAL_ERROR "No GoogleTest sources at ${VANTOREL_GOOGLETEST_SOURCE} "
                            "(Debian: apt-get install googletest)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${VANTOREL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
                     SYSTEM)
else()
    find_package(GTest REQUIRED)
endif()

# A test program of the project, registered case by case. Cross-built tests run under the
# emulator (Wine); discovery happens when ctest runs, so the build needs no Wine.
function(vantorel_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main vantorel_warnings)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         NO_PRETTY_VALUES PROPERTIES TIMEOUT 120)
endfunction()
