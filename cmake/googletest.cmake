# GoogleTest is built from the sources Debian's googletest package installs, so nothing is
# downloaded at configure or build time. On Windows, point VELKORA_GTEST_SOURCE at a
# googletest source tree, or have find_package find an installed one.
set(VELKORA_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")

if(EXISTS "${VELKORA_GTEST_SOURCE}/CMakeLists.txt")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory("${VELKORA_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
    if(VELKORA_SANITIZE)
        target_compile_options(gtest PRIVATE -fsanitize=address,undefined)
        target_compile_options(gtest_main PRIVATE -fsanitize=address,undefined)
    endif()
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)
