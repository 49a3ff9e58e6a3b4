# The one version of the program: project(... VERSION ...) in the top CMakeLists.txt. The
# exes' version records, velkora-cli --version, the JSON report and the packages take it from
# the header written here (tools/release reads it back from the build tree).
#
# VELKORA_TEST_VERSION builds a tree that calls itself another version, for the package
# upgrade test only; tools/release refuses a tree where it is set.
set(VELKORA_TEST_VERSION "" CACHE STRING "Another version for the upgrade test (never shipped)")
if(VELKORA_TEST_VERSION)
    set(velkora_version ${VELKORA_TEST_VERSION})
else()
    set(velkora_version ${PROJECT_VERSION})
endif()
if(NOT velkora_version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "the version must be MAJOR.MINOR.PATCH, not \"${velkora_version}\"")
endif()
set(VELKORA_VERSION_MAJOR ${CMAKE_MATCH_1})
set(VELKORA_VERSION_MINOR ${CMAKE_MATCH_2})
set(VELKORA_VERSION_PATCH ${CMAKE_MATCH_3})
set(VELKORA_VERSION ${velkora_version})

add_library(velkora_version INTERFACE)
configure_file(${CMAKE_CURRENT_LIST_DIR}/velkora_version.h.in
               ${PROJECT_BINARY_DIR}/generated/velkora_version.h @ONLY)
target_include_directories(velkora_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
