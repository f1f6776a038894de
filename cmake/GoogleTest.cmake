# GoogleTest: the system package on Linux; built from Debian's sources for win32.
if(NOT BUILD_TESTING)
    return()
endif()
if(WIN32)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(t gtest gtest_main)
        target_compile_options(${t} PRIVATE -w)
    endforeach()
    # Test programs must run under Wine without mingw's runtime DLLs beside them.
    set(ORV_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
    set(ORV_TEST_PCH <gtest/gtest.h> <windows.h> <wincrypt.h> <ncrypt.h>)
else()
    find_package(GTest REQUIRED)
    find_package(Threads REQUIRED)
    set(ORV_STATIC_RUNTIME "")
    set(ORV_TEST_PCH <gtest/gtest.h>)
endif()
include(GoogleTest)

# GoogleTest's headers (and windows.h under mingw) are most of a test file's
# compile time; every test program reuses one precompiled copy of them.
# An executable, so that it is compiled exactly as the test programs are.
file(WRITE ${CMAKE_BINARY_DIR}/orv_test_pch.cpp "int main() { return 0; }\n")
add_executable(orv_test_pch ${CMAKE_BINARY_DIR}/orv_test_pch.cpp)
target_link_libraries(orv_test_pch PRIVATE GTest::gtest)
target_precompile_headers(orv_test_pch PRIVATE ${ORV_TEST_PCH})

# orv_add_gtest(name SOURCES ... LIBS ...): one GoogleTest program run by ctest.
function(orv_add_gtest name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main ${ORV_STATIC_RUNTIME})
    target_precompile_headers(${name} REUSE_FROM orv_test_pch)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    if(ORV_SANITIZE)
        # Leak detection on, whatever the caller's environment says.
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
    endif()
endfunction()
